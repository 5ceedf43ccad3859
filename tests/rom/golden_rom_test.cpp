// Small ROM files checked by hand against the layout tables once, and kept
// byte for byte since (the NAND one is compared by the command-line tests). ZORBEL_WRITE_GOLDEN=1 rewrites them (then check the
// new bytes by hand again before committing).
#include <gtest/gtest.h>

#include <cstdlib>

#include "rom/nor_rom_builder.h"
#include "rom/spi_rom_builder.h"
#include "rom_test_support.h"

namespace zorbel {
namespace {

using romtest::Pattern;
using romtest::ReadFileBytes;
using romtest::Section;

class GoldenRomTest : public romtest::RomFolder {
 protected:
  void Compare(const std::string& name) {
    const auto golden = romtest::fs::path(ZORBEL_TEST_DATA) / "rom" / name;
    const auto built = ReadFileBytes(Path("out.bin"));
    if (std::getenv("ZORBEL_WRITE_GOLDEN") != nullptr) romtest::WriteBytes(golden, built);
    const auto expected = ReadFileBytes(golden);
    ASSERT_EQ(built.size(), expected.size()) << name;
    for (size_t i = 0; i < built.size(); ++i) {
      ASSERT_EQ(built[i], expected[i]) << name << " differs at offset 0x" << std::hex << i;
    }
  }
  RecordingPrompt prompt_;
};

TEST_F(GoldenRomTest, Nor) {
  const std::string list =
      List("mkrom.ini", {{"Target Image", {{"Image", Path("out.bin")}}},
                         {"Boot Image", {{"Image", File("boot.bin", Pattern(40, 1))}, {"Name", "boot"}}},
                         {"Boot Info",
                          {{"mac", "00:0A:35:12:34:56"},
                           {"ip", "192.168.0.7"},
                           {"dhcp", "1"},
                           {"phy", "1"},
                           {"buffer_base", "0x00500000"},
                           {"buffer_size", "0x00100000"},
                           {"baudrate", "115200"},
                           {"serial_number", "0012"},
                           {"turbo_mode", "0"}}},
                         {"Image 1",
                          {{"Image", File("k.bin", Pattern(10, 2))},
                           {"Name", "kernel"},
                           {"Base", "0xA0020000"},
                           {"Load", "0x30008000"},
                           {"Active", "1"},
                           {"Copy to RAM", "1"},
                           {"Execution", "0"},
                           {"Compressed", "0"},
                           {"File", "0"},
                           {"ROMFS", "0"},
                           {"No Footer", "0"}}}});
  ASSERT_EQ(NorRomBuilder({list}, prompt_), 0);
  Compare("nor_golden.bin");
}

TEST_F(GoldenRomTest, SpiOffsetModeFamilyOne) {
  ChipSettings chip;
  const uint8_t header[32] = {0xA5, 0x5A, 'K', 'Q',  0x00, 0x00, 0x00, 0x30, 0,    0,    0,
                              0,    'Q',  'K', 0x5A, 0xA5, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66,
                              0x77, 0x08, 0,   0,    0,    0,    0,    0,    0,    0};
  std::copy(std::begin(header), std::end(header), chip.bootHeader.begin());
  chip.bootHeaderLength = 32;
  SpiRomRequest r;
  r.listFile = List("spirom.ini", {{"Target Image", {{"Image", Path("out.bin")}}},
                                   {"Image 0",
                                    {{"Image", File("boot.bin", Pattern(30, 5))},
                                     {"Name", "boot"},
                                     {"Exec", " "},
                                     {"Start", "0x0"},
                                     {"System", "1"}}},
                                   {"Image 1",
                                    {{"Image", File("app.bin", Pattern(7, 6))},
                                     {"Name", "app"},
                                     {"Exec", "0x30008000"},
                                     {"Start", "0x10000"},
                                     {"Execution", "1"}}}});
  r.chipFamily = 1;
  r.chip = &chip;
  ASSERT_EQ(SpiRomBuilder(r, prompt_), 0);
  Compare("spi_golden.bin");
}

}  // namespace
}  // namespace zorbel
