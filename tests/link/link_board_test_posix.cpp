// Both channels against the virtual board, which decodes with its own code:
// the command library over the socket transport, and the in-band flash-method
// request over the board's pseudo-terminal.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "app/clock.h"
#include "app/user_prompt.h"
#include "link/serial_port.h"
#include "link/updatepmp.h"
#include "virtual_board.h"

namespace zorbel {
namespace {

namespace fs = std::filesystem;
namespace msl = MassStorageLink;
using sim::BoardKind;
using sim::BoardOptions;
using sim::VirtualBoard;

// A disk board in virtual time, served on a socket in a folder of its own,
// and the command library's volume open on it.
class SocketBoard {
 public:
  explicit SocketBoard(bool loaderStage) {
    options.kind = BoardKind::kQuen;
    options.clock = &clock_;
    options.startInLoaderStage = loaderStage;
    options.checkLoaderTag = false;
    board = std::make_unique<VirtualBoard>(options);
    dir_ = fs::temp_directory_path() / ("zorbel-link-" + std::to_string(getpid()));
    fs::create_directories(dir_);
    const std::string path = (dir_ / "disk").string();
    if (board->ServeSocket(path)) disk = msl::OpenVolume("unix:" + path);
  }
  ~SocketBoard() {
    disk.reset();
    board.reset();
    fs::remove_all(dir_);
  }

  BoardOptions options;
  std::unique_ptr<VirtualBoard> board;
  std::unique_ptr<ScsiTransport> disk;

 private:
  FakeClock clock_;
  fs::path dir_;
};

TEST(LinkWithBoard, BootStageOverTheSocketLoadsAndRunsTheFirstStage) {
  SocketBoard b(/*loaderStage=*/false);
  ASSERT_NE(b.disk, nullptr);
  ScsiTransport* disk = b.disk.get();
  std::vector<uint8_t> scratch(msl::kBootDataLength);
  std::vector<uint8_t> stage(65536);
  for (size_t i = 0; i < stage.size(); ++i) stage[i] = static_cast<uint8_t>(i * 7);
  EXPECT_TRUE(msl::QueryBootStage(disk, 1, scratch.data()));
  EXPECT_TRUE(msl::SendSettingFirstWord(disk, 0x49, scratch.data()));
  EXPECT_TRUE(msl::SendSettingSecondWord(disk, 0x4A, scratch.data()));
  EXPECT_TRUE(msl::SetLoadAddress(disk, 0x30008000, scratch.data()));
  EXPECT_TRUE(msl::WriteFirstStage(disk, stage.data(), static_cast<uint32_t>(stage.size())));
  EXPECT_TRUE(msl::RunLoadedCode(disk, 1, scratch.data()));

  EXPECT_EQ(b.board->ProtocolErrors(), std::vector<std::string>{});
  EXPECT_EQ(b.board->LoadAddress(), 0x30008000u);
  EXPECT_EQ(b.board->LastLoader(), stage);
  EXPECT_EQ(b.board->RegisterWrites(), (std::vector<sim::BoardRegisterWrite>{{'R', 0x49}, {'S', 0x4A}}));
}

TEST(LinkWithBoard, LoaderStageCommandsReachTheBoardAsSent) {
  SocketBoard b(/*loaderStage=*/true);
  ASSERT_NE(b.disk, nullptr);
  ::testing::internal::CaptureStdout();
  uint8_t nandId[msl::kNandIdLength] = {};
  EXPECT_TRUE(msl::CMD_GetLastStatus(b.disk.get(), msl::kNandIdSelector, nandId));
  const uint8_t port = 1;
  uint32_t sent = 0;
  EXPECT_TRUE(msl::CMD_SetParameter(b.disk.get(), 5, &port, 1, &sent));
  ::testing::internal::GetCapturedStdout();

  EXPECT_EQ(std::vector<uint8_t>(nandId, nandId + 5),
            std::vector<uint8_t>(b.options.nandId.begin(), b.options.nandId.end()));
  EXPECT_EQ(sent, 1u);
  EXPECT_EQ(b.board->SdPort(), 1);
  EXPECT_EQ(b.board->ProtocolErrors(), std::vector<std::string>{});
}

TEST(LinkWithBoard, ChooseMethodOverTheBoardsSerialLine) {
  BoardOptions options;
  options.kind = BoardKind::kVcom;
  options.startInLoaderStage = true;
  options.nandBlockSizeCode = 3;
  VirtualBoard board(options);
  SerialPort port;
  ASSERT_EQ(port.Open(board.PtyPath(), 2048, 2048), 0u);
  ASSERT_EQ(port.SetupReadTimeouts(1, 10000), 0u);
  RecordingPrompt prompt;
  EXPECT_EQ(port.ChooseMethod(4, &prompt), 3);  // the NAND block-size code
  EXPECT_TRUE(prompt.Messages().empty());
  EXPECT_EQ(board.LastMethod(), 4);
  EXPECT_EQ(board.ProtocolErrors(), std::vector<std::string>{});
}

}  // namespace
}  // namespace zorbel
