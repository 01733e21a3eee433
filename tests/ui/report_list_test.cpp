#include "ui/report_list.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QTest>

#include "store/list_fill.h"

namespace corvel {
namespace {

void Pump() {
  for (int i = 0; i < 5; ++i)
    QApplication::processEvents();
}

std::unique_ptr<ReportList> AddressBook() {
  auto list = std::make_unique<ReportList>(ReportList::kAddressBookId);
  for (const char* title : {"电话号码", "姓名", "分组", "其他"})
    list->AddColumn(-1, title, 60);
  list->resize(250, 160);
  list->show();
  return list;
}

QStringList MenuTexts(const ReportList& list) {
  QStringList texts;
  for (QAction* action : list.popupMenu()->actions())
    texts << action->text();
  return texts;
}

TEST(ReportList, MenusByList) {
  EXPECT_EQ(MenuTexts(ReportList(1025)),
            (QStringList{"呼叫", "回拨", "会议", "", "新建", "删除", "保存", "", "导入", "导出"}));
  EXPECT_EQ(MenuTexts(ReportList(1026)), (QStringList{"呼叫", "回拨", "会议", "", "清空", "导出"}));
  EXPECT_EQ(MenuTexts(ReportList(1027)), (QStringList{"退出会议", "", "禁止发言", "允许发言"}));
}

TEST(ReportList, SetCellTextAppendsARowWhenOutOfRange) {
  auto list = AddressBook();
  EXPECT_EQ(list->SetCellText(-1, 0, "%s-%d", "a", 1), 1);
  EXPECT_EQ(list->SetCellText(9, 1, "%s", "b"), 1);
  EXPECT_EQ(list->rowCount(), 2);
  EXPECT_EQ(list->cellText(0, 0), "a-1");
  EXPECT_EQ(list->cellText(1, 1), "b");
  EXPECT_EQ(list->SetCellText(0, 0, nullptr), 0);
  EXPECT_EQ(list->AddColumn(99, "x", 10), 1);
  EXPECT_EQ(list->columnTitle(4), "x");
}

TEST(ReportList, NewRowTwiceAddsOneEmptyRow) {
  auto list = AddressBook();
  list->Command(ReportList::kNewRow);
  list->Command(ReportList::kNewRow);
  EXPECT_EQ(list->rowCount(), 1);
  EXPECT_EQ(list->selectedRow(), 0);
  list->SetCellText(0, 0, std::string("110"));
  list->Command(ReportList::kNewRow);
  EXPECT_EQ(list->rowCount(), 2);
  EXPECT_EQ(list->selectedRow(), 1);
}

TEST(ReportList, InPlaceEditingOnlyInTheAddressBook) {
  auto list = AddressBook();
  list->SetCellText(0, 1, "%s", "张三");
  ASSERT_TRUE(list->EditCell(0, 1));
  QLineEdit* editor = list->cellEditor();
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->text(), "张三");
  editor->setText("");
  QTest::keyClicks(editor, QString(60, 'n'));
  EXPECT_EQ(editor->text().size(), 50);
  QTest::keyClick(editor, Qt::Key_Return);
  Pump();
  EXPECT_FALSE(editor->isVisible());
  EXPECT_EQ(list->cellText(0, 1), std::string(50, 'n'));
  EXPECT_FALSE(list->EditCell(5, 0));  // below the last row

