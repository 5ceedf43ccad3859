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
    sim::BoardOptions o = DiskOptions(kQuen, nullptr);
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

TEST(MsWriteInputTest, RefusesWithoutTouchingTheBoard) {
  struct Case {
    const char* name;
    bool handle;
    const char* file;  // null: no path; "": a missing file
    size_t size;
    std::vector<std::string> messages;
  };
  const std::vector<Case> cases = {
      {"NoHandle", false, "f.bin", 10, {texts::kNoDeviceHandle}},
      {"NoPath", true, nullptr, 0, {}},
      {"Missing", true, "", 0, {"Open file failed in write file(7)"}},
      {"Empty", true, "f.bin", 0, {texts::kFileLengthZero}},
  };
  for (const Case& c : cases) {
    DiskRig rig;
    if (!c.handle) rig.state.connection.volumes[0].handle.reset();
    if (c.file != nullptr) {
      rig.ctx.filePath = rig.dir.File(*c.file ? c.file : "missing.bin");
      if (*c.file) WriteBytes(rig.ctx.filePath, Pattern(c.size));
    }
    EXPECT_EQ(MsWriteImage(rig.ctx, Medium::kSpi, DataKind::kImage), 0) << c.name;
    EXPECT_EQ(rig.prompt.Messages(), c.messages) << c.name;
    EXPECT_TRUE(rig.commands.empty()) << c.name;
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
  struct Case {
    const char* name;
    bool loader;
    uint32_t mode, skip;
    size_t fileSize;
    uint32_t address;
    size_t statusCalls;
  };
  const std::vector<Case> cases = {
      {"DownloadOnlyReadsStatus", false, 0, 0, 70000, 0x8000, 1},
      {"DownloadAndRunDoesNot", false, 1, 0, 4097, 0x8000, 0},
      {"LoaderSkipsHeaderAndPrefix", true, 0, 100, 16 + 100 + 5000, 0xE00000, 0},
  };
  for (const Case& c : cases) {
    DiskRig rig;
    const auto data = Pattern(c.fileSize, 9);
    rig.File("sdram.bin", data);
    rig.ctx.head.mode = c.mode;
    rig.ctx.head.address = "12345678";  // not used over the disk
    const int result = c.loader ? MsDownloadLoader(rig.ctx, c.skip) : MsDownloadSdram(rig.ctx);
    ASSERT_EQ(result, 1) << c.name << ::testing::PrintToString(rig.board.ProtocolErrors());
    const size_t offset = c.loader ? 16 + c.skip : 0;
    const auto head = rig.Commands(kWriterProcess).at(0);
    EXPECT_EQ(head.selector, 0);
    EXPECT_EQ(head.sent, LeWords({1, static_cast<uint32_t>(c.fileSize - offset), c.address}));
    EXPECT_EQ(rig.board.Sdram(c.address, static_cast<uint32_t>(c.fileSize - offset)),
              std::vector<uint8_t>(data.begin() + static_cast<ptrdiff_t>(offset), data.end()))
        << c.name;
    EXPECT_EQ(rig.Commands(kGetLastStatus).size(), c.statusCalls) << c.name;
  }
}

TEST(MsDownloadTest, LoaderWithNothingAfterItsHeaderIsRefusedBeforeAnyCommand) {
  struct Case {
    size_t fileSize;
    uint32_t skip;
    const char* message;
  };
  for (const Case& c : {Case{116, 100, texts::kFileLengthZero}, Case{115, 100, texts::kLoaderTooShort},
                        Case{10, 0, texts::kLoaderTooShort}}) {
    DiskRig rig;
    rig.File("loader.bin", Pattern(c.fileSize));
    EXPECT_EQ(MsDownloadLoader(rig.ctx, c.skip), 0);
    EXPECT_EQ(rig.prompt.Messages(), std::vector<std::string>{c.message});
    EXPECT_TRUE(rig.commands.empty());
  }
}

}  // namespace
}  // namespace zorbel::testing
