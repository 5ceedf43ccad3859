#pragma once
// Long tables of expected texts and bytes live as data files under tests/data:
// one row a line, cells split by tabs, "#" lines and blank lines skipped.
// Cells take \n, \r, \t and \\ escapes, and a cell "\x" followed by hex pairs
// ("\x 0a ff 12") reads as those bytes.
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace zorbel::testing {

using TableRow = std::vector<std::string>;

inline std::string UnescapeCell(const std::string& cell) {
  if (cell.rfind("\\x", 0) == 0) {
    std::string bytes;
    std::string pair;
    for (size_t i = 2; i < cell.size(); ++i) {
      if (cell[i] == ' ') continue;
      pair += cell[i];
      if (pair.size() == 2) {
        bytes += static_cast<char>(std::stoul(pair, nullptr, 16));
        pair.clear();
      }
    }
    return bytes;
  }
  std::string out;
  for (size_t i = 0; i < cell.size(); ++i) {
    if (cell[i] != '\\' || i + 1 == cell.size()) {
      out += cell[i];
      continue;
    }
    const char next = cell[++i];
    out += next == 'n' ? '\n' : next == 'r' ? '\r' : next == 't' ? '\t' : next;
  }
  return out;
}

// Rows of tests/data/<name>. A missing or empty file throws, which fails the
// running test in GoogleTest and Qt Test alike, rather than passing it with
// no rows.
inline std::vector<TableRow> LoadTable(const std::string& name) {
  std::ifstream in(std::string(ZORBEL_TEST_DATA) + "/" + name);
  if (!in) throw std::runtime_error("missing test table " + name);
  std::vector<TableRow> rows;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    TableRow row;
    size_t from = 0;
    for (size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1)
      row.push_back(UnescapeCell(line.substr(from, tab - from)));
    row.push_back(UnescapeCell(line.substr(from)));
    rows.push_back(std::move(row));
  }
  if (rows.empty()) throw std::runtime_error("empty test table " + name);
  return rows;
}

}  // namespace zorbel::testing
