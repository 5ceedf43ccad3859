// The sortable list's ordering, without a window.
#include "app/list_sort.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "app/test_table.h"

namespace zorbel {
namespace {

using testing::LoadTable;

TEST(ListSort, NumericText) {
  // text, whether it is a number
  for (const auto& row : LoadTable("app/list_numeric.tsv"))
    EXPECT_EQ(IsNumericText(row[0]), row[1] == "yes") << row[0];
}

TEST(ListSort, CellComparison) {
  // Dates here are "d.m.yyyy"; the widget reads the user's locale instead.
  const DateReader dates = [](std::string_view t) -> std::optional<double> {
    unsigned d = 0, m = 0, y = 0;
    if (std::sscanf(std::string(t).c_str(), "%u.%u.%u", &d, &m, &y) != 3) return std::nullopt;
    return y * 10000.0 + m * 100 + d;
  };
  // first cell, second cell, comparison, why
  for (const auto& row : LoadTable("app/list_cells.tsv")) {
    EXPECT_EQ(CompareListCells(row[0], row[1], dates), std::stoi(row[2])) << row[0] << " / " << row[1];
  }
}

TEST(ListSort, RowOrder) {
  const std::vector<std::vector<std::string>> rows = {{"10", "b"}, {"9", "a"}, {"", "c"}, {"100", "a"}};
  EXPECT_EQ(SortedRowOrder(rows, 0, true), (std::vector<size_t>{2, 1, 0, 3}));
  EXPECT_EQ(SortedRowOrder(rows, 0, false), (std::vector<size_t>{3, 0, 1, 2}));
  // Equal cells keep their rows' order.
  EXPECT_EQ(SortedRowOrder(rows, 1, true), (std::vector<size_t>{1, 3, 0, 2}));
  // A column a row does not have sorts as empty.
  EXPECT_EQ(SortedRowOrder({{"b", "2"}, {"a"}}, 1, true), (std::vector<size_t>{1, 0}));
}

}  // namespace
}  // namespace zorbel
