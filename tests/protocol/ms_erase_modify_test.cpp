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
  for (const auto& row : LoadTable("protocol/nand_erase_all.tsv")) {
    SCOPED_TRACE(row[1]);
    sim::BoardOptions o = DiskOptions(row[0] == "older" ? kOlder : kQuen, nullptr);
    o.nandBlockCount = CellNumber(row[1]);
    DiskRig rig(o, false);
    EXPECT_EQ(MsErase(rig.ctx, Medium::kNand, EraseChoice::kAll), 1);
    EXPECT_EQ(EventsText(rig.progress), row[3]);
    const size_t lastAt = row[0] == "older" ? 32 : 48;
    std::string ranges;
    for (const auto& head : rig.Commands(kWriterProcess)) {
      ASSERT_EQ(head.sent.size(), 60u);
      EXPECT_EQ(std::vector<uint8_t>(head.sent.begin(), head.sent.begin() + 12), LeWords({2, 0, 0xFFFFFFFF}));
      ranges += (ranges.empty() ? "" : " ") + std::to_string(Le32(head.sent, lastAt + 4)) + "-" +
                std::to_string(Le32(head.sent, lastAt));
    }
    EXPECT_EQ(ranges, row[2]);
  }
}

TEST(MsSpiEraseAllTest, PollsOnceASecondHoldingAt99UntilTheBoardIsDoneOrTenMinutesPassed) {
  for (const uint32_t busyPolls : {150u, 1000000u}) {
    sim::BoardOptions o = DiskOptions(kQuen, nullptr);
    o.spiEraseBusyPolls = busyPolls;
    DiskRig rig(o, false);
    const bool done = busyPolls == 150;
    EXPECT_EQ(MsErase(rig.ctx, Medium::kSpi, EraseChoice::kAll), done ? 1 : 0);
    std::vector<int> expected = {0};
    for (int i = 1; i <= 99; ++i) expected.push_back(i);
    if (done) expected.push_back(100);
    EXPECT_EQ(rig.Percents(), expected);
    EXPECT_EQ(rig.clock.NowMs(), done ? 150000u : 600000u);
    EXPECT_EQ(rig.Commands(kGetLastStatus).size(), done ? 151u : 601u);
    EXPECT_EQ(rig.Commands(kGetLastStatus).back().selector, 2);
    EXPECT_TRUE(rig.prompt.Messages().empty());
  }
}

