#include "controls/sortable_list.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <string>
#include <vector>

#include "app/list_sort.h"
#include "protocol/page_rules.h"

namespace zorbel {
namespace {

Qt::Alignment HorizontalAlignment(ColumnAlignment alignment) {
  switch (alignment) {
    case ColumnAlignment::kCentre:
      return Qt::AlignHCenter;
    case ColumnAlignment::kRight:
      return Qt::AlignRight;
    default:
      return Qt::AlignLeft;
  }
}

// Dates and times as the user's locale writes them, in its short or long form.
std::optional<double> ReadLocaleDate(std::string_view text) {
  const QLocale locale = QLocale::system();
  const QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  for (const auto format : {QLocale::ShortFormat, QLocale::LongFormat}) {
    if (const QDateTime at = locale.toDateTime(shown, format); at.isValid()) {
      return static_cast<double>(at.toMSecsSinceEpoch());
    }
    if (const QDate day = locale.toDate(shown, format); day.isValid()) {
      return static_cast<double>(day.startOfDay().toMSecsSinceEpoch());
    }
  }
  return std::nullopt;
}

}  // namespace

// The rows' records: one text per column and the caller's data, from
// insertion to deletion.
class SortableListModel final : public QAbstractTableModel {
 public:
  struct Column {
    QString title;
    ColumnAlignment alignment;
  };
  struct Row {
    std::vector<std::string> texts;
    uint32_t data = 0;
  };

  using QAbstractTableModel::QAbstractTableModel;

  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
  }
  int columnCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid()) return {};
    if (role == Qt::DisplayRole) return Text(index.row(), index.column());
    if (role == Qt::TextAlignmentRole) {
      return QVariant::fromValue(HorizontalAlignment(columns_[Col(index.column())].alignment) | Qt::AlignVCenter);
    }
    return {};
  }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
    if (role == Qt::DisplayRole) return columns_[Col(section)].title;
    if (role == Qt::TextAlignmentRole) {
      return QVariant::fromValue(HorizontalAlignment(columns_[Col(section)].alignment) | Qt::AlignVCenter);
    }
    return {};
  }

  int AddColumn(int index, const QString& title, ColumnAlignment alignment) {
    index = std::clamp(index, 0, columnCount());
    beginInsertColumns({}, index, index);
    columns_.insert(columns_.begin() + index, Column{title, alignment});
    for (Row& row : rows_) row.texts.insert(row.texts.begin() + index, std::string());
    endInsertColumns();
    return index;
  }

  int AddRow(int index, const QStringList& texts, uint32_t itemData) {
    index = std::clamp(index, 0, rowCount());
    Row row;
    row.data = itemData;
    row.texts.resize(columns_.size());
    for (size_t c = 0; c < row.texts.size() && c < static_cast<size_t>(texts.size()); ++c) {
      row.texts[c] = texts[static_cast<qsizetype>(c)].toStdString();
    }
    beginInsertRows({}, index, index);
    rows_.insert(rows_.begin() + index, std::move(row));
    endInsertRows();
    return index;
  }

  bool SetText(int row, int column, const QString& text) {
    if (!ValidCell(row, column)) return false;
    rows_[Col(row)].texts[Col(column)] = text.toStdString();
    emit dataChanged(index(row, column), index(row, column));
    return true;
  }
  QString Text(int row, int column) const {
    if (!ValidCell(row, column)) return {};
    return QString::fromStdString(rows_[Col(row)].texts[Col(column)]);
  }
  Row* At(int row) { return row >= 0 && row < rowCount() ? &rows_[Col(row)] : nullptr; }
  const Row* At(int row) const { return row >= 0 && row < rowCount() ? &rows_[Col(row)] : nullptr; }

  void RemoveRow(int row) {
    beginRemoveRows({}, row, row);
    rows_.erase(rows_.begin() + row);
    endRemoveRows();
  }
  void Clear() {
    beginResetModel();
    rows_.clear();
    endResetModel();
  }

  void SortRows(int column, bool ascending) {
    std::vector<std::vector<std::string>> texts;
    texts.reserve(rows_.size());
    for (const Row& row : rows_) texts.push_back(row.texts);
    const std::vector<size_t> order = SortedRowOrder(texts, Col(column), ascending, ReadLocaleDate);
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newPlace(rows_.size());
    std::vector<Row> sorted;
    sorted.reserve(rows_.size());
    for (size_t i = 0; i < order.size(); ++i) {
      newPlace[order[i]] = static_cast<int>(i);
      sorted.push_back(std::move(rows_[order[i]]));
    }
    rows_ = std::move(sorted);
    // Selection and current row follow their rows.
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    for (const QModelIndex& old : before) {
      after << index(newPlace[Col(old.row())], old.column());
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
  }

 private:
  static size_t Col(int i) { return static_cast<size_t>(i); }
  bool ValidCell(int row, int column) const {
    return row >= 0 && row < rowCount() && column >= 0 && column < columnCount();
  }

  std::vector<Column> columns_;
  std::vector<Row> rows_;
};

