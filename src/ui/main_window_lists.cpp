// The main window's two lists: the address book, loaded from and saved to the application
// folder's file, and this run's call records.
#include <QFileDialog>

#include "app/window_messages.h"

#include "store/address_book.h"
#include "store/list_fill.h"
#include "store/spreadsheet_exchange.h"
#include "ui/main_window.h"
#include "ui/main_window_layout.h"
#include "ui/report_list.h"
#include "ui/skin/skin_edit.h"
#include "ui/status_panel.h"

namespace corvel {
namespace {

constexpr int kInitialColumnWidth = 10;

QRect ContentArea() {
  const layout::Rect area = layout::kContentArea;
  return QRect(area.left, area.top, area.width(), area.height());
}

ReportList* MakeList(QWidget* parent, int id, const std::vector<std::string>& columns) {
  auto* list = new ReportList(id, parent);
  list->setGeometry(ContentArea());
  for (const std::string& title : columns)
    list->AddColumn(-1, title, kInitialColumnWidth);
  AutoSizeColumns(list);
  list->hide();
  return list;
}

const QString kDialogFilter = QStringLiteral("(*.xls)");

}  // namespace

void MainWindow::BuildLists() {
  addressBook_ = MakeList(this, ReportList::kAddressBookId, AddressBookColumns());
  callRecords_ = MakeList(this, ReportList::kCallRecordsId,
                          {"电话号码", "呼叫类型", "呼叫时间", "通话时长", "状态"});
  // The working folder is the application folder, so the plain name finds the saved book.
  LoadAddressBook(*addressBook_, std::string(kAddressBookFile));
  AutoSizeColumns(addressBook_);

  for (ReportList* list : {addressBook_, callRecords_}) {
    list->setForwarder([this](int command, const std::string& number) {
      if (command == kCommandConference) return AddToConference(number);
      numberBox_->setText(QString::fromStdString(number));
      Command(command);
    });
    list->setStoreCommand([this, list](int command) { RunListCommand(*list, command); });
  }
  statusPanel_->setRecordSink([this](const CallRecordRow& row) {
    const int at = callRecords_->InsertRow(callRecords_->rowCount());
    const std::string cells[] = {row.number, row.callType, row.startTime, row.elapsed, row.status};
    for (int column = 0; column < 5; ++column)
      callRecords_->SetCellText(at, column, cells[column]);
    AutoSizeColumns(callRecords_);
  });
}

void MainWindow::SaveAddressBook() {
  SaveListToTable(state_.programFolder.get() + std::string(kAddressBookFile),
                  std::string(kAddressBookTable), addressBook_, 0);
}

void MainWindow::RunListCommand(ReportList& list, int command) {
  const std::string database = state_.programFolder.get() + std::string(kAddressBookFile);
  switch (command) {
    case ReportList::kDelete:
      DeleteSelectedContact(list, std::string(kAddressBookFile));
      return;
    case ReportList::kSave:
      SaveAddressBook();
      return;
    case ReportList::kImport: {
      const QString path = QFileDialog::getOpenFileName(this, "导入", QString(), kDialogFilter);
      if (!path.isEmpty()) ImportAddressBook(list, path.toStdString(), database);
      return;
    }
    case ReportList::kExport: {
      const QString path = QFileDialog::getSaveFileName(this, "导出", QString(), kDialogFilter);
      if (!path.isEmpty()) {
        ExportListToSheet(path.toStdString(), std::string(kExchangeSheet), &list);
      }
      return;
    }
    default:
      return;
  }
}

}  // namespace corvel
