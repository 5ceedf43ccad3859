// The sortable list's ordering, without a window.
#include "app/list_sort.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace zorbel {
namespace {

TEST(ListSort, NumericText) {
  const struct {
    const char* text;
    bool numeric;
  } cases[] = {
      {"10", true}, {"-5", true}, {"+7", true}, {"1+2", true},  {"-", false},   {"", false},
      {"5-", false}, {"1.5", false}, {"0x1f", false}, {" 3", false}, {"--1", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsNumericText(c.text), c.numeric) << c.text;
}

TEST(ListSort, CellComparison) {
  // Dates here are "d.m.yyyy"; the widget reads the user's locale instead.
  const DateReader dates = [](std::string_view t) -> std::optional<double> {
    unsigned d = 0, m = 0, y = 0;
    if (std::sscanf(std::string(t).c_str(), "%u.%u.%u", &d, &m, &y) != 3) return std::nullopt;
    return y * 10000.0 + m * 100 + d;
  };
  const struct {
    const char* a;
    const char* b;
    int expected;
  } cases[] = {
      {"9", "10", -1},          // numbers, not "1" < "9"
      {" 10 ", "9", 1},         // trimmed first
      {"-5", "3", -1},          //
      {"-", "-1", -1},          // '-' alone is text (as a number it would be 0 > -1)
      {"", "3", -1},            // empty compares as text
      {"3", "", 1},             //
      {"7", "abc", 1},          // numeric first cell: "abc" reads as 0
      {"abc", "7", 1},          // text first cell: byte-wise
      {"B", "a", -1},           // case-sensitive
      {"1.2.2020", "5.1.2019", 1},     // dates, not text
      {"1.2.2020", "zz", -1},          // the second is no date: text
      {"12", "12", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(CompareListCells(c.a, c.b, dates), c.expected) << c.a << " / " << c.b;
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
