// Erase, modify and reserved area over the disk, and every disk operation
// against the faults the virtual board injects.
#include <gtest/gtest.h>

#include <functional>

#include "protocol/ms_operations.h"
#include "protocol/protocol_texts.h"
#include "protocol_fixture.h"

namespace zorbel::testing {
namespace {

TEST(MsNandEraseAllTest, ErasesInRunsOf256BlocksWithEvenProgress) {
  struct Case {
    sim::BoardKind kind;
    uint32_t blocks;
    std::vector<std::pair<uint32_t, uint32_t>> ranges;  // first, last
    std::vector<int> percents;
  };
  const std::vector<Case> cases = {
      {sim::BoardKind::kQuen,
       1024,
       {{0, 255}, {256, 511}, {512, 767}, {768, 1023}},
       {0, 25, 50, 75, 100, 100}},
      {sim::BoardKind::kQuen,
       1000,
       {{0, 255}, {256, 511}, {512, 767}, {768, 1023}},
       {0, 25, 50, 75, 100, 100}},
      {sim::BoardKind::kQuen, 700, {{0, 255}, {256, 511}, {512, 767}}, {0, 33, 66, 99, 100}},
      {sim::BoardKind::kQuen, 0, {{0, 255}}, {0, 100, 100}},
      {sim::BoardKind::kOlder, 512, {{0, 255}, {256, 511}}, {0, 50, 100, 100}},
  };
  for (const Case& c : cases) {
    sim::BoardOptions o = DiskOptions(c.kind, nullptr);
    o.nandBlockCount = c.blocks;
    DiskRig rig(o, false);
    EXPECT_EQ(MsErase(rig.ctx, Medium::kNand, EraseChoice::kAll), 1)
        << c.blocks << ::testing::PrintToString(rig.board.ProtocolErrors());
    EXPECT_EQ(rig.Percents(), c.percents) << c.blocks;
    const auto heads = rig.Commands(kWriterProcess);
    ASSERT_EQ(heads.size(), c.ranges.size()) << c.blocks;
    const size_t lastAt = c.kind == sim::BoardKind::kOlder ? 32 : 48;
    for (size_t i = 0; i < heads.size(); ++i) {
      ASSERT_EQ(heads[i].sent.size(), 60u);  // both layouts travel as 60 bytes
      EXPECT_EQ(Le32(heads[i].sent, 0), 2u);
      EXPECT_EQ(Le32(heads[i].sent, 8), 0xFFFFFFFFu);
      EXPECT_EQ(Le32(heads[i].sent, lastAt), c.ranges[i].second);
      EXPECT_EQ(Le32(heads[i].sent, lastAt + 4), c.ranges[i].first);
    }
    EXPECT_EQ(rig.progress.Events().front().messageNumber, 0x40Cu);
  }
}

TEST(MsSpiEraseAllTest, PollsOnceASecondHoldingAt99UntilTheBoardIsDone) {
  sim::BoardOptions o = DiskOptions(sim::BoardKind::kQuen, nullptr);
  o.spiEraseBusyPolls = 150;
  DiskRig rig(o, false);
  EXPECT_EQ(MsErase(rig.ctx, Medium::kSpi, EraseChoice::kAll), 1);
  std::vector<int> expected = {0};
  for (int i = 1; i <= 99; ++i) expected.push_back(i);
  expected.push_back(100);
  EXPECT_EQ(rig.Percents(), expected);
  EXPECT_EQ(rig.clock.NowMs(), 150000u);
  EXPECT_EQ(rig.Commands(kGetLastStatus).size(), 151u);
  EXPECT_EQ(rig.Commands(kGetLastStatus).back().selector, 2);
}

TEST(MsSpiEraseAllTest, GivesUpAfterTenMinutes) {
  sim::BoardOptions o = DiskOptions(sim::BoardKind::kQuen, nullptr);
  o.spiEraseBusyPolls = 1000000;
  DiskRig rig(o, false);
  EXPECT_EQ(MsErase(rig.ctx, Medium::kSpi, EraseChoice::kAll), 0);
  EXPECT_EQ(rig.clock.NowMs(), 600000u);
  EXPECT_EQ(rig.Percents().back(), 99);
  EXPECT_TRUE(rig.prompt.Messages().empty());
}

TEST(MsEraseTest, OneImageSystemAreaAndCard) {
  struct Case {
    const char* name;
    sim::BoardKind kind;
    Medium medium;
    EraseChoice choice;
    uint32_t number;
    size_t headSize;
    uint8_t unit;
    uint8_t method;
    uint32_t message;
    size_t statusCalls;
  };
  const std::vector<Case> cases = {
      {"NandImage", sim::BoardKind::kQuen, Medium::kNand, EraseChoice::kImage, 6, 60, 0, 3, 0x40C, 1},
      {"NandImageOlderChip", sim::BoardKind::kOlder, Medium::kNand, EraseChoice::kImage, 6, 44, 0, 3, 0x40C,
       1},
      {"NandSystemArea", sim::BoardKind::kQuen, Medium::kNand, EraseChoice::kSystemArea, 0xFFFFEEEE, 60, 0, 3,
       0x40C, 0},
      {"SpiImage", sim::BoardKind::kQuen, Medium::kSpi, EraseChoice::kImage, 6, 60, 0, 5, 0x40A, 0},
      {"SdImage", sim::BoardKind::kQuen, Medium::kSd, EraseChoice::kImage, 6, 60, 3, 7, 0x41C, 1},
      {"SdAll", sim::BoardKind::kQuen, Medium::kSd, EraseChoice::kAll, 0xFFFFFFFF, 60, 3, 7, 0x41C, 1},
  };
  for (const Case& c : cases) {
    DiskRig rig(c.kind);
    rig.ctx.filePath = rig.dir.File("img.bin");
    WriteFileBytes(rig.ctx.filePath, Pattern(5000));
    rig.ctx.head.imageNumber = "6";
    ASSERT_EQ(MsWriteImage(rig.ctx, c.medium, DataKind::kImage), 1) << c.name;
    rig.commands.clear();
    RecordingProgress eraseProgress;
    rig.ctx.progress = &eraseProgress;
    EXPECT_EQ(MsErase(rig.ctx, c.medium, c.choice), 1)
        << c.name << ::testing::PrintToString(rig.board.ProtocolErrors());
    const auto head = rig.Commands(kWriterProcess).at(0);
    EXPECT_EQ(head.sent.size(), c.headSize) << c.name;
    EXPECT_EQ(head.unit, c.unit) << c.name;
    EXPECT_EQ(head.selector, c.method) << c.name;
    EXPECT_EQ(Le32(head.sent, 0), 2u);
    EXPECT_EQ(Le32(head.sent, 8), c.number) << c.name;
    EXPECT_EQ(eraseProgress.Events(),
              (std::vector<RecordingProgress::Event>{{c.message, 0}, {c.message, 100}}));
    EXPECT_EQ(rig.Commands(kGetLastStatus).size(), c.statusCalls) << c.name;
    if (c.choice != EraseChoice::kSystemArea) {
      const sim::Medium m = c.medium == Medium::kNand  ? sim::Medium::kNand
                            : c.medium == Medium::kSpi ? sim::Medium::kSpi
                                                       : sim::Medium::kSd;
      EXPECT_FALSE(rig.board.FindImage(m, 6).has_value()) << c.name;
    }
  }
}

TEST(MsModifyTest, TypeSitsWhereTheLayoutPutsItAndOnlyNandAndSdPoll) {
  struct Case {
    sim::BoardKind kind;
    Medium medium;
    size_t typeAt;
    size_t statusCalls;
  };
  for (const Case& c :
       {Case{sim::BoardKind::kQuen, Medium::kNand, 44, 1}, Case{sim::BoardKind::kOlder, Medium::kNand, 28, 1},
        Case{sim::BoardKind::kQuen, Medium::kSpi, 44, 0}, Case{sim::BoardKind::kQuen, Medium::kSd, 44, 1}}) {
    DiskRig rig(c.kind);
    rig.ctx.filePath = rig.dir.File("img.bin");
    WriteFileBytes(rig.ctx.filePath, Pattern(3000));
    rig.ctx.head.imageNumber = "9";
    rig.ctx.head.imageType = 0;
    ASSERT_EQ(MsWriteImage(rig.ctx, c.medium, DataKind::kImage), 1);
    rig.commands.clear();
    rig.ctx.head.imageType = 4;
    EXPECT_EQ(MsModifyImage(rig.ctx, c.medium), 1) << ::testing::PrintToString(rig.board.ProtocolErrors());
    EXPECT_EQ(rig.prompt.Messages(), std::vector<std::string>{texts::kModifyOk});
    const auto head = rig.Commands(kWriterProcess).at(0).sent;
    EXPECT_EQ(Le32(head, 0), 1u);
    EXPECT_EQ(Le32(head, 8), 9u);
    EXPECT_EQ(Le32(head, c.typeAt), 4u);
    EXPECT_EQ(rig.Commands(kGetLastStatus).size(), c.statusCalls);
  }
}

TEST(MsReservedAreaTest, SendsTheLowSixteenBitsAndTheFormatFlagOnlyForFamilies) {
  struct Case {
    const char* name;
    sim::BoardKind kind;
    Medium medium;
    const char* size;
    bool format;
    std::vector<std::pair<uint8_t, std::vector<uint8_t>>> parameters;  // selector, block
    uint32_t message;
  };
  const std::vector<Case> cases = {
      {"Nand16", sim::BoardKind::kQuen, Medium::kNand, "16", false, {{0, {0x10, 0, 0, 0}}}, 0x41F},
      {"SdFamilyFormats",
       sim::BoardKind::kQuen,
       Medium::kSd,
       "300",
       true,
       {{4, {1, 0}}, {1, {0x2C, 0x01, 0, 0}}},
       0x420},
      {"SdOlderChipSizeOnly", sim::BoardKind::kOlder, Medium::kSd, "8", true, {{1, {8, 0, 0, 0}}}, 0x420},
  };
  for (const Case& c : cases) {
    DiskRig rig(c.kind);
    rig.ctx.head.reservedSize = c.size;
    rig.ctx.head.sdFormat = c.format;
    EXPECT_EQ(MsSetReservedArea(rig.ctx, c.medium), 1)
        << c.name << ::testing::PrintToString(rig.board.ProtocolErrors());
    std::vector<std::pair<uint8_t, std::vector<uint8_t>>> sent;
    for (const auto& p : rig.Commands(kSetParameter)) sent.emplace_back(p.selector, p.sent);
    EXPECT_EQ(sent, c.parameters) << c.name;
    EXPECT_EQ(rig.progress.Events(), (std::vector<RecordingProgress::Event>{{c.message, 100}})) << c.name;
    EXPECT_EQ(rig.clock.NowMs(), 100u);
  }
}

TEST(MsReservedAreaTest, SeventyThousandReachesTheBoardAs4464) {
  DiskRig rig;
  rig.ctx.head.reservedSize = "70000";
  MsSetReservedArea(rig.ctx, Medium::kNand);  // the board judges the size
  ASSERT_EQ(rig.Commands(kSetParameter).size(), 1u);
  EXPECT_EQ(rig.Commands(kSetParameter)[0].sent, (std::vector<uint8_t>{0x70, 0x11, 0, 0}));
}

// --- every disk operation against every fault of the board ---

struct MsOperation {
  const char* name;
  sim::Operation operation;  // what the board counts the head as
  sim::Medium medium;
  std::function<void(DiskRig&)> setUp;
  std::function<int(DiskRig&)> run;
  // The message of a failing data command; none for the others.
  std::vector<std::string> dataFailure;
  // A second command of the same operation follows the first (a chunk, a range, a parameter).
  bool secondCommand = true;
  std::vector<std::string> headFailure = {};
};

void WithFile(DiskRig& rig, size_t size) {
  rig.ctx.filePath = rig.dir.File("image.bin");
  WriteFileBytes(rig.ctx.filePath, Pattern(size, 5));
  rig.ctx.head.imageNumber = "3";
}

void WithBurntImage(DiskRig& rig, Medium medium, DataKind kind) {
  WithFile(rig, 150000);
  ASSERT_EQ(MsWriteImage(rig.ctx, medium, kind), 1);
  rig.board.ClearFaults();
}

std::vector<MsOperation> Operations() {
  const std::vector<std::string> update = {texts::kUpdateError};
  return {
      {"WriteNand", sim::Operation::kBurn, sim::Medium::kNand, [](DiskRig& r) { WithFile(r, 150000); },
       [](DiskRig& r) { return MsWriteImage(r.ctx, Medium::kNand, DataKind::kImage); }, update},
      {"WriteRawSpi", sim::Operation::kBurn, sim::Medium::kSpi, [](DiskRig& r) { WithFile(r, 150000); },
       [](DiskRig& r) { return MsWriteImage(r.ctx, Medium::kSpi, DataKind::kRaw); }, update},
      {"WriteSd", sim::Operation::kBurn, sim::Medium::kSd, [](DiskRig& r) { WithFile(r, 150000); },
       [](DiskRig& r) { return MsWriteImage(r.ctx, Medium::kSd, DataKind::kImage); }, update},
      {"VerifyNand",
       sim::Operation::kVerify,
       sim::Medium::kNand,
       [](DiskRig& r) { WithBurntImage(r, Medium::kNand, DataKind::kImage); },
       [](DiskRig& r) { return MsVerify(r.ctx, Medium::kNand, DataKind::kImage); },
       {}},
      {"VerifyRawNor",
       sim::Operation::kVerify,
       sim::Medium::kNor,
       [](DiskRig& r) { WithBurntImage(r, Medium::kNor, DataKind::kRaw); },
       [](DiskRig& r) { return MsVerify(r.ctx, Medium::kNor, DataKind::kRaw); },
       {}},
      {"ReadRawSpi",
       sim::Operation::kVerify,
       sim::Medium::kSpi,
       [](DiskRig& r) { r.ctx.filePath = r.dir.File("back.bin"); },
       [](DiskRig& r) { return MsReadRawSpi(r.ctx, 3 * 65536); },
       {}},
      {"DownloadSdram", sim::Operation::kDownload, sim::Medium::kSdram,
       [](DiskRig& r) { WithFile(r, 150000); }, [](DiskRig& r) { return MsDownloadSdram(r.ctx); }, update},
      {"ModifyNand",
       sim::Operation::kModify,
       sim::Medium::kNand,
       [](DiskRig& r) { WithBurntImage(r, Medium::kNand, DataKind::kImage); },
       [](DiskRig& r) { return MsModifyImage(r.ctx, Medium::kNand); },
       {},
       false,
       {texts::kModifyError}},
      {"EraseNandImage",
       sim::Operation::kErase,
       sim::Medium::kNand,
       [](DiskRig& r) { WithBurntImage(r, Medium::kNand, DataKind::kImage); },
       [](DiskRig& r) { return MsErase(r.ctx, Medium::kNand, EraseChoice::kImage); },
       {},
       false},
      {"EraseNandAll",
       sim::Operation::kErase,
       sim::Medium::kNand,
       [](DiskRig&) {},
       [](DiskRig& r) { return MsErase(r.ctx, Medium::kNand, EraseChoice::kAll); },
       {}},
      {"EraseSpiAll",
       sim::Operation::kErase,
       sim::Medium::kSpi,
       [](DiskRig&) {},
       [](DiskRig& r) { return MsErase(r.ctx, Medium::kSpi, EraseChoice::kAll); },
       {},
       false},
      {"ReservedNand",
       sim::Operation::kParameter,
       sim::Medium::kAny,
       [](DiskRig& r) { r.ctx.head.reservedSize = "4"; },
       [](DiskRig& r) { return MsSetReservedArea(r.ctx, Medium::kNand); },
       {},
       false},
      {"ReservedSd",
       sim::Operation::kParameter,
       sim::Medium::kAny,
       [](DiskRig& r) { r.ctx.head.reservedSize = "4"; },
       [](DiskRig& r) { return MsSetReservedArea(r.ctx, Medium::kSd); },
       {}},
  };
}

enum class MsFault { kHeadFails, kDataCommandFails, kStatusErrorBits, kStatusFails, kDisconnect };

struct FaultCase {
  const char* name;
  MsFault fault;
};

// Operations a fault cannot reach succeed; the rest must fail the way the
// table says, leave no file behind and show only their own message.
TEST(MsFaultMatrixTest, EveryOperationFailsCleanlyOnEveryFault) {
  const std::vector<FaultCase> faults = {{"HeadFails", MsFault::kHeadFails},
                                         {"DataCommandFails", MsFault::kDataCommandFails},
                                         {"StatusErrorBits", MsFault::kStatusErrorBits},
                                         {"StatusFails", MsFault::kStatusFails},
                                         {"Disconnect", MsFault::kDisconnect}};
  for (const MsOperation& op : Operations()) {
    for (const FaultCase& f : faults) {
      SCOPED_TRACE(std::string(op.name) + "/" + f.name);
      DiskRig rig;
      op.setUp(rig);
      const auto filesBefore = rig.dir.Names();
      const bool movesData = !op.dataFailure.empty() || op.operation == sim::Operation::kVerify;
      const bool readsStatus = std::string(op.name) != "VerifyNand" &&
                               std::string(op.name) != "VerifyRawNor" && std::string(op.name) != "ReadRawSpi";
      bool reachable = true;
      std::vector<std::string> messages;
      switch (f.fault) {
        case MsFault::kHeadFails:
          rig.board.InjectFault({sim::FaultKind::kFailCommand, op.operation, op.medium, 1, 0});
          messages = op.headFailure;
          break;
        case MsFault::kDataCommandFails:
          reachable = op.secondCommand;
          rig.board.InjectFault({sim::FaultKind::kFailCommand, op.operation, op.medium, 2, 0});
          messages = op.dataFailure;
          break;
        case MsFault::kStatusErrorBits:
          reachable = readsStatus && std::string(op.name) != "EraseSpiAll";
          rig.board.InjectFault(
              {sim::FaultKind::kStatusErrorBits, sim::Operation::kStatus, sim::Medium::kAny, 1, 0});
          break;
        case MsFault::kStatusFails:
          reachable = readsStatus;
          rig.board.InjectFault(
              {sim::FaultKind::kFailCommand, sim::Operation::kStatus, sim::Medium::kAny, 1, 1000});
          break;
        case MsFault::kDisconnect:
          reachable = movesData;
          rig.board.InjectFault({sim::FaultKind::kDisconnectAtChunk, op.operation, op.medium, 1, 0});
          messages = op.dataFailure;
          break;
      }
      const int result = op.run(rig);
      EXPECT_EQ(result, reachable ? 0 : 1) << ::testing::PrintToString(rig.board.ProtocolErrors());
      if (!reachable) continue;
      EXPECT_EQ(rig.prompt.Messages(), messages);
      EXPECT_EQ(rig.dir.Names(), filesBefore);
    }
  }
}

}  // namespace
}  // namespace zorbel::testing