// ---- header ---------------------------------------------------------------------
SortHeader::SortHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
  setSectionsClickable(true);
  setHighlightSections(false);
  setStretchLastSection(false);
}

void SortHeader::SetSort(int column, bool ascending) {
  sortColumn_ = column;
  ascending_ = ascending;
  viewport()->update();
}

void SortHeader::mousePressEvent(QMouseEvent* event) {
  pressed_ = logicalIndexAt(event->position().toPoint());
  viewport()->update();
  QHeaderView::mousePressEvent(event);
}

void SortHeader::mouseReleaseEvent(QMouseEvent* event) {
  pressed_ = -1;
  viewport()->update();
  QHeaderView::mouseReleaseEvent(event);
}

void SortHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
  if (!rect.isValid()) return;
  painter->save();
  const QPalette& pal = palette();
  painter->fillRect(rect, pal.button());
  painter->setPen(pal.dark().color());
  painter->drawLine(rect.topRight(), rect.bottomRight());
  painter->drawLine(rect.bottomLeft(), rect.bottomRight());

  const int h = rect.height();
  const bool sorted = logicalIndex == sortColumn_;
  // The triangle takes only its own width and a margin: the lists' narrow
  // number columns would otherwise lose their titles.
  const int size = std::max(5, h / 4);
  const int margin = sorted ? std::min(3, h / 4) : h / 4;
  QRect text = rect.adjusted(margin, 0, -margin - (sorted ? size + 2 : 0), 0);
  if (logicalIndex == pressed_) text.translate(1, 2);
  const QString title = model() ? model()->headerData(logicalIndex, Qt::Horizontal).toString() : QString();
  const auto align = model() ? model()->headerData(logicalIndex, Qt::Horizontal, Qt::TextAlignmentRole)
                                   .value<Qt::Alignment>()
                             : Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter);
  painter->setPen(pal.buttonText().color());
  painter->drawText(text, static_cast<int>(align | Qt::AlignVCenter) | Qt::TextSingleLine,
                    painter->fontMetrics().elidedText(title, Qt::ElideRight, std::max(0, text.width())));

  if (sorted) {
    // A triangle a quarter of the item high, near the right edge; its lit
    // edges in the highlight colour, its shaded ones in the shadow colour.
    const int right = rect.right() - margin;
    const int left = right - size;
    const int top = rect.top() + (h - size) / 2;
    const int bottom = top + size;
    const int middle = (left + right) / 2;
    const QColor lit = pal.light().color();
    const QColor shade = pal.dark().color();
    const QPolygon body = ascending_ ? QPolygon({QPoint(middle, top), QPoint(left, bottom), QPoint(right, bottom)})
                                     : QPolygon({QPoint(left, top), QPoint(right, top), QPoint(middle, bottom)});
    painter->setBrush(pal.mid());
    painter->setPen(Qt::NoPen);
    painter->drawPolygon(body);
    if (ascending_) {  // pointing up
      painter->setPen(shade);
      painter->drawLine(middle, top, left, bottom);
      painter->setPen(lit);
      painter->drawLine(left, bottom, right, bottom);
      painter->drawLine(right, bottom, middle, top);
    } else {  // pointing down
      painter->setPen(shade);
      painter->drawLine(left, top, right, top);
      painter->drawLine(left, top, middle, bottom);
      painter->setPen(lit);
      painter->drawLine(middle, bottom, right, top);
    }
  }
  painter->restore();
}

