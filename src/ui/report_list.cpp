#include "ui/report_list.h"

#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <cstdarg>

#include "app/format.h"
#include "store/list_fill.h"
#include "ui/skin/skin_font.h"
#include "ui/skin/skin_header.h"
#include "ui/window_message.h"

namespace corvel {
namespace {

QString Text(const std::string& utf8) {
  return QString::fromStdString(utf8);
}

}  // namespace

ReportList::ReportList(int controlId, QWidget* parent)
    : QTableWidget(parent), controlId_(controlId), font_(SkinFont(10)) {
  setFont(font_);
  setHorizontalHeader(new SkinHeader(Qt::Horizontal, this));
  horizontalHeader()->setSectionsClickable(false);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setStretchLastSection(false);
  verticalHeader()->hide();
  setShowGrid(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setWordWrap(false);
  setProperty("controlId", controlId);
  BuildMenu();
}

void ReportList::BuildMenu() {
  menu_ = new QMenu(this);
  auto add = [this](int id, const char* text) {
    QAction* action = menu_->addAction(QString::fromUtf8(text));
    connect(action, &QAction::triggered, this, [this, id] { Command(id); });
  };
  switch (controlId_) {
    case kAddressBookId:
      add(kCall, "呼叫"), add(kCallback, "回拨"), add(kConference, "会议");
      menu_->addSeparator();
      add(kNewRow, "新建"), add(kDelete, "删除"), add(kSave, "保存");
      menu_->addSeparator();
      add(kImport, "导入"), add(kExport, "导出");
      break;
    case kCallRecordsId:
      add(kCall, "呼叫"), add(kCallback, "回拨"), add(kConference, "会议");
      menu_->addSeparator();
      add(kDelete, "清空"), add(kExport, "导出");
      break;
    case kConferenceMembersId:
      add(kDelete, "退出会议");
      menu_->addSeparator();
      add(kImport, "禁止发言"), add(kExport, "允许发言");
      break;
    default:
      break;
  }
}

void ReportList::contextMenuEvent(QContextMenuEvent* event) {
  // The press itself selects the row under it, as the list's own handling does.
  const int row = rowAt(event->pos().y());
  if (row >= 0) SelectRow(row);
  menu_->exec(event->globalPos());
}

void ReportList::Command(int id) {
  switch (id) {
    case kCall:
      if (controlId_ != kConferenceMembersId) ForwardNumber(1026);
      return;
    case kCallback:
      if (controlId_ != kConferenceMembersId) ForwardNumber(1008);
      return;
    case kConference:
      if (controlId_ != kConferenceMembersId) ForwardNumber(1009);
      return;
    case kNewRow:
      NewRow();
      return;
    case kDelete:
      if (controlId_ == kCallRecordsId) {
        DeleteAllRows();
        return;
      }
      break;
    default:
      break;
  }
  // The rest needs the store or the service; the owner knows where they are.
  const bool known =
      (controlId_ == kAddressBookId &&
       (id == kDelete || id == kSave || id == kImport || id == kExport)) ||
      (controlId_ == kCallRecordsId && id == kExport) ||
      (controlId_ == kConferenceMembersId && (id == kDelete || id == kImport || id == kExport));
  if (known && storeCommand_) storeCommand_(id);
}

void ReportList::ForwardNumber(int command) {
  const std::string number = cellText(selectedRow(), 0);
  if (!number.empty() && forward_) forward_(command, number);
}

void ReportList::NewRow() {
  const int rows = rowCount();
  if (rows > 0 && cellText(rows - 1, 0).empty()) {
    SelectRow(rows - 1);
  } else {
    SelectRow(InsertRow(rows));
  }
  setFocus();
}

bool ReportList::EditCell(int row, int column) {
  if (controlId_ != kAddressBookId || row < 0 || row >= rowCount() || column < 0 ||
      column >= columnCount()) {
    return false;
  }
  if (editor_ == nullptr) {
    editor_ = new QLineEdit(viewport());
    editor_->setFont(font_);
    editor_->setMaxLength(kCellTextLimit);
    editor_->installEventFilter(this);
  }
  // The end of the previous edit is still posted when a double-click opens the next one; store
  // it now, before the editor takes the new cell's text.
  if (editor_->isVisible()) FinishCellEdit();
  staleFinishes_ = postedFinishes_;
  editScroll_ = horizontalScrollBar()->value();
  editor_->setGeometry(visualRect(model()->index(row, column)));
  editor_->setText(Text(cellText(row, column)));
  editor_->show();
  editor_->setFocus();
  editor_->end(false);
  editRow_ = row;
  editColumn_ = column;
  return true;
}

void ReportList::mouseDoubleClickEvent(QMouseEvent* event) {
  // The cell under the pointer as the user sees it, before the list's own handling moves
  // anything.
  const QModelIndex index = indexAt(event->position().toPoint());
  QTableWidget::mouseDoubleClickEvent(event);
  if (index.isValid()) EditCell(index.row(), index.column());
}

void ReportList::scrollTo(const QModelIndex& index, ScrollHint hint) {
  QScrollBar* sideways = horizontalScrollBar();
  const int kept = sideways->value();
  QTableWidget::scrollTo(index, hint);
  sideways->setValue(kept);
}

bool ReportList::eventFilter(QObject* watched, QEvent* event) {
  if (watched == editor_ && editor_ != nullptr && editor_->isVisible()) {
    if (event->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        PostCellEdited();
        return true;
      }
    } else if (event->type() == QEvent::FocusOut) {
      PostCellEdited();
    }
  }
  return QTableWidget::eventFilter(watched, event);
}

void ReportList::PostCellEdited() {
  ++postedFinishes_;
  PostWindowMessage(this, kCellEditedMessage);
}

bool ReportList::event(QEvent* event) {
  if (event->type() == WindowMessageEvent::Type()) {
    if (static_cast<WindowMessageEvent*>(event)->number() == kCellEditedMessage) {
      if (postedFinishes_ > 0) --postedFinishes_;
      if (staleFinishes_ > 0) {
        // Posted by an edit that was already stored when the next one opened.
        --staleFinishes_;
      } else {
        FinishCellEdit();
      }
    }
    return true;
  }
  return QTableWidget::event(event);
}

void ReportList::FinishCellEdit() {
  if (controlId_ != kAddressBookId || editor_ == nullptr || !editor_->isVisible()) return;
  const std::string text = editor_->text().toStdString();
  editor_->hide();
  SetCellText(editRow_, editColumn_, text);
  AutoSizeColumns(this);
  horizontalScrollBar()->setValue(editScroll_);
}

int ReportList::AddColumn(int column, const std::string& title, int width) {
  InsertColumn(column, title, width, ColumnAlign::kCenter);
  return 1;
}

int ReportList::SetCellText(int row, int column, const char* format, ...) {
  if (format == nullptr) return 0;
  va_list args;
  va_start(args, format);
  const std::string text = FormatV(format, args);
  va_end(args);
  if (row < 0 || row >= rowCount()) row = InsertRow(rowCount());
  if (column < 0 || column >= columnCount()) return 0;
  SetCellText(row, column, text);
  return 1;
}

void ReportList::SetListFont(const QFont& font, bool redraw) {
  font_ = font;
  setFont(font);
  horizontalHeader()->setFont(font);
  if (redraw) viewport()->update();
}

bool ReportList::hasHeader() const {
  return horizontalHeader() != nullptr;
}
int ReportList::columnCount() const {
  return QTableWidget::columnCount();
}

std::string ReportList::columnTitle(int column) const {
  const QTableWidgetItem* item = horizontalHeaderItem(column);
  return item != nullptr ? item->text().left(255).toStdString() : std::string();
}

int ReportList::columnWidth(int column) const {
  return QTableWidget::columnWidth(column);
}

void ReportList::InsertColumn(int column, const std::string& title, int width, ColumnAlign align) {
  if (column < 0 || column > columnCount()) column = columnCount();
  insertColumn(column);
  auto* header = new QTableWidgetItem(Text(title));
  header->setTextAlignment(align == ColumnAlign::kLeft    ? Qt::AlignLeft | Qt::AlignVCenter
                           : align == ColumnAlign::kRight ? Qt::AlignRight | Qt::AlignVCenter
                                                          : Qt::AlignCenter);
  setHorizontalHeaderItem(column, header);
  if (width >= 0) setColumnWidth(column, width);
}

void ReportList::SetColumnWidth(int column, int width) {
  if (column < 0 || column >= columnCount()) return;
  if (width == kAutoSizeContents || width == kAutoSizeUseHeader) {
    // Contents only, or contents and title: as the report view measures them.
    const QFontMetrics metrics(font());
    int widest = 0;
    for (int row = 0; row < rowCount(); ++row) {
      widest = std::max(widest, metrics.horizontalAdvance(Text(cellText(row, column))));
    }
    if (width == kAutoSizeUseHeader) {
      widest = std::max(widest, metrics.horizontalAdvance(Text(columnTitle(column))) + 8);
    }
    setColumnWidth(column, widest + 12);
    return;
  }
  setColumnWidth(column, width);
}

int ReportList::rowCount() const {
  return QTableWidget::rowCount();
}

int ReportList::InsertRow(int row) {
  if (row < 0 || row > rowCount()) row = rowCount();
  insertRow(row);
  return row;
}

void ReportList::DeleteRow(int row) {
  if (row >= 0 && row < rowCount()) removeRow(row);
}

void ReportList::DeleteAllRows() {
  setRowCount(0);
}

std::string ReportList::cellText(int row, int column) const {
  const QTableWidgetItem* cell = item(row, column);
  return cell != nullptr ? cell->text().toStdString() : std::string();
}

void ReportList::SetCellText(int row, int column, const std::string& text) {
  if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) return;
  QTableWidgetItem* cell = item(row, column);
  if (cell == nullptr) {
    cell = new QTableWidgetItem;
    cell->setTextAlignment(Qt::AlignCenter);
    setItem(row, column, cell);
  }
  cell->setText(Text(text));
}

int ReportList::selectedRow() const {
  const QList<QTableWidgetSelectionRange> ranges = selectedRanges();
  return ranges.isEmpty() ? -1 : ranges.front().topRow();
}

void ReportList::SelectRow(int row) {
  if (row < 0 || row >= rowCount()) return;
  selectRow(row);
  setCurrentCell(row, 0);
}

}  // namespace corvel
