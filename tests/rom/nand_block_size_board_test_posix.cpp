// The block-size check against the virtual board over a pseudo-terminal: the
// board answers the raw NAND flash method with its block-size code, and is
// asked only for a NAND ROM file when connected over VCOM.
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

TEST_F(NandCheckBoardTest, BoardCodeDecidesAndOnlyARomFileOverVcomAsksIt) {
  for (const auto& row : testing::LoadTable("rom/nand_board_checks.tsv")) {
    SCOPED_TRACE(row[0]);
    sim::BoardOptions o;
    o.kind = sim::BoardKind::kVcom;
    o.startInLoaderStage = true;
    o.nandBlockSizeCode = static_cast<uint8_t>(std::stoul(row[1], nullptr, 0));
    sim::VirtualBoard board(o);
    std::vector<uint8_t> file(row[2].begin(), row[2].end());
    if (row[2] == "rom") file = NandFile(static_cast<uint32_t>(std::stoul(row[3])), {1000}, 1);
    if (row[2] == "none") file.clear();
    const std::string path = row[2] == "none" ? Path("none.bin") : File("rom.bin", file);
    const std::string port = row[4] == "board" ? board.PtyPath() : row[4] == "none" ? "" : row[4];
    SerialPort serial;
    RecordingPrompt prompt(row[5] == "yes");
    const auto r = NandBlockSizeCheck(path, port, serial, prompt);
    EXPECT_EQ(r.result, std::stoi(row[6]));
    EXPECT_EQ(r.imageCount, std::stoul(row[7]));
    EXPECT_EQ(prompt.Messages(),
              row[8].empty() ? std::vector<std::string>{} : std::vector<std::string>{row[8]});
    EXPECT_EQ(prompt.Questions(), row[9] == "yes" ? std::vector<std::string>{rom_text::kBlockSizeMismatch}
                                                  : std::vector<std::string>{});
    EXPECT_EQ(board.LastMethod(), std::stoi(row[10]));
    EXPECT_FALSE(serial.IsOpen());
    // Untouched, or exactly the file built for the board's block size.
    if (!row[11].empty()) file = NandFile(static_cast<uint32_t>(std::stoul(row[11])), {1000}, 1);
    EXPECT_EQ(ReadFileBytes(path), file);
  }
}

}  // namespace
}  // namespace zorbel
