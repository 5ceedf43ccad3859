#pragma once
// A report-style list that keeps every row's texts, so that a click on a
// column header sorts the rows by that column: ascending first, descending
// on a second click of the same column. Numbers compare as numbers and
// dates in the user's locale as dates (app/list_sort.h). The sorted column's
// header shows a triangle pointing up (ascending) or down.
#include <QHeaderView>
#include <QStringList>
#include <QTableView>
#include <cstdint>
#include <functional>
#include <string_view>

namespace zorbel {

class SortableListModel;

// Column alignment of a column specification: 0 left, 1 centred, 2 right.
enum class ColumnAlignment { kLeft = 0, kCentre = 1, kRight = 2 };

// The list's header: draws the titles and the sort triangle itself.
class SortHeader : public QHeaderView {
  Q_OBJECT

 public:
  explicit SortHeader(QWidget* parent = nullptr);
  int SortColumn() const { return sortColumn_; }
  bool Ascending() const { return ascending_; }
  void SetSort(int column, bool ascending);

 protected:
  void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  int sortColumn_ = -1;
  bool ascending_ = true;
  int pressed_ = -1;
};

class SortableList : public QTableView {
  Q_OBJECT

 public:
  explicit SortableList(QWidget* parent = nullptr);
  ~SortableList() override;

  // Appends the columns of a specification text ("title, width" or
  // "title, alignment, width" entries separated by ';'). False when it
  // holds no column.
  bool SetColumns(std::string_view specification);
  // Inserts a column at index (clamped to the end); every row gets an empty
  // text there. Returns the column's index.
  int InsertColumn(int index, const QString& title, ColumnAlignment alignment, int width);
  int ColumnCount() const;

  // Inserts a row at index (clamped to the end) with texts for its columns
  // in order (missing ones empty, extra ones dropped) and the caller's data.
  // Returns the row's index. Inserting leaves the rows unsorted until the
  // next sort.
  int InsertItem(int index, const QStringList& texts, uint32_t itemData = 0);
  bool SetItemText(int row, int column, const QString& text);
  QString ItemText(int row, int column) const;
  uint32_t ItemData(int row) const;  // 0 for no such row
  bool SetItemData(int row, uint32_t itemData);
  int ItemCount() const;
  // Deletes a row unless veto returns false for its data; with selectNext the
  // row now at that index (or the last one) becomes selected.
  bool DeleteItem(int row, bool selectNext = false, const std::function<bool(uint32_t itemData)>& veto = {});
  void DeleteAllItems();

  // The first selected row after `after` (-1: from the top), -1 when none;
  // and its data (0 when none).
  int NextSelectedItem(int after = -1) const;
  uint32_t NextSelectedItemData(int after = -1) const;
  void SelectItem(int row);

  void SetFullRowSelection(bool on);
  void SetGridLines(bool on);

  // Sorts by column; an invalid column is ignored.
  void SortByColumn(int column, bool ascending);
  int SortColumn() const;
  bool SortAscending() const;

 private:
  void OnHeaderClicked(int column);

  SortableListModel* model_;
  SortHeader* header_;
};

}  // namespace zorbel
