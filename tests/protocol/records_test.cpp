#include "protocol/records.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/test_table.h"
#include "app/test_temp_folder.h"

namespace zorbel {
namespace {

uint32_t Number(const std::string& cell) { return static_cast<uint32_t>(std::stoul(cell, nullptr, 0)); }

template <typename Bytes>
std::string AsText(const Bytes& bytes) {
  return {bytes.begin(), bytes.end()};
}

// The fields of an image head from cells: command, length, number, name, type, execute address, start.
ImageHeadFields Fields(const testing::TableRow& row, size_t at) {
  return {static_cast<HeadCommand>(Number(row[at])),
          Number(row[at + 1]),
          Number(row[at + 2]),
          row[at + 3],
          Number(row[at + 4]),
          Number(row[at + 5]),
          Number(row[at + 6])};
}

// What one encoder gives for the cells of a row of records.tsv.
std::string Encode(const testing::TableRow& row) {
  const std::string& encoder = row[0];
  if (encoder == "raw") return AsText(EncodeRawHead({Number(row[1]), Number(row[2]), Number(row[3])}));
  if (encoder == "long") return AsText(EncodeLongImageHead(Fields(row, 1)));
  if (encoder == "short") return AsText(EncodeShortImageHead(Fields(row, 1)));
  if (encoder == "image") return AsText(EncodeImageHead(Fields(row, 2), Number(row[1])));
  if (encoder == "system") return AsText(EncodeLongImageHead(WithSystemImageZeros(Fields(row, 1))));
  if (encoder == "erase-range") {
    return AsText(EncodeEraseRangeHead(Number(row[1]), Number(row[2]), Number(row[3])));
  }
  if (encoder == "reserved") return AsText(EncodeReservedSize(Number(row[1])));
  if (encoder == "format") return AsText(EncodeFormatFlag(row[1] == "1"));
  if (encoder == "u32") return AsText(EncodeU32Parameter(Number(row[1])));
  ADD_FAILURE() << "unknown encoder " << encoder;
  return {};
}

TEST(RecordsTest, EveryHeadAndParameterBlockByteForByte) {
  for (const auto& row : testing::LoadTable("protocol/records.tsv")) {
    EXPECT_EQ(::testing::PrintToString(Encode(row)), ::testing::PrintToString(row.back()))
        << ::testing::PrintToString(row);
  }
}

TEST(RecordsTest, BoardStatusWordsFailOnHighBitsAndCountTheirScope) {
  for (const auto& row : testing::LoadTable("protocol/status_words.tsv")) {
    const auto scope = row[1] == "image" ? StatusScope::kImageBurn : StatusScope::kRawOrErase;
    const BoardStatus s = DecodeBoardStatus(Number(row[0]), scope);
    EXPECT_EQ(std::to_string(s.failed) + " " + std::to_string(s.percent) + " " + std::to_string(s.done),
              row[2])
        << row[0] << " " << row[1];
  }
}

TEST(LoaderHeaderTest, ParsesFieldsAndVersionText) {
  for (const auto& row : testing::LoadTable("protocol/loader_headers.tsv")) {
    const std::vector<uint8_t> bytes(row[0].begin(), row[0].end());
    LoaderImageHeader h;
    h.address = 0xDEADBEEF;
    if (!ParseLoaderImageHeader(bytes, &h)) {
      EXPECT_EQ(row[1], "refused") << bytes.size();
      EXPECT_EQ(h.address, 0xDEADBEEFu) << "a refused header leaves the result alone";
      continue;
    }
    char address[16];
    std::snprintf(address, sizeof address, "0x%x", static_cast<unsigned>(h.address));
    EXPECT_EQ(std::to_string(h.HasRomMagic()) + " " + address + " " + std::to_string(h.length) + " " +
                  h.VersionText(),
              row[1]);
  }
}

TEST(LoaderHeaderTest, FileShorterThanItsHeaderIsRefused) {
  const testing::TempFolder dir;
  const std::vector<uint8_t> header = {'Q', 'K', 0x5A, 0xA5, 0, 0, 0, 0x30, 0x10, 0, 0, 0, 1, 2, 3, 4};
  for (const size_t size : {0, 15, 16, 40}) {
    const bool ok = size >= header.size();
    const std::string path = dir.File("musb" + std::to_string(size) + ".bin");
    std::string bytes(size, '\x77');
    for (size_t i = 0; i < size && i < header.size(); ++i) bytes[i] = static_cast<char>(header[i]);
    testing::WriteBytes(path, bytes);
    LoaderImageHeader h;
    std::string error;
    EXPECT_EQ(ReadLoaderImageHeader(path, &h, &error), ok) << size;
    EXPECT_EQ(error.empty(), ok) << size;
    if (ok) {
      EXPECT_EQ(h.address, 0x30000000u);
      EXPECT_EQ(h.length, 16u);
      EXPECT_EQ(h.VersionText(), " 2004/03/02-V01");
    }
  }
  LoaderImageHeader h;
  std::string error;
  for (const char* unreadable : {"absent.bin", "folder.bin"}) {
    std::filesystem::create_directories(dir.File("folder.bin"));
    error.clear();
    EXPECT_FALSE(ReadLoaderImageHeader(dir.File(unreadable), &h, &error)) << unreadable;
    EXPECT_NE(error.find("cannot open"), std::string::npos) << unreadable;
  }
}

}  // namespace
}  // namespace zorbel
