// The medium selector's entries and the page each connection kind shows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/selector.h"
#include "connect_support.h"

namespace zorbel {
namespace {

ConnectionState Flags(uint8_t vcom, uint8_t massStorage) {
  ConnectionState c;
  c.vcomConnected = vcom;
  c.massStorageConnected = massStorage;
  return c;
}

std::vector<std::string> Texts(const SelectorLayout& layout) {
  std::vector<std::string> out;
  for (const auto& e : layout.entries) out.push_back(e.text);
  return out;
}

const std::vector<std::string> kMassStorage = {"SDRAM",   "NAND",           "NOR (Raw Data)",
                                               "SD Card", "SPI (Raw Data)", "SPI"};
const std::vector<std::string> kMassStorageFamily = {"SDRAM", "NAND", "SD Card", "SPI (Raw Data)", "SPI"};
const std::vector<std::string> kComPort = {"SDRAM",         "NAND", "NAND(Raw Data)", "NOR",
                                           "NOR(Raw Data)", "SPI",  "SPI(Raw Data)"};
const std::vector<std::string> kComPortFamily = {"SDRAM",         "NAND", "NAND(Raw Data)",
                                                 "NOR(Raw Data)", "SPI",  "SPI(Raw Data)"};

struct Case {
  const char* name;
  uint8_t vcom;
  uint8_t massStorage;
  uint32_t familyMode;
  int previous;
  std::vector<std::string> entries;
  int selection;
  bool showPage;
  int page;
  std::string caption;
};

class SelectorRebuild : public ::testing::TestWithParam<Case> {};

TEST_P(SelectorRebuild, ListsEntriesAndPicksThePage) {
  const Case& c = GetParam();
  const SelectorLayout layout = RebuildSelector(Flags(c.vcom, c.massStorage), c.familyMode, c.previous);
  EXPECT_EQ(Texts(layout), c.entries);
  EXPECT_EQ(layout.selection, c.selection);
  EXPECT_EQ(layout.showPage, c.showPage);
  EXPECT_EQ(layout.page, c.page);
  EXPECT_EQ(layout.FrameCaption(), c.caption);
}

INSTANTIATE_TEST_SUITE_P(
    Connections, SelectorRebuild,
    ::testing::Values(
        // No page appears; one that is visible becomes the SDRAM page.
        Case{"NoConnectionSelectsSdramAndShowsNoPage", 0, 0, 0, 3, {"SDRAM"}, 0, false, kPageSdram, "SDRAM"},
        Case{"MassStorageOlderChip", 0, 1, 0, 0, kMassStorage, 0, true, kPageSdram, "SDRAM"},
        Case{"MassStorageFamilyDropsNorRawData", 0, 1, 1, 0, kMassStorageFamily, 0, true, kPageSdram,
             "SDRAM"},
        // Picking "SD Card" on a disk connection puts the selector back on SDRAM.
        Case{"MassStorageSdCardPickShowsSdram", 0, 1, 0, 3, kMassStorage, 0, true, kPageSdram, "SDRAM"},
        Case{"ComPortKeepsTheChoice", 1, 0, 0, 4, kComPort, 4, true, kPageNorRaw, "NOR(Raw Data)"},
        Case{"ComPortNorShowsNorPage", 1, 0, 0, 3, kComPort, 3, true, kPageNor, "NOR"},
        // With familyMode 1 "NOR" is gone, yet "NOR(Raw Data)" still shows page 4.
        Case{"ComPortFamilyNorRawStillPage4", 1, 0, 1, 3, kComPortFamily, 3, true, kPageNorRaw,
             "NOR(Raw Data)"},
        Case{"ComPortFamilySpiRawIsLast", 1, 0, 1, 5, kComPortFamily, 5, true, kPageSpiRaw, "SPI(Raw Data)"},
        Case{"ComPortNegativeIndexCountsAsFirst", 1, 0, 0, -1, kComPort, 0, true, kPageSdram, "SDRAM"},
        // A remembered index past the new list's end: the first entry, never an empty choice.
        Case{"ComPortIndexPastEndSelectsTheFirstEntry", 1, 0, 1, 6, kComPortFamily, 0, true, kPageSdram,
             "SDRAM"},
        Case{"BothFlagsListBothAndShowSdram", 1, 1, 0, 5, connect_test::Join({kMassStorage, kComPort}), 0,
             true, kPageSdram, "SDRAM"}),
    connect_test::ParamName);

TEST(SelectorEntries, ComPortEntriesMapToTheirPages) {
  const std::vector<SelectorEntry> entries = SelectorEntries(SelectorConnection::kComPort, 0);
  const std::vector<int> pages = {kPageSdram,  kPageNand, kPageNandRaw, kPageNor,
                                  kPageNorRaw, kPageSpi,  kPageSpiRaw};
  ASSERT_EQ(entries.size(), pages.size());
  for (size_t i = 0; i < pages.size(); ++i) EXPECT_EQ(entries[i].page, pages[i]) << entries[i].text;
}

}  // namespace
}  // namespace zorbel
