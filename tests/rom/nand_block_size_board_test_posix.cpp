// The block-size check against the virtual board over a pseudo-terminal: the
// board answers the raw NAND flash method with its block-size code.
#include <gtest/gtest.h>

#include "rom/nand_block_size.h"
#include "rom/rom_messages.h"
#include "rom_test_support.h"
#include "virtual_board.h"

namespace zorbel {
namespace {

using romtest::Le32;
using romtest::NandFile;
using romtest::ReadFileBytes;

class NandCheckBoardTest : public romtest::RomFolder {};

TEST_F(NandCheckBoardTest, BoardCodeDecides) {
  struct Case {
    std::string label;
    uint8_t code;
    uint32_t fileBlockSize;
    bool answer;
    int result;
    uint32_t count;
    std::vector<std::string> messages;
    bool asked;
    uint32_t blockSizeAfter;
  };
  const Case cases[] = {
      {"match 16k", 1, 16384, true, 1, 1, {}, false, 16384},
      {"match 256k", 3, 262144, true, 1, 1, {}, false, 262144},
      {"board error code", 0xFF, 16384, true, 0, 0, {rom_text::kBlockSizeError}, false, 16384},
      {"unknown code", 7, 16384, true, 0, 0, {rom_text::kUnknownBlockSize}, false, 16384},
      {"mismatch declined", 2, 16384, false, 0, 0, {}, true, 16384},
      {"mismatch converted", 2, 16384, true, 1, 1, {rom_text::kConvertSuccess}, true, 131072},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    sim::BoardOptions o;
    o.kind = sim::BoardKind::kVcom;
    o.startInLoaderStage = true;
    o.nandBlockSizeCode = c.code;
    sim::VirtualBoard board(o);
    const std::string path = File("rom.bin", NandFile(c.fileBlockSize, {1000}, 1));
    SerialPort port;
    RecordingPrompt prompt(c.answer);
    const auto r = NandBlockSizeCheck(path, board.PtyPath(), port, prompt);
    EXPECT_EQ(r.result, c.result);
    EXPECT_EQ(r.imageCount, c.count);
    EXPECT_EQ(prompt.Messages(), c.messages);
    EXPECT_EQ(prompt.Questions().size(), c.asked ? 1u : 0u);
    if (c.asked) {
      EXPECT_EQ(prompt.Questions()[0], rom_text::kBlockSizeMismatch);
    }
    EXPECT_EQ(board.LastMethod(), 4);
    EXPECT_FALSE(port.IsOpen());
    const auto after = ReadFileBytes(path);
    EXPECT_EQ(Le32(after, 8), c.blockSizeAfter);
    // Untouched, or exactly the file built for the board's block size.
    EXPECT_EQ(after, NandFile(c.blockSizeAfter, {1000}, 1));
  }
}

}  // namespace
}  // namespace zorbel