// ---- list -----------------------------------------------------------------------
SortableList::SortableList(QWidget* parent) : QTableView(parent) {
  model_ = new SortableListModel(this);
  header_ = new SortHeader(this);
  setHorizontalHeader(header_);
  setModel(model_);
  verticalHeader()->hide();
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setWordWrap(false);
  SetFullRowSelection(true);
  SetGridLines(false);
  connect(header_, &QHeaderView::sectionClicked, this, &SortableList::OnHeaderClicked);
}

SortableList::~SortableList() = default;

bool SortableList::SetColumns(std::string_view specification) {
  const std::vector<ListColumn> columns = ParseColumnSpecification(specification);
  for (const ListColumn& column : columns) {
    InsertColumn(ColumnCount(), QString::fromStdString(column.title),
                 static_cast<ColumnAlignment>(column.alignment), column.width);
  }
  return !columns.empty();
}

int SortableList::InsertColumn(int index, const QString& title, ColumnAlignment alignment, int width) {
  const int at = model_->AddColumn(index, title, alignment);
  setColumnWidth(at, std::max(1, width));
  return at;
}

int SortableList::ColumnCount() const { return model_->columnCount(); }

int SortableList::InsertItem(int index, const QStringList& texts, uint32_t itemData) {
  return model_->AddRow(index, texts, itemData);
}

bool SortableList::SetItemText(int row, int column, const QString& text) {
  return model_->SetText(row, column, text);
}

QString SortableList::ItemText(int row, int column) const { return model_->Text(row, column); }

uint32_t SortableList::ItemData(int row) const {
  const auto* record = model_->At(row);
  return record != nullptr ? record->data : 0;
}

bool SortableList::SetItemData(int row, uint32_t itemData) {
  auto* record = model_->At(row);
  if (record == nullptr) return false;
  record->data = itemData;
  return true;
}

int SortableList::ItemCount() const { return model_->rowCount(); }

bool SortableList::DeleteItem(int row, bool selectNext, const std::function<bool(uint32_t)>& veto) {
  const auto* record = model_->At(row);
  if (record == nullptr) return false;
  if (veto && !veto(record->data)) return false;
  model_->RemoveRow(row);
  if (selectNext && ItemCount() > 0) SelectItem(std::min(row, ItemCount() - 1));
  return true;
}

void SortableList::DeleteAllItems() { model_->Clear(); }

int SortableList::NextSelectedItem(int after) const {
  const QItemSelectionModel* selection = selectionModel();
  for (int row = std::max(after + 1, 0); row < ItemCount(); ++row) {
    if (selection->isRowSelected(row, {}) || selection->isSelected(model_->index(row, 0))) return row;
  }
  return -1;
}

uint32_t SortableList::NextSelectedItemData(int after) const { return ItemData(NextSelectedItem(after)); }

void SortableList::SelectItem(int row) {
  if (row < 0 || row >= ItemCount()) return;
  const auto flags = selectionBehavior() == QAbstractItemView::SelectRows
                         ? QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows
                         : QItemSelectionModel::ClearAndSelect;
  selectionModel()->setCurrentIndex(model_->index(row, 0), flags);
}

void SortableList::SetFullRowSelection(bool on) {
  setSelectionBehavior(on ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
}

void SortableList::SetGridLines(bool on) { setShowGrid(on); }

void SortableList::SortByColumn(int column, bool ascending) {
  if (column < 0 || column >= ColumnCount()) return;
  header_->SetSort(column, ascending);
  model_->SortRows(column, ascending);
}

int SortableList::SortColumn() const { return header_->SortColumn(); }

bool SortableList::SortAscending() const { return header_->Ascending(); }

void SortableList::OnHeaderClicked(int column) {
  const bool descending = column == header_->SortColumn() && header_->Ascending();
  SortByColumn(column, !descending);
}

}  // namespace zorbel
