// Every VCOM operation and table read over a real pseudo-terminal to the
// virtual board.
#include "protocol/vcom_operations.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "protocol/protocol_texts.h"
#include "protocol/records.h"
#include "protocol/table_read.h"
#include "protocol_fixture.h"
#include "rom/rom_test_support.h"

namespace zorbel::testing {
namespace {

// The board stores a download after acknowledging its last chunk, on its own
// thread; wait for it to have done so.
template <typename F>
bool Eventually(F condition) {
  for (int i = 0; i < 500 && !condition(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return condition();
}

int Burn(VcomRig& rig, Medium medium, DataKind kind) {
  return kind == DataKind::kImage ? VcomBurnImage(rig.ctx, medium) : VcomBurnRaw(rig.ctx, medium);
}

TEST(VcomWireTest, EveryCommandSendsItsHeadAndShowsItsProgress) {
  for (const auto& row : LoadTable("protocol/vcom_commands.tsv")) {
    SCOPED_TRACE(row[0]);
    VcomRig rig;
    const auto data = Pattern(CellNumber(row[6]), 4);
    rig.File("burn.bin", data);
    rig.ctx.head.imageNumber = "12";
    rig.ctx.head.imageName = "thirty-two-characters-long-name!";
    rig.ctx.head.executeAddress = "30008000";
    rig.ctx.head.start = "4";
    rig.ctx.head.address = row[5];
    const std::string& operation = row[1];
    const Medium medium = operation == "sdram" ? Medium::kNor : MediumNamed(row[2]);
    if (operation == "erase" || operation == "modify") {
      ASSERT_EQ(VcomBurnImage(rig.ctx, medium), 1);  // something to erase or modify
    }
    RecordingProgress progress;
    rig.ctx.progress = &progress;
    rig.ctx.head.imageType = CellNumber(row[4]);
    const size_t fds = ToolDescriptors(rig.board);
    int result = 0;
    if (operation == "sdram") {
      rig.ctx.head.mode = CellNumber(row[3]);
      result = VcomDownloadSdram(rig.ctx);
    } else if (operation == "burn") {
      result = row[3] == "raw" ? VcomBurnRaw(rig.ctx, medium) : VcomBurnImage(rig.ctx, medium);
    } else if (operation == "erase") {
      result = VcomErase(rig.ctx, medium, ChoiceNamed(row[3]));
    } else {
      rig.ctx.head.imageNumber = row[3];
      result = VcomModifyImage(rig.ctx, medium);
    }
    EXPECT_EQ(result, static_cast<int>(CellNumber(row[8])))
        << ::testing::PrintToString(rig.board.ProtocolErrors());
    EXPECT_EQ(rig.board.LastMethod(), CellNumber(row[7]));
    EXPECT_EQ(MessagesText(rig.prompt), row[9]);
    EXPECT_EQ(EventsText(progress), row[10]);
    EXPECT_EQ(ColoursText(progress), row[11]);  // a download leaves the page's colour
    const auto head = rig.board.LastHead();
    EXPECT_EQ(head, CellBytes(row[12]));
    EXPECT_EQ(rig.board.ProtocolErrors().empty(), result == 1);  // a missing image is the board's refusal
    EXPECT_FALSE(rig.port.IsOpen());
    EXPECT_EQ(ToolDescriptors(rig.board), fds);
    if (operation == "sdram") {
      const uint32_t address = Le32(head, 8);
      EXPECT_TRUE(Eventually([&] { return rig.board.Sdram(address & 0x7FFFFFFF, Le32(head, 4)) == data; }));
      if (address & kSdramRunFlag) {
        EXPECT_TRUE(Eventually([&] { return rig.board.RanAddress() == (address & 0x7FFFFFFF); }));
      } else {
        EXPECT_FALSE(rig.board.RanAddress().has_value());
      }
    } else if (operation == "burn") {
      EXPECT_EQ(rig.kept.length, data.size());
      const auto stored = row[3] == "raw" ? rig.board.Flash(SimMedium(medium), Le32(head, 8), Le32(head, 4))
                                          : rig.board.ImageData(SimMedium(medium), Le32(head, 8));
      EXPECT_EQ(stored, data);
    }
  }
}

TEST(VcomBurnTest, NorHeadKeepsPreviousValuesWhereTextsDoNotParse) {
  VcomRig rig;
  rig.File("a.bin", Pattern(100));
  rig.ctx.head = {};
  rig.ctx.head.imageNumber = "2";
  rig.ctx.head.executeAddress = "1000";
  rig.ctx.head.start = "20000";
  ASSERT_EQ(VcomBurnImage(rig.ctx, Medium::kNor), 1);
  rig.ctx.head.imageNumber = "3";
  rig.ctx.head.executeAddress = "zz";
  rig.ctx.head.start = "30000";
  ASSERT_EQ(VcomBurnImage(rig.ctx, Medium::kNor), 1) << ::testing::PrintToString(rig.board.ProtocolErrors());
  EXPECT_EQ(Le32(rig.board.LastHead(), 48), 0x1000u);
  EXPECT_EQ(rig.kept.number, 3u);
}

TEST(VcomBurnTest, RawNandSkipsTheRomFilesHeader) {
  VcomRig rig;
  rig.File("rom.bin", romtest::NandFile(16384, {1000, 16368}, 2, 1));  // blocks 1 and 2
  rig.ctx.head.imageCount = 2;
  ASSERT_EQ(VcomBurnRaw(rig.ctx, Medium::kNand), 1) << ::testing::PrintToString(rig.board.ProtocolErrors());
  EXPECT_EQ(rig.board.LastMethod(), 4);
  EXPECT_EQ(rig.board.LastHead(), LeWords({0, 0x8060, 2}));
  EXPECT_EQ(rig.board.ImageData(sim::Medium::kNand, 0), romtest::Pattern(1000, 0));
  EXPECT_EQ(rig.board.ImageData(sim::Medium::kNand, 1), romtest::Pattern(16368, 1));
  ASSERT_EQ(VcomVerify(rig.ctx, Medium::kNand, DataKind::kRaw), 1);
}

TEST(VcomBurnTest, BurnPhaseWordsEndOrFailByKind) {
  // One status word, 100 with 0x100 or'ed in: it ends an image burn; a raw burn reads it as 356 and waits on.
  for (const DataKind kind : {DataKind::kImage, DataKind::kRaw}) {
    sim::BoardOptions o = SerialOptions();
    o.progressStep = 100;
    VcomRig rig(o);
    rig.ctx.replyWaitMs = 300;
    rig.File("b.bin", Pattern(5000));
    rig.ctx.head.imageNumber = "1";
    rig.board.InjectFault(
        {sim::FaultKind::kStatusErrorBits, sim::Operation::kBurn, sim::Medium::kAny, 1, 0x164});
    const bool image = kind == DataKind::kImage;
    EXPECT_EQ(Burn(rig, Medium::kSpi, kind), image ? 1 : 0);
    EXPECT_EQ(MessagesText(rig.prompt), image ? "" : texts::kAckError);
    EXPECT_EQ(PercentsOf(rig.progress).back(), image ? 100 : 356);
    EXPECT_FALSE(rig.port.IsOpen());
  }
}

TEST(VcomVerifyTest, SameDataPassesOneDifferentByteFailsSilently) {
  for (const auto& row : LoadTable("protocol/vcom_verifies.tsv")) {
    const Medium medium = MediumNamed(row[1]);
    const DataKind kind = row[2] == "raw" ? DataKind::kRaw : DataKind::kImage;
    const size_t size = CellNumber(row[3]);
    for (const size_t differentAt : {size_t{0}, size - 1, SIZE_MAX}) {
      VcomRig rig;
      auto data = Pattern(size, 8);
      rig.File("v image.bin", data);
      rig.ctx.head.imageNumber = "5";
      ASSERT_EQ(Burn(rig, medium, kind), 1);
      if (differentAt != SIZE_MAX) data[differentAt] ^= 0x80;
      rig.File("v image.bin", data);
      RecordingProgress verifyProgress;
      rig.ctx.progress = &verifyProgress;
      const bool same = differentAt == SIZE_MAX;
      EXPECT_EQ(VcomVerify(rig.ctx, medium, kind), same ? 1 : 0) << row[0] << differentAt;
      EXPECT_TRUE(rig.prompt.Messages().empty()) << row[0];
      EXPECT_TRUE(rig.board.ProtocolErrors().empty()) << ::testing::PrintToString(rig.board.ProtocolErrors());
      EXPECT_EQ(Le32(rig.board.LastHead(), 0), 3u);
      EXPECT_EQ(verifyProgress.Colours(), std::vector<uint32_t>{0x46BEEC});
      EXPECT_EQ(verifyProgress.Events().front().percent, 0);
      if (same) {
        EXPECT_EQ(verifyProgress.Events().back().percent, 100);
      }
      if (same && medium == Medium::kNand) {
        EXPECT_EQ(ReadFileBytes(rig.dir.File("_v image.bin")), data) << row[0];
        EXPECT_EQ(rig.dir.Names(), (std::vector<std::string>{"_v image.bin", "v image.bin"}));
      }
      EXPECT_FALSE(rig.port.IsOpen());
    }
  }
}

TEST(VcomRefusalTest, FilesWithoutDataOrOfAnotherLengthThanTheLastBurnAreRefusedBeforeTheHead) {
  for (const auto& row : LoadTable("protocol/vcom_refusals.tsv")) {
    SCOPED_TRACE(row[0] + " " + row[4]);
    VcomRig rig;
    rig.ctx.head.imageNumber = "1";
    const Medium medium = MediumNamed(row[1]);
    const DataKind kind = row[2] == "raw" ? DataKind::kRaw : DataKind::kImage;
    if (CellNumber(row[3]) > 0) {
      rig.File("a.bin", Pattern(CellNumber(row[3])));
      ASSERT_EQ(Burn(rig, medium, kind), 1);
    }
    const auto burnHead = rig.board.LastHead();
    rig.File("b.bin", Pattern(CellNumber(row[5])));
    EXPECT_EQ(row[4] == "burn" ? Burn(rig, medium, kind) : VcomVerify(rig.ctx, medium, kind), 0);
    EXPECT_EQ(rig.prompt.Messages(), std::vector<std::string>{row[6]});
    EXPECT_EQ(rig.board.LastHead(), burnHead);
    EXPECT_FALSE(rig.port.IsOpen());
  }
}

TEST(VcomPortTest, NoPortNameSaysNothingAMissingPortSaysWhichAndABadTableSaysSo) {
  VcomRig rig;
  rig.File("x.bin", Pattern(10));
  rig.ctx.portName.clear();
  EXPECT_EQ(VcomDownloadSdram(rig.ctx), 0);
  EXPECT_TRUE(rig.prompt.Messages().empty());
  const std::string missing = rig.dir.File("no-such-port");
  rig.ctx.portName = missing;
  EXPECT_EQ(VcomErase(rig.ctx, Medium::kNor, EraseChoice::kAll), 0);
  std::vector<TableEntry> rows{TableEntry{}};
  EXPECT_EQ(ReadImageTableVcom(rig.port, missing, Medium::kSpi, &rig.prompt, rows), TableRead::kEmptied);
  EXPECT_TRUE(rows.empty());
  rig.board.InjectFault({sim::FaultKind::kHugeTableCount, sim::Operation::kReadTable, sim::Medium::kNand});
  EXPECT_EQ(
      ReadImageTableVcom(rig.port, rig.board.PtyPath(), Medium::kNand, &rig.prompt, rows, nullptr, 2000),
      TableRead::kEmptied);
  EXPECT_EQ(rig.prompt.Messages(),
            (std::vector<std::string>{"Failed to open " + missing, "Failed to open " + missing,
                                      table_text::kReadTableError}));
  EXPECT_FALSE(rig.port.IsOpen());
}

// Sets the abort event as the page's Abort button would, at the first
// progress report, that is between two chunks.
class AbortingProgress final : public ProgressSink {
 public:
  AbortingProgress(AbortEvent& abort, SerialPort* closeAlso) : abort_(abort), port_(closeAlso) {}
  void Progress(uint32_t, int percent) override {
    reports_.push_back(percent);
    if (reports_.size() == 1) {
      if (port_ != nullptr) port_->Close();
      abort_.Set();
    }
  }
  std::vector<int> reports_;

 private:
  AbortEvent& abort_;
  SerialPort* port_;
};

TEST(VcomAbortTest, AbortBetweenChunksEndsAtTheNextChunkWithoutAMessage) {
  for (const bool closePort : {false, true}) {
    VcomRig rig;
    rig.File("big.bin", Pattern(4096 * 100));
    AbortingProgress progress(rig.abort, closePort ? &rig.port : nullptr);
    rig.ctx.progress = &progress;
    EXPECT_EQ(VcomDownloadSdram(rig.ctx), 0);
    EXPECT_EQ(progress.reports_, std::vector<int>{5});
    EXPECT_TRUE(rig.prompt.Messages().empty());
    EXPECT_FALSE(rig.port.IsOpen());
  }
}

TEST(VcomAbortThreadsTest, CloseFromAnotherThreadEndsABurnPhaseWithoutAMessage) {
  sim::BoardOptions o = SerialOptions();
  o.stepDelayMs = 3000;  // the board programs for a while
  VcomRig rig(o);
  rig.ctx.replyWaitMs = 10000;
  rig.File("b.bin", Pattern(5000));
  int result = -1;
  std::thread worker([&] { result = VcomBurnRaw(rig.ctx, Medium::kSpi); });
  // Wait until the burn phase started (its red colour), then press Abort.
  while (rig.progress.Colours().size() < 2) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  rig.port.Close();
  rig.abort.Set();
  worker.join();
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(rig.prompt.Messages().empty());
}

// --- every VCOM operation against every fault of the board ---

// The operations of vcom_faults.tsv, on a file of three chunks and a bit;
// verify, erase and modify run on that file burnt first.
void PrepareOperation(VcomRig& rig, const std::string& name) {
  rig.File("op.bin", Pattern(3 * 4096 + 100, 3));
  rig.ctx.head.imageNumber = "2";
  if (name == "VerifyNandImage" || name == "EraseNandImage" || name == "ModifyNand") {
    ASSERT_EQ(VcomBurnImage(rig.ctx, Medium::kNand), 1);
  }
}

int RunOperation(VcomRig& rig, const std::string& name) {
  if (name == "DownloadSdram") return VcomDownloadSdram(rig.ctx);
  if (name == "BurnNandImage") return VcomBurnImage(rig.ctx, Medium::kNand);
  if (name == "BurnRawSpi") return VcomBurnRaw(rig.ctx, Medium::kSpi);
  if (name == "VerifyNandImage") return VcomVerify(rig.ctx, Medium::kNand, DataKind::kImage);
  if (name == "EraseNandImage") return VcomErase(rig.ctx, Medium::kNand, EraseChoice::kImage);
  return VcomModifyImage(rig.ctx, Medium::kNand);
}

// Acknowledgements and disconnects hit the second chunk, error bits the first status word.
void InjectFault(VcomRig& rig, const std::string& fault, sim::Operation operation) {
  using enum sim::FaultKind;
  if (fault == "ShortAck") rig.board.InjectFault({kShortChunkAck, operation, sim::Medium::kAny, 2, 0});
  if (fault == "WrongAck") rig.board.InjectFault({kWrongChunkAck, operation, sim::Medium::kAny, 2, 0});
  if (fault == "ErrorBits") rig.board.InjectFault({kStatusErrorBits, operation, sim::Medium::kAny, 1, 0});
  if (fault == "ChooseMethodFails") {
    rig.board.InjectFault({kFailCommand, sim::Operation::kChooseMethod, sim::Medium::kAny, 1, 100});
  }
  if (fault == "Disconnect") rig.board.InjectFault({kDisconnectAtChunk, operation, sim::Medium::kAny, 2, 0});
  if (fault == "Abort") rig.abort.Set();
}

TEST(VcomFaultMatrixTest, EveryOperationFailsCleanlyOnEveryFault) {
  const auto table = LoadTable("protocol/vcom_faults.tsv");
  const TableRow& faults = table.at(0);
  for (size_t row = 1; row < table.size(); ++row) {
    const std::string& name = table[row][0];
    for (size_t column = 2; column < faults.size(); ++column) {
      SCOPED_TRACE(name + "/" + faults[column]);
      VcomRig rig;  // the rig's reply wait: a loaded machine can take longer than half a second
      PrepareOperation(rig, name);
      RecordingPrompt prompt;
      rig.ctx.prompt = &prompt;
      const auto files = rig.dir.Names();
      InjectFault(rig, faults[column], BoardOperationNamed(table[row][1]));
      const size_t fds = ToolDescriptors(rig.board);
      const int result = RunOperation(rig, name);
      EXPECT_FALSE(rig.port.IsOpen());
      EXPECT_EQ(ToolDescriptors(rig.board), fds);
      const std::string& expected = table[row][column];
      if (expected.starts_with("? | ")) {
        // The operation goes on after the board refused the method; the board then decides.
        ASSERT_FALSE(prompt.Messages().empty());
        EXPECT_EQ(prompt.Messages().front(), expected.substr(4));
        continue;
      }
      EXPECT_EQ(OutcomeText(result, prompt), expected);
      // Only the NAND verify leaves a file: its copy of what arrived.
      auto expectedFiles = files;
      if (name == "VerifyNandImage") expectedFiles.insert(expectedFiles.begin(), "_op.bin");
      EXPECT_EQ(rig.dir.Names(), expectedFiles);
    }
  }
}

}  // namespace
}  // namespace zorbel::testing
