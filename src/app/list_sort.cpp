#include "app/list_sort.h"

#include <algorithm>
#include <charconv>
#include <numeric>

namespace zorbel {
namespace {

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

int Sign(double difference) { return difference < 0 ? -1 : (difference > 0 ? 1 : 0); }

int CompareText(std::string_view a, std::string_view b) {
  const int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// The C library's decimal reading: the longest number at the front, 0 when
// there is none. Locale-free, so a user's decimal comma does not change it.
double DecimalValue(std::string_view text) {
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) return 0;
  }
  double value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return result.ec == std::errc() ? value : 0;
}

}  // namespace

bool IsNumericText(std::string_view text) {
  if (text.empty()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if ((c >= '0' && c <= '9') || c == '+') continue;
    if (c == '-' && i == 0 && text.size() >= 2) continue;
    return false;
  }
  return true;
}

int CompareListCells(std::string_view a, std::string_view b, const DateReader& readDate) {
  a = Trimmed(a);
  b = Trimmed(b);
  if (a.empty() || b.empty()) return CompareText(a, b);
  if (IsNumericText(a)) return Sign(DecimalValue(a) - DecimalValue(b));
  if (readDate) {
    if (const auto first = readDate(a)) {
      if (const auto second = readDate(b)) return Sign(*first - *second);
    }
  }
  return CompareText(a, b);
}

std::vector<size_t> SortedRowOrder(const std::vector<std::vector<std::string>>& rows, size_t column,
                                   bool ascending, const DateReader& readDate) {
  std::vector<size_t> order(rows.size());
  std::iota(order.begin(), order.end(), size_t{0});
  auto cell = [&](size_t row) -> std::string_view {
    return column < rows[row].size() ? std::string_view(rows[row][column]) : std::string_view();
  };
  std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) {
    return ascending ? CompareListCells(cell(x), cell(y), readDate) < 0
                     : CompareListCells(cell(y), cell(x), readDate) < 0;
  });
  return order;
}

}  // namespace zorbel
