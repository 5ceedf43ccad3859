#pragma once
// How a sortable list orders its rows by one column: numbers as numbers,
// dates as dates, everything else byte by byte. The widget supplies the
// reading of dates in the user's locale; the rest needs no window.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorbel {

// A date and time read in the user's locale, as a value that orders like
// the moment it names; nullopt when the text is no date.
using DateReader = std::function<std::optional<double>(std::string_view)>;

// Digits and '+' only, a leading '-' allowed when more follows; "" and "-" are not numeric.
bool IsNumericText(std::string_view text);

// -1, 0 or 1 for two cells of the sort column, compared ascending. Both are
// trimmed; an empty cell compares as text; a numeric first cell compares as
// numbers; a first cell that reads as a date compares as dates when the
// second does too.
int CompareListCells(std::string_view a, std::string_view b, const DateReader& readDate = {});

// The row order that sorts rows by column (rows' positions, first to last).
// Descending compares the pair the other way round, as the list always has.
// Equal rows keep their order.
std::vector<size_t> SortedRowOrder(const std::vector<std::vector<std::string>>& rows, size_t column,
                                   bool ascending, const DateReader& readDate = {});

}  // namespace zorbel
