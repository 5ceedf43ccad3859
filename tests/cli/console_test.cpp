// The console's prompt and progress: what a script or a user sees on
// standard error, and how questions are answered.
#include "console.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace zorbel::cli {
namespace {

// A scratch stream and what was written to it.
class Stream {
 public:
  Stream() : file_(std::tmpfile()) {}
  ~Stream() { std::fclose(file_); }
  std::FILE* Get() const { return file_; }
  std::string Text() const {
    std::fflush(file_);
    std::rewind(file_);
    std::string text;
    for (int c = std::fgetc(file_); c != EOF; c = std::fgetc(file_)) text.push_back(static_cast<char>(c));
    return text;
  }

 private:
  std::FILE* file_;
};

TEST(ConsoleProgress, PlainLinesOrOneBarLine) {
  struct Case {
    bool terminal;
    std::vector<int> percents;
    std::string expected;
  } cases[] = {
      {false, {0, 0, 20, 20, 100}, "0%\n20%\n100%\n"},
      {false, {150, -5}, "100%\n0%\n"},  // clamped
      {true,
       {50, 100},
       "\r[####################....................]  50%\r[########################################] 100%"},
  };
  for (const auto& c : cases) {
    Stream err;
    ConsoleLine line(err.Get());
    ConsoleProgress progress(line, c.terminal);
    for (int p : c.percents) progress.Progress(0x40B, p);
    EXPECT_EQ(err.Text(), c.expected);
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
  const std::string confirm = "Do you confirm this operation ?";
  const std::string convert = "convert it ?";
  struct Case {
    const char* label;
    bool yes;
    bool interactive;
    std::string typed;
    std::string question;
    bool answer;
    std::string shown;
    bool refused;
  } cases[] = {
      {"--yes answers", true, false, "", confirm, true, "", false},
      {"nobody to ask", false, false, "", confirm, false, confirm + "\n" + kNeedYes + "\n", true},
      {"user types y", false, true, "y\n", confirm, true, confirm + " [y/N] ", false},
      {"user types return", false, true, "\n", confirm, false, confirm + " [y/N] ", false},
      {"end of input", false, true, "", confirm, false, confirm + " [y/N] ", false},
      {"fixed answer wins over --yes", true, true, "y\n", convert, false, convert + "\n", false},
  };
  for (const auto& c : cases) {
    Stream err;
    Stream in;
    std::fputs(c.typed.c_str(), in.Get());
    std::rewind(in.Get());
    ConsoleLine line(err.Get());
    AnswerPolicy policy;
    policy.yes = c.yes;
    policy.interactive = c.interactive;
    policy.fixed[convert] = false;
    ConsolePrompt prompt(line, policy, in.Get());
    EXPECT_EQ(prompt.AskOkCancel(c.question), c.answer) << c.label;
    EXPECT_EQ(err.Text(), c.shown) << c.label;
    EXPECT_EQ(prompt.RefusedUnattended(), c.refused) << c.label;
  }
}

}  // namespace
}  // namespace zorbel::cli
