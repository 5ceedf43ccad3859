// Erase, modify and reserved area over the disk, and every disk operation
// against the faults the virtual board injects.
#include <gtest/gtest.h>

#include "protocol/ms_operations.h"
#include "protocol_fixture.h"

namespace zorbel::testing {
namespace {

TEST(MsNandEraseAllTest, ErasesInRunsOf256BlocksWithEvenProgress) {
  for (const auto& row : LoadTable("protocol/nand_erase_all.tsv")) {
    SCOPED_TRACE(row[1]);
    sim::BoardOptions o = DiskOptions(row[0] == "older" ? kOlder : kQuen);
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
    sim::BoardOptions o = DiskOptions(kQuen);
    o.spiEraseBusyPolls = busyPolls;
    DiskRig rig(o, false);
    const bool done = busyPolls == 150;
    EXPECT_EQ(MsErase(rig.ctx, Medium::kSpi, EraseChoice::kAll), done ? 1 : 0);
    std::vector<int> expected = {0};
    for (int i = 1; i <= 99; ++i) expected.push_back(i);
    if (done) expected.push_back(100);
    EXPECT_EQ(PercentsOf(rig.progress), expected);
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
  for (const auto& row : LoadTable("protocol/reserved_areas.tsv")) {
    SCOPED_TRACE(row[0]);
    DiskRig rig(row[1] == "older" ? kOlder : kQuen);
    rig.ctx.head.reservedSize = row[3];
    rig.ctx.head.sdFormat = row[4] == "1";
    EXPECT_EQ(MsSetReservedArea(rig.ctx, MediumNamed(row[2])), 1);
    std::string sent;
    for (const auto& p : rig.Commands(kSetParameter)) {
      sent += (sent.empty() ? "" : " | ") + std::to_string(p.selector) + ":";
      for (const uint8_t byte : p.sent) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02x", byte);
        sent += hex;
      }
    }
    EXPECT_EQ(sent, row[5]);
    EXPECT_EQ(EventsText(rig.progress), row[6]);
    EXPECT_EQ(rig.clock.NowMs(), 100u);
  }
}

// The operations of ms_faults.tsv: writes and downloads of a 150 000-byte
// file; verify, modify and one-image erase of that file written first; a
// read-back over an earlier file of that name; reserved areas of 4 MB.
void PrepareOperation(DiskRig& rig, const std::string& name) {
  rig.ctx.head.reservedSize = "4";
  if (name == "ReadRawSpi") rig.File("back.bin", {1, 2, 3});
  if (name == "ReadRawSpi" || name.starts_with("Reserved") || name.ends_with("All")) return;
  rig.File("image.bin", Pattern(150000, 5));
  rig.ctx.head.imageNumber = "3";
  if (name == "VerifyRawNor") {
    ASSERT_EQ(MsWriteImage(rig.ctx, Medium::kNor, DataKind::kRaw), 1);
  } else if (name == "VerifyNand" || name == "ModifyNand" || name == "EraseNandImage") {
    ASSERT_EQ(MsWriteImage(rig.ctx, Medium::kNand, DataKind::kImage), 1);
  }
}

int RunOperation(DiskRig& rig, const std::string& name) {
  if (name == "WriteNand") return MsWriteImage(rig.ctx, Medium::kNand, DataKind::kImage);
  if (name == "WriteRawSpi") return MsWriteImage(rig.ctx, Medium::kSpi, DataKind::kRaw);
  if (name == "WriteSd") return MsWriteImage(rig.ctx, Medium::kSd, DataKind::kImage);
  if (name == "VerifyNand") return MsVerify(rig.ctx, Medium::kNand, DataKind::kImage);
  if (name == "VerifyRawNor") return MsVerify(rig.ctx, Medium::kNor, DataKind::kRaw);
  if (name == "ReadRawSpi") return MsReadRawSpi(rig.ctx, 3 * 65536);
  if (name == "DownloadSdram") return MsDownloadSdram(rig.ctx);
  if (name == "ModifyNand") return MsModifyImage(rig.ctx, Medium::kNand);
  if (name == "EraseNandImage") return MsErase(rig.ctx, Medium::kNand, EraseChoice::kImage);
  if (name == "EraseNandAll") return MsErase(rig.ctx, Medium::kNand, EraseChoice::kAll);
  if (name == "EraseSpiAll") return MsErase(rig.ctx, Medium::kSpi, EraseChoice::kAll);
  return MsSetReservedArea(rig.ctx, name == "ReservedNand" ? Medium::kNand : Medium::kSd);
}

sim::Medium BoardMediumNamed(const std::string& name) {
  if (name == "any") return sim::Medium::kAny;
  return name == "sdram" ? sim::Medium::kSdram : SimMedium(MediumNamed(name));
}

void InjectFault(DiskRig& rig, const std::string& fault, sim::Operation operation, sim::Medium medium) {
  using enum sim::FaultKind;
  constexpr auto kStatus = sim::Operation::kStatus;
  if (fault == "HeadFails") rig.board.InjectFault({kFailCommand, operation, medium, 1, 0});
  if (fault == "DataCommandFails") rig.board.InjectFault({kFailCommand, operation, medium, 2, 0});
  if (fault == "StatusErrorBits") rig.board.InjectFault({kStatusErrorBits, kStatus, sim::Medium::kAny, 1, 0});
  if (fault == "StatusFails") rig.board.InjectFault({kFailCommand, kStatus, sim::Medium::kAny, 1, 1000});
  if (fault == "Disconnect") rig.board.InjectFault({kDisconnectAtChunk, operation, medium, 1, 0});
}

TEST(MsFaultMatrixTest, EveryOperationFailsCleanlyOnEveryFault) {
  const auto table = LoadTable("protocol/ms_faults.tsv");
  const TableRow& faults = table.at(0);
  for (size_t row = 1; row < table.size(); ++row) {
    const std::string& name = table[row][0];
    for (size_t column = 3; column < faults.size(); ++column) {
      SCOPED_TRACE(name + "/" + faults[column]);
      DiskRig rig;
      PrepareOperation(rig, name);
      const auto filesBefore = rig.dir.Contents();
      InjectFault(rig, faults[column], BoardOperationNamed(table[row][1]), BoardMediumNamed(table[row][2]));
      const int result = RunOperation(rig, name);
      EXPECT_EQ(OutcomeText(result, rig.prompt), table[row][column])
          << ::testing::PrintToString(rig.board.ProtocolErrors());
      if (result == 0) {
        EXPECT_EQ(rig.dir.Contents(), filesBefore);
      }
    }
  }
}

}  // namespace
}  // namespace zorbel::testing
