// The console's prompt and progress: what a script or a user sees on
// standard error, how questions are answered, and which standard streams
// count as someone at a keyboard.
#include "console.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "app/test_table.h"
#include "app/test_temp_folder.h"
#include "terminal.h"

namespace zorbel::cli {
namespace {

// A scratch stream and what was written to it.
class Stream {
 public:
  ~Stream() { std::fclose(file_); }
  std::FILE* Get() const { return file_; }
  std::string Text() const {
    std::fflush(file_);
    return testing::ReadBytes(folder_.File("stream"));
  }

 private:
  testing::TempFolder folder_;
  std::FILE* file_ = std::fopen(folder_.File("stream").c_str(), "wb+");
};

TEST(ConsoleProgress, PlainLinesOrOneBarLine) {
  for (const auto& row : testing::LoadTable("cli/progress.tsv")) {
    Stream err;
    ConsoleLine line(err.Get());
    ConsoleProgress progress(line, row[0] == "terminal");
    std::istringstream percents(row[1]);
    for (int percent = 0; percents >> percent;) progress.Progress(0x40B, percent);
    EXPECT_EQ(err.Text(), row[2]) << row[0] << " " << row[1];
  }
}

TEST(ConsoleLine, MessagesEndTheBarAndGetOneLineEnd) {
  Stream err;
  ConsoleLine line(err.Get());
  ConsoleProgress progress(line, true);
  progress.Progress(0, 100);
  line.PrintText("File length is zero\n");  // its own line end is the only one
  line.PrintText("Burn successfully");
  progress.Finish();  // nothing open: no extra line
  const std::string text = err.Text();
  EXPECT_EQ(text.substr(text.find("100%")), "100%\nFile length is zero\nBurn successfully\n");
}

TEST(ConsolePrompt, QuestionsAreAnsweredByOptionsTerminalOrNobody) {
  for (const auto& row : testing::LoadTable("cli/prompt.tsv")) {
    Stream err;
    Stream in;
    std::fputs(row[3].c_str(), in.Get());
    std::rewind(in.Get());
    ConsoleLine line(err.Get());
    const AnswerPolicy policy{
        .yes = row[1] == "--yes", .interactive = row[2] == "terminal", .fixed = {{"convert it ?", false}}};
    ConsolePrompt prompt(line, policy, in.Get());
    EXPECT_EQ(prompt.AskOkCancel(row[4]), row[5] == "OK") << row[0];
    EXPECT_EQ(err.Text(), row[6]) << row[0];
    EXPECT_EQ(prompt.RefusedUnattended(), row[7] == "refused") << row[0];
  }
}

TEST(Terminal, NullDeviceAndFilesAreNobodyTyping) {
#ifdef _WIN32
  const char* nullDevice = "NUL";  // a character device, which _isatty takes for a console
#else
  const char* nullDevice = "/dev/null";
#endif
  for (std::FILE* stream : {std::fopen(nullDevice, "r"), std::tmpfile()}) {
    ASSERT_NE(stream, nullptr);
    EXPECT_FALSE(IsTerminal(stream));
    std::fclose(stream);
  }
}

}  // namespace
}  // namespace zorbel::cli
