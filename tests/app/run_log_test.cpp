#include "app/run_log.h"

#include "app/json.h"
#include "app/test_temp_folder.h"

namespace zorbel {
namespace {

using namespace testing;

BoardRunLog Record(const std::string& board, const std::string& result) {
  return {board,
          "2025/02/28-V07",
          "2026-12-07T05:30:00.123Z",
          "2026-12-07T05:31:02.456Z",
          {{3, "burn nand \"my kernel.bin\" --number 1", "ok", {{"C:\\images\\k\u00e9rnel.bin", "ab12"}}},
           {7, "verify nand x\ty", "not run", {}}},
          result};
}

TEST(RunLog, ARecordReadsBackAsItWasWritten) {
  const BoardRunLog written = Record("1-1.2", "failed");
  const std::string line = FormatRunLog(written);
  EXPECT_EQ(line.find('\n'), std::string::npos) << "one record, one line";
  BoardRunLog read;
  ASSERT_TRUE(ParseRunLog(line, read)) << line;
  EXPECT_EQ(read, written);
}

TEST(RunLog, NothingButAWholeRecordParses) {
  const std::string line = FormatRunLog(Record("1-1.2", "ok"));
  BoardRunLog read;
  // Every cut a crash can leave short of the last byte.
  for (size_t length = 0; length < line.size(); ++length) {
    EXPECT_FALSE(ParseRunLog(line.substr(0, length), read)) << length;
  }
  for (const char* other :
       {"[]", "{}", "{\"steps\":[]}", "{\"result\":\"ok\"} x", "\"ok\"", "{\"a\":\"\\q\"}"}) {
    EXPECT_FALSE(ParseRunLog(other, read)) << other;
  }
  const auto escaped = ParseJson("{\"t\":\"\\u00e9\\n\\\"\"}");
  ASSERT_TRUE(escaped.has_value());
  EXPECT_EQ(escaped->Text("t"), "\u00e9\n\"");
}

TEST(RunLog, ATornLastLineNeitherHidesTheOthersNorSpoilsTheNextRecord) {
  TempFolder folder;
  const std::string path = folder.File("station.jsonl");
  RunLogFile log(path);
  ASSERT_TRUE(log.Append(Record("1-1", "ok")));
  const std::string torn = FormatRunLog(Record("1-2", "ok"));
  WriteBytes(path, ReadBytes(path) + torn.substr(0, torn.size() / 2));
  EXPECT_EQ(ReadRunLog(path), std::vector<BoardRunLog>{Record("1-1", "ok")});

  ASSERT_TRUE(log.Append(Record("1-3", "failed")));
  EXPECT_EQ(ReadRunLog(path), (std::vector<BoardRunLog>{Record("1-1", "ok"), Record("1-3", "failed")}));
}

}  // namespace
}  // namespace zorbel
