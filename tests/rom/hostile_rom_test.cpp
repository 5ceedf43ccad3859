// ROM builds from careless list files: a target that is one of the build's
// own files, or images that would grow the file past its format, are refused
// before anything is written.
#include <gtest/gtest.h>

#include "rom/nand_rom_builder.h"
#include "rom/nor_rom_builder.h"
#include "rom/rom_file.h"
#include "rom/rom_messages.h"
#include "rom/spi_rom_builder.h"
#include "rom_test_support.h"

namespace zorbel {
namespace {

namespace fs = std::filesystem;
using romtest::Section;

class HostileRom : public romtest::RomFolder {
 protected:
  // A sparse file stands in for a large image.
  Section Spi(int number, const std::string& start, uint64_t size) {
    const std::string image = File("img" + std::to_string(number), romtest::Pattern(100, 1));
    fs::resize_file(image, size);
    return {"Image " + std::to_string(number),
            {{"Image", image},
             {"Start", start},
             {number == 0 ? "System" : "Data", "1"}}};
  }
};

TEST_F(HostileRom, ATargetThatIsOneOfItsSourcesIsRefused) {
  const std::vector<uint8_t> image = romtest::Pattern(3000, 4);
  for (const std::string target : {"nandrom.ini", "img.bin", "alias.bin"}) {
    SCOPED_TRACE(target);
    File("img.bin", image);
    std::error_code ec;
    fs::create_symlink(Path("img.bin"), Path("alias.bin"), ec);
    if (ec && target == "alias.bin") continue;  // no links for this user (Windows)
    const std::string list = List("nandrom.ini", {{"Target Image", {{"Image", Path(target)}}},
                                                  {"Image 1", {{"Image", Path("img.bin")}, {"Start", "0x4"}}}});
    const auto listBytes = romtest::ReadAll(list);
    RecordingPrompt prompt;
    NandRomRequest request;
    request.listFile = list;
    request.imageCount = 1;
    EXPECT_EQ(NandRomBuilder(request, prompt), -1);
    EXPECT_EQ(prompt.Messages(), std::vector<std::string>{kTargetIsSource});
    EXPECT_EQ(romtest::ReadAll(Path("img.bin")), image);
    EXPECT_EQ(romtest::ReadAll(list), listBytes);
  }
}

TEST_F(HostileRom, SpiImagesPastTheSizeCapAreRefusedBeforeWriting) {
  const struct {
    const char* label;
    Section image;
  } cases[] = {
      {"a section past the table at 0xFFFFFFFF", Spi(9, "0xFFFFFFFF", 16)},
      {"a long image before the last", Spi(1, "0x10000", kSpiRomMaxSize)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    SpiRomRequest request;
    request.listFile = List("spirom.ini", {{"Target Image", {{"Image", Path("out.bin")}}},
                                           Spi(0, "0x0", 100),
                                           c.image,
                                           Spi(2, "0x20000", 100)});
    RecordingPrompt prompt;
    EXPECT_EQ(SpiRomBuilder(request, prompt), -1);
    EXPECT_EQ(prompt.Messages(), std::vector<std::string>{rom_text::kExceedMaxSize});
    EXPECT_FALSE(fs::exists(Path("out.bin")));
    EXPECT_TRUE(Leftovers().empty());
  }
}

}  // namespace
}  // namespace zorbel
