#include "ui/report_list.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QTest>

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