TEST(MsCommandTest, EraseAndModifySendTheirHeadsOnTheirUnitAndPoll) {
  for (const auto& row : LoadTable("protocol/ms_commands.tsv")) {
    SCOPED_TRACE(row[0]);
    DiskRig rig(row[1] == "older" ? kOlder : kQuen);
    const Medium medium = MediumNamed(row[3]);
    rig.File("img.bin", Pattern(5000));
    rig.ctx.head.imageNumber = "6";
    ASSERT_EQ(MsWriteImage(rig.ctx, medium, DataKind::kImage), 1);
    rig.commands.clear();
    RecordingProgress progress;
    rig.ctx.progress = &progress;
    int result = 0;
    if (row[2] == "erase") {
      result = MsErase(rig.ctx, medium, ChoiceNamed(row[4]));
    } else {
      rig.ctx.head.imageType = CellNumber(row[4]);
      result = MsModifyImage(rig.ctx, medium);
    }
    EXPECT_EQ(result, 1) << ::testing::PrintToString(rig.board.ProtocolErrors());
    const auto head = rig.Commands(kWriterProcess).at(0);
    EXPECT_EQ(head.unit, CellNumber(row[5]));
    EXPECT_EQ(head.selector, CellNumber(row[6]));
    EXPECT_EQ(head.sent, CellBytes(row[7]));
    EXPECT_EQ(EventsText(progress), row[8]);
    EXPECT_EQ(rig.Commands(kGetLastStatus).size(), CellNumber(row[9]));
    EXPECT_EQ(MessagesText(rig.prompt), row[10]);
    if (row[2] == "erase" && row[4] != "system") {
      EXPECT_FALSE(rig.board.FindImage(SimMedium(medium), 6).has_value());
    }
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
      {"Nand16", kQuen, Medium::kNand, "16", false, {{0, {0x10, 0, 0, 0}}}, 0x41F},
      {"SdFamilyFormats", kQuen, Medium::kSd, "300", true, {{4, {1, 0}}, {1, {0x2C, 0x01, 0, 0}}}, 0x420},
      {"SdOlderChipSizeOnly", kOlder, Medium::kSd, "8", true, {{1, {8, 0, 0, 0}}}, 0x420},
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

void WithFile(DiskRig& rig) {
  rig.File("image.bin", Pattern(150000, 5));
  rig.ctx.head.imageNumber = "3";
}

std::vector<MsOperation> Operations() {
  using enum sim::Operation;
  using Board = sim::Medium;
  constexpr auto kNor = Medium::kNor, kNand = Medium::kNand, kSpi = Medium::kSpi, kSd = Medium::kSd;
  constexpr auto kImg = DataKind::kImage, kRaw = DataKind::kRaw;
  using Erase = EraseChoice;
  const std::vector<std::string> update = {texts::kUpdateError};
  const auto none = [](DiskRig&) {};
  const auto burnt = [](Medium m, DataKind k) {
    return [m, k](DiskRig& r) {
      WithFile(r);
      ASSERT_EQ(MsWriteImage(r.ctx, m, k), 1);
    };
  };
  const auto write = [](auto m, auto k) { return [=](DiskRig& r) { return MsWriteImage(r.ctx, m, k); }; };
  const auto verify = [](auto m, auto k) { return [=](DiskRig& r) { return MsVerify(r.ctx, m, k); }; };
  const auto erase = [](auto m, auto e) { return [=](DiskRig& r) { return MsErase(r.ctx, m, e); }; };
  const auto reserved = [](auto m) { return [m](DiskRig& r) { return MsSetReservedArea(r.ctx, m); }; };
  const auto size4 = [](DiskRig& r) { r.ctx.head.reservedSize = "4"; };
  const auto earlierFile = [](DiskRig& r) { r.File("back.bin", {1, 2, 3}); };
  const auto readBack = [](DiskRig& r) { return MsReadRawSpi(r.ctx, 3 * 65536); };
  const auto download = [](DiskRig& r) { return MsDownloadSdram(r.ctx); };
  const auto modify = [](DiskRig& r) { return MsModifyImage(r.ctx, Medium::kNand); };
  return {
      {"WriteNand", kBurn, Board::kNand, WithFile, write(kNand, kImg), update},
      {"WriteRawSpi", kBurn, Board::kSpi, WithFile, write(kSpi, kRaw), update},
      {"WriteSd", kBurn, Board::kSd, WithFile, write(kSd, kImg), update},
      {"VerifyNand", kVerify, Board::kNand, burnt(kNand, kImg), verify(kNand, kImg), {}},
      {"VerifyRawNor", kVerify, Board::kNor, burnt(kNor, kRaw), verify(kNor, kRaw), {}},
      {"ReadRawSpi", kVerify, Board::kSpi, earlierFile, readBack, {}},
      {"DownloadSdram", kDownload, Board::kSdram, WithFile, download, update},
      {"ModifyNand", kModify, Board::kNand, burnt(kNand, kImg), modify, {}, false, {texts::kModifyError}},
      {"EraseNandImage", kErase, Board::kNand, burnt(kNand, kImg), erase(kNand, Erase::kImage), {}, false},
      {"EraseNandAll", kErase, Board::kNand, none, erase(kNand, Erase::kAll), {}},
      {"EraseSpiAll", kErase, Board::kSpi, none, erase(kSpi, Erase::kAll), {}, false},
      {"ReservedNand", kParameter, Board::kAny, size4, reserved(kNand), {}, false},
      {"ReservedSd", kParameter, Board::kAny, size4, reserved(kSd), {}},
  };
}

enum class MsFault { kHeadFails, kDataCommandFails, kStatusErrorBits, kStatusFails, kDisconnect };

// Operations a fault cannot reach succeed; the rest must fail the way the
// table says, leave every file as it was and show only their own message.
TEST(MsFaultMatrixTest, EveryOperationFailsCleanlyOnEveryFault) {
  const std::pair<const char*, MsFault> faults[] = {{"HeadFails", MsFault::kHeadFails},
                                                    {"DataCommandFails", MsFault::kDataCommandFails},
                                                    {"StatusErrorBits", MsFault::kStatusErrorBits},
                                                    {"StatusFails", MsFault::kStatusFails},
                                                    {"Disconnect", MsFault::kDisconnect}};
  for (const MsOperation& op : Operations()) {
    for (const auto& [faultName, fault] : faults) {
      SCOPED_TRACE(std::string(op.name) + "/" + faultName);
      DiskRig rig;
      op.setUp(rig);
      const auto filesBefore = rig.dir.Contents();
      const bool movesData = !op.dataFailure.empty() || op.operation == sim::Operation::kVerify;
      const bool readsStatus = std::string(op.name) != "VerifyNand" &&
                               std::string(op.name) != "VerifyRawNor" && std::string(op.name) != "ReadRawSpi";
      bool reachable = true;
      std::vector<std::string> messages;
      switch (fault) {
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
      EXPECT_EQ(rig.dir.Contents(), filesBefore);
    }
  }
}

}  // namespace
}  // namespace zorbel::testing