  ReportList records(ReportList::kCallRecordsId);
  records.AddColumn(-1, "电话号码", 60);
  records.SetCellText(0, 0, "%s", "139");
  EXPECT_FALSE(records.EditCell(0, 0));
}

TEST(ReportList, LosingFocusEndsEditing) {
  auto list = AddressBook();
  QLineEdit other;
  other.show();
  list->SetCellText(0, 0, "%s", "1");
  ASSERT_TRUE(list->EditCell(0, 0));
  list->cellEditor()->setText("12345");
  QApplication::setActiveWindow(list.get());
  list->cellEditor()->setFocus();
  other.activateWindow();
  other.setFocus();
  QFocusEvent out(QEvent::FocusOut);
  QApplication::sendEvent(list->cellEditor(), &out);
  Pump();
  EXPECT_EQ(list->cellText(0, 0), "12345");
}

// The address book of the sideways-scroll case: an "other" text of 50 letters makes the last
// column wider than the list.
std::unique_ptr<ReportList> WideAddressBook() {
  auto list = AddressBook();
  list->SetCellText(0, 0, "%s", "13612345678");
  list->SetCellText(0, 3, "%s", std::string(50, 'a').c_str());
  AutoSizeColumns(list.get());
  Pump();
  return list;
}

// Where column of row 0 shows inside the viewport.
QPoint VisiblePartOf(const ReportList& list, int column) {
  const QRect cell = list.visualRect(list.model()->index(0, column));
  return cell.intersected(list.viewport()->rect()).center();
}

TEST(ReportList, DoubleClickEditsTheCellUnderThePointerWhereverTheListIsScrolled) {
  struct Case {
    const char* scroll;
    int column;
  };
  const Case cases[] = {{"left", 3}, {"left", 2}, {"middle", 1}, {"middle", 3}, {"right", 3}};
  for (const Case& c : cases) {
    auto list = WideAddressBook();
    QScrollBar* sideways = list->horizontalScrollBar();
    ASSERT_GT(sideways->maximum(), 0) << "the list is not wider than its view";
    const std::string scroll = c.scroll;
    const int offset = scroll == "left"     ? 0
                       : scroll == "middle" ? sideways->maximum() / 2
                                            : sideways->maximum();
    sideways->setValue(offset);
    const QPoint at = VisiblePartOf(*list, c.column);
    ASSERT_TRUE(list->viewport()->rect().contains(at)) << c.scroll << " " << c.column;
    const std::string before[] = {list->cellText(0, 0), list->cellText(0, 1), list->cellText(0, 2),
                                  list->cellText(0, 3)};
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    Pump();
    QLineEdit* editor = list->cellEditor();
    ASSERT_NE(editor, nullptr);
    ASSERT_TRUE(editor->isVisible()) << c.scroll << " " << c.column;
    EXPECT_EQ(sideways->value(), offset) << "the click slid the list sideways";
    EXPECT_TRUE(editor->geometry().contains(at)) << c.scroll << " " << c.column;
    const std::string typed = std::string(50, static_cast<char>('k' + c.column));
    editor->setText(QString::fromStdString(typed));
    QTest::keyClick(editor, Qt::Key_Return);
    Pump();
    for (int column = 0; column < 4; ++column) {
      EXPECT_EQ(list->cellText(0, column), column == c.column ? typed : before[column])
          << c.scroll << " " << c.column << " column " << column;
    }
    EXPECT_EQ(sideways->value(), std::min(offset, sideways->maximum()))
        << "the edit left the list scrolled elsewhere";
  }
}

TEST(ReportList, OpeningTheNextEditStoresTheOpenOneInItsOwnCell) {
  auto list = AddressBook();
  list->SetCellText(0, 0, "%s", "13612345678");
  ASSERT_TRUE(list->EditCell(0, 1));
  QLineEdit* editor = list->cellEditor();
  editor->setText("ouyang");
  // The click that starts the next double-click takes the focus: the end of this edit is
  // posted, and the next edit opens before it is handled.
  QFocusEvent out(QEvent::FocusOut);
  QApplication::sendEvent(editor, &out);
  ASSERT_TRUE(list->EditCell(0, 2));
  EXPECT_EQ(list->cellText(0, 1), "ouyang");
  editor->setText("family");
  Pump();
  ASSERT_TRUE(editor->isVisible()) << "the earlier edit's end closed the next one";
  QTest::keyClick(editor, Qt::Key_Return);
  Pump();
  EXPECT_EQ(list->cellText(0, 1), "ouyang");
  EXPECT_EQ(list->cellText(0, 2), "family");
}

TEST(ReportList, CallCommandsForwardTheSelectedNumber) {
  ReportList records(ReportList::kCallRecordsId);
  records.AddColumn(-1, "电话号码", 60);
  std::vector<std::pair<int, std::string>> forwarded;
  records.setForwarder(
      [&](int command, const std::string& number) { forwarded.emplace_back(command, number); });
  records.Command(ReportList::kCall);  // no row: nothing
  records.SetCellText(0, 0, "%s", "13912345678");
  records.SelectRow(0);
  records.Command(ReportList::kCall);
  records.Command(ReportList::kCallback);
  records.Command(ReportList::kConference);
  EXPECT_EQ(forwarded, (std::vector<std::pair<int, std::string>>{
                           {1026, "13912345678"}, {1008, "13912345678"}, {1009, "13912345678"}}));
  std::vector<int> stored;
  records.setStoreCommand([&](int command) { stored.push_back(command); });
  records.Command(ReportList::kDelete);
  EXPECT_EQ(records.rowCount(), 0);  // 清空 empties the list and touches nothing else
  records.Command(ReportList::kExport);
  EXPECT_EQ(stored, (std::vector<int>{ReportList::kExport}));
}

}  // namespace
}  // namespace corvel
