// The list control of the address book (1025), the call records (1026) and the conference
// members (1027): a report view with grid lines, a skinned header, a popup menu by list, and in
// the address book in-place editing of cells. It is the ListModel the store fills and reads.
#pragma once

#include <QFont>
#include <QTableWidget>
#include <functional>
#include <string>

#include "store/list_model.h"

class QMenu;
class QLineEdit;

namespace corvel {

class ReportList : public QTableWidget, public ListModel {
  Q_OBJECT

 public:
  static constexpr int kAddressBookId = 1025;
  static constexpr int kCallRecordsId = 1026;
  static constexpr int kConferenceMembersId = 1027;
  static constexpr int kCellTextLimit = 50;
  static constexpr int kCellEditedMessage = 1124;

  enum Command : int {
    kCall = 1037,
    kCallback = 1038,
    kConference = 1039,
    kNewRow = 1034,
    kDelete = 1035,
    kSave = 1036,
    kImport = 1040,
    kExport = 1041,
  };

  ReportList(int controlId, QWidget* parent = nullptr);

  int controlId() const { return controlId_; }

  // Where the list's commands go: a number for the owner's 呼叫 (1026), 回拨 (1008) or 会议 (1009)
  // command, and the work that needs the store or the service (save, import, export, delete,
  // conference member commands), given the command id.
  void setForwarder(std::function<void(int command, const std::string& number)> forward) {
    forward_ = std::move(forward);
  }
  void setStoreCommand(std::function<void(int command)> run) { storeCommand_ = std::move(run); }

  // Runs a command of the popup menu.
  void Command(int id);
  QMenu* popupMenu() const { return menu_; }

  // Opens the cell editor over (row, column) when this list allows editing; an edit still open
  // elsewhere is stored first.
  bool EditCell(int row, int column);
  QLineEdit* cellEditor() const { return editor_; }
  void FinishCellEdit();

  int AddColumn(int column, const std::string& title, int width);
  // Formats the text into the cell; a row out of range appends an empty row and uses it.
  // Returns 1 when the cell was set, 0 without a format.
  int SetCellText(int row, int column, const char* format, ...)
      __attribute__((format(printf, 4, 5)));
  void SetListFont(const QFont& font, bool redraw);

  // ListModel
  bool hasHeader() const override;
  int columnCount() const override;
  std::string columnTitle(int column) const override;
  int columnWidth(int column) const override;
  void InsertColumn(int column, const std::string& title, int width, ColumnAlign align) override;
  void SetColumnWidth(int column, int width) override;
  int rowCount() const override;
  int InsertRow(int row) override;
  void DeleteRow(int row) override;
  void DeleteAllRows() override;
  std::string cellText(int row, int column) const override;
  void SetCellText(int row, int column, const std::string& text) override;
  int selectedRow() const override;
  void SelectRow(int row) override;

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  // Brings rows into view, never columns: a click must not slide the list sideways under the
  // pointer between the two presses of a double-click.
  void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

 private:
  void BuildMenu();
  void ForwardNumber(int command);
  void NewRow();
  void PostCellEdited();

  const int controlId_;
  QFont font_;
  QMenu* menu_ = nullptr;        // child
  QLineEdit* editor_ = nullptr;  // child of the viewport, made on the first double-click
  int editRow_ = -1;
  int editColumn_ = -1;
  int editScroll_ = 0;      // the sideways scroll when the edit began, restored when it ends
  int postedFinishes_ = 0;  // end-of-edit messages posted and not yet handled
  int staleFinishes_ = 0;   // of those, the ones whose edit is already stored
  std::function<void(int, const std::string&)> forward_;
  std::function<void(int)> storeCommand_;
};

}  // namespace corvel
