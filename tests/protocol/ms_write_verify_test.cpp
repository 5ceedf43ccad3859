// Writes, verifies, read-backs and downloads over the disk, against the
// virtual board.
#include <gtest/gtest.h>

#include "protocol/ms_operations.h"
#include "protocol/protocol_texts.h"
#include "protocol_fixture.h"

namespace zorbel::testing {
namespace {

TEST(MsWriteTest, SendsHeadAndChunksAndTheBoardStoresTheFile) {
  for (const auto& row : LoadTable("protocol/ms_writes.tsv")) {
    SCOPED_TRACE(row[0]);
    DiskRig rig(row[1] == "older" ? kOlder : kQuen, /*keepChunks=*/true);
    const Medium medium = MediumNamed(row[2]);
    const bool image = row[3] == "image";
    const auto data = Pattern(CellNumber(row[4]));
    rig.File("image.bin", data);
    rig.ctx.head.imageNumber = "5";
    rig.ctx.head.imageType = CellNumber(row[5]);
    rig.ctx.head.executeAddress = "30008000";
    rig.ctx.head.start = "40";
    ASSERT_EQ(MsWriteImage(rig.ctx, medium, image ? DataKind::kImage : DataKind::kRaw), 1)
        << ::testing::PrintToString(rig.board.ProtocolErrors());
    EXPECT_TRUE(rig.prompt.Messages().empty());

    const auto heads = rig.Commands(kWriterProcess);
    ASSERT_EQ(heads.size(), 1u);
    EXPECT_EQ(heads[0].unit, CellNumber(row[7]));
    EXPECT_EQ(heads[0].selector, CellNumber(row[8]));
    EXPECT_EQ(heads[0].sent, CellBytes(row[10]));
    const uint32_t headLength = Le32(heads[0].sent, 4);
    std::string lengths;
    std::vector<uint8_t> stream;
    for (const auto& w : rig.Commands(kWriteFile)) {
      lengths += (lengths.empty() ? "" : " ") + std::to_string(w.length);
      EXPECT_EQ(w.unit, heads[0].unit);
      stream.insert(stream.end(), w.sent.begin(), w.sent.end());
    }
    EXPECT_EQ(lengths, row[6]);
    // Every chunk is followed by its percentage.
    ASSERT_EQ(rig.progress.Events().size(), rig.Commands(kWriteFile).size());
    EXPECT_EQ(rig.progress.Events().back(), (RecordingProgress::Event{CellNumber("0x" + row[9]), 100}));

    const auto prefix = static_cast<ptrdiff_t>(headLength - data.size());
    stream.resize(headLength);  // a one-byte chunk travels as two
    EXPECT_TRUE(std::equal(data.begin(), data.end(), stream.begin() + prefix));
    if (prefix > 0) {
      EXPECT_EQ(Le32(stream, 0), 0x514B5AA5u);
      EXPECT_EQ(Le32(stream, 8), data.size());  // the header carries the file's length
    }
    if (image) {
      const auto stored = rig.board.ImageData(SimMedium(medium), Le32(heads[0].sent, 8));
      ASSERT_EQ(stored.size(), headLength);
      EXPECT_TRUE(std::equal(data.begin(), data.end(), stored.begin() + prefix));
    } else {
      EXPECT_EQ(rig.board.Flash(SimMedium(medium), 0, static_cast<uint32_t>(data.size())), data);
    }
    EXPECT_EQ(rig.Commands(kGetLastStatus).size(), 1u);
  }
}

TEST(MsWriteStatusPollTest, WaitsAndTriesPerMember) {
  for (const auto& row : LoadTable("protocol/ms_status_polls.tsv")) {
    SCOPED_TRACE(row[0] + " " + row[1] + " " + row[2]);
    sim::BoardOptions o = DiskOptions(kQuen);
    o.progressStep = 100;  // one step of the busy time
    o.stepDelayMs = CellNumber(row[2]);
    DiskRig rig(o, false);
    rig.File("f.bin", Pattern(1000));
    rig.ctx.head.imageNumber = "1";
    const DataKind kind = row[1] == "raw" ? DataKind::kRaw : DataKind::kImage;
    EXPECT_EQ(MsWriteImage(rig.ctx, MediumNamed(row[0]), kind), static_cast<int>(CellNumber(row[3])));
    EXPECT_EQ(rig.clock.NowMs(), CellNumber(row[4]));
    EXPECT_EQ(rig.Commands(kGetLastStatus).size(), CellNumber(row[5]));
    EXPECT_TRUE(rig.prompt.Messages().empty());
  }
}

TEST(MsRefusalTest, WritesAndLoadersRefuseWithoutTouchingTheBoard) {
  for (const auto& row : LoadTable("protocol/ms_refusals.tsv")) {
    SCOPED_TRACE(row[0]);
    DiskRig rig;
    if (row[2] == "no") rig.state.connection.volumes[0].handle.reset();
    if (row[3] == "missing") {
      rig.ctx.filePath = rig.dir.File("missing.bin");
    } else if (row[3] != "none") {
      rig.File("f.bin", Pattern(CellNumber(row[3])));
    }
    EXPECT_EQ(row[1] == "write" ? MsWriteImage(rig.ctx, Medium::kSpi, DataKind::kImage)
                                : MsDownloadLoader(rig.ctx, CellNumber(row[4])),
              0);
    EXPECT_EQ(MessagesText(rig.prompt), row[5]);
    EXPECT_TRUE(rig.commands.empty());
  }
}

TEST(MsVerifyTest, MatchesWhatWasWrittenAndFailsSilentlyOnOneDifferentByte) {
  for (const auto& row : LoadTable("protocol/ms_verifies.tsv")) {
    for (const bool corrupt : {false, true}) {
      SCOPED_TRACE(row[0] + (corrupt ? " corrupt" : ""));
      DiskRig rig;
      const Medium medium = MediumNamed(row[1]);
      const DataKind kind = row[2] == "raw" ? DataKind::kRaw : DataKind::kImage;
      auto data = Pattern(CellNumber(row[4]), 7);
      rig.File("v.bin", data);
      rig.ctx.head.imageNumber = "4";
      rig.ctx.head.imageType = CellNumber(row[3]);
      rig.ctx.head.address = "20000";
      ASSERT_EQ(MsWriteImage(rig.ctx, medium, kind), 1);
      if (corrupt) {
        data[data.size() - 1] ^= 0x01;
        WriteBytes(rig.ctx.filePath, data);
      }
      rig.commands.clear();
      RecordingProgress verifyProgress;
      rig.ctx.progress = &verifyProgress;
      rig.ctx.head.imageNumberEnabled = row[5] == "1";
      EXPECT_EQ(MsVerify(rig.ctx, medium, kind), corrupt ? 0 : 1);
      EXPECT_TRUE(rig.prompt.Messages().empty());
      EXPECT_EQ(rig.Commands(kWriterProcess).at(0).sent, CellBytes(row[6]));
      EXPECT_EQ(rig.Commands(kGetLastStatus).size(), 0u);
      EXPECT_EQ(verifyProgress.Events().front().percent, 0);
      EXPECT_EQ(verifyProgress.Colours(), std::vector<uint32_t>{0x46BEECu});
    }
  }
}

TEST(MsReadRawSpiTest, ReadsWholeBlocksIntoTheTarget) {
  DiskRig rig;
  const auto data = Pattern(131072, 3);
  rig.File("raw.bin", data);
  ASSERT_EQ(MsWriteImage(rig.ctx, Medium::kSpi, DataKind::kRaw), 1);
  rig.commands.clear();
  RecordingProgress readProgress;
  rig.ctx.progress = &readProgress;
  rig.ctx.filePath = rig.dir.File("back.bin");
  ASSERT_EQ(MsReadRawSpi(rig.ctx, 131072), 1);
  EXPECT_EQ(ReadFileBytes(rig.ctx.filePath), data);
  const auto reads = rig.Commands(kGetFileData);
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_EQ(reads[0].length, 65536u);
  const auto head = rig.Commands(kWriterProcess).at(0);
  EXPECT_EQ(head.selector, 6);
  EXPECT_EQ(head.sent, LeWords({3, 0, 0}));
  EXPECT_EQ(readProgress.Events(),
            (std::vector<RecordingProgress::Event>{{0x40E, 0}, {0x40E, 50}, {0x40E, 100}}));
}

TEST(MsDownloadTest, SdramModesAndTheLoaderStage) {
  for (const auto& row : LoadTable("protocol/ms_downloads.tsv")) {
    SCOPED_TRACE(row[0]);
    const bool loader = row[1] == "yes";
    const uint32_t skip = CellNumber(row[3]), fileSize = CellNumber(row[4]), address = CellNumber(row[5]);
    DiskRig rig;
    const auto data = Pattern(fileSize, 9);
    rig.File("sdram.bin", data);
    rig.ctx.head.mode = CellNumber(row[2]);
    rig.ctx.head.address = "12345678";  // not used over the disk
    const int result = loader ? MsDownloadLoader(rig.ctx, skip) : MsDownloadSdram(rig.ctx);
    ASSERT_EQ(result, 1) << ::testing::PrintToString(rig.board.ProtocolErrors());
    const uint32_t offset = loader ? 16 + skip : 0;
    const auto head = rig.Commands(kWriterProcess).at(0);
    EXPECT_EQ(head.selector, 0);
    EXPECT_EQ(head.sent, LeWords({1, fileSize - offset, address}));
    EXPECT_EQ(rig.board.Sdram(address, fileSize - offset),
              std::vector<uint8_t>(data.begin() + static_cast<ptrdiff_t>(offset), data.end()));
    EXPECT_EQ(rig.Commands(kGetLastStatus).size(), CellNumber(row[6]));
  }
}

}  // namespace
}  // namespace zorbel::testing
