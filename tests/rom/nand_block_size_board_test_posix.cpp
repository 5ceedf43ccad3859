// The block-size check against the virtual board over a pseudo-terminal: the
// board answers the raw NAND flash method with its block-size code.
#include <gtest/gtest.h>

#include "app/test_table.h"
#include "rom/nand_block_size.h"
#include "rom/rom_messages.h"
#include "rom_test_support.h"
#include "virtual_board.h"

namespace zorbel {
namespace {

using romtest::NandFile;
using romtest::ReadFileBytes;

class NandCheckBoardTest : public romtest::RomFolder {};

TEST_F(NandCheckBoardTest, BoardCodeDecides) {
  for (const auto& row : testing::LoadTable("rom/nand_board_checks.tsv")) {
    SCOPED_TRACE(row[0]);
    sim::BoardOptions o;
    o.kind = sim::BoardKind::kVcom;
    o.startInLoaderStage = true;
    o.nandBlockSizeCode = static_cast<uint8_t>(std::stoul(row[1], nullptr, 0));
    sim::VirtualBoard board(o);
    const std::string path = File("rom.bin", NandFile(static_cast<uint32_t>(std::stoul(row[2])), {1000}, 1));
    SerialPort port;
    RecordingPrompt prompt(row[3] == "yes");
    const auto r = NandBlockSizeCheck(path, board.PtyPath(), port, prompt);
    EXPECT_EQ(r.result, std::stoi(row[4]));
    EXPECT_EQ(r.imageCount, std::stoul(row[5]));
    EXPECT_EQ(prompt.Messages(),
              row[6].empty() ? std::vector<std::string>{} : std::vector<std::string>{row[6]});
    EXPECT_EQ(prompt.Questions(), row[7] == "yes" ? std::vector<std::string>{rom_text::kBlockSizeMismatch}
                                                  : std::vector<std::string>{});
    EXPECT_EQ(board.LastMethod(), 4);
    EXPECT_FALSE(port.IsOpen());
    // Untouched, or exactly the file built for the board's block size.
    EXPECT_EQ(ReadFileBytes(path), NandFile(static_cast<uint32_t>(std::stoul(row[8])), {1000}, 1));
  }
}

}  // namespace
}  // namespace zorbel
