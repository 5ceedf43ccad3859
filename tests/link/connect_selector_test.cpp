// The medium selector's entries and the page each connection kind shows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/selector.h"
#include "app/test_table.h"
#include "connect_support.h"

namespace zorbel {
namespace {

TEST(SelectorRebuild, ListsEntriesWithTheirPagesAndPicksThePage) {
  for (const auto& row : testing::LoadTable("link/selector.tsv")) {
    SCOPED_TRACE(row[0] + row[1] + row[2] + " from " + row[3]);
    ConnectionState connection;
    connection.vcomConnected = static_cast<uint8_t>(std::stoi(row[0]));
    connection.massStorageConnected = static_cast<uint8_t>(std::stoi(row[1]));
    const SelectorLayout layout = RebuildSelector(connection, std::stoul(row[2]), std::stoi(row[3]));
    std::vector<std::string> entries;
    for (const auto& e : layout.entries) entries.push_back(e.text + "=" + std::to_string(e.page));
    const std::vector<std::string> expected = connect_test::Split(row[4], '|');
    EXPECT_EQ(entries, expected);
    EXPECT_EQ(layout.selection, std::stoi(row[5]));
    EXPECT_EQ(layout.showPage, row[6] == "1");
    EXPECT_EQ(layout.page, std::stoi(row[7]));
    const std::string& chosen = expected.at(std::stoul(row[5]));
    EXPECT_EQ(layout.FrameCaption(), chosen.substr(0, chosen.rfind('=')));
  }
}

}  // namespace
}  // namespace zorbel
