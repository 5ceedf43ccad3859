#pragma once
// The command line's prompt, progress and connection observer: message-box
// texts and progress go to standard error, questions are answered by the
// options or, on a terminal, by the user.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "app/progress_sink.h"
#include "app/user_prompt.h"
#include "link/connect_worker.h"

namespace zorbel::cli {

// What was printed last on standard error: a bar line that is not ended yet
// must be ended before any other text.
class ConsoleLine {
 public:
  explicit ConsoleLine(std::FILE* out) : out_(out) {}
  // A line that hands its texts (percent -1) and bar percentages to `sink`
  // instead: a station shows each board's on the board's own status line.
  using Sink = std::function<void(const std::string& text, int percent)>;
  explicit ConsoleLine(Sink sink) : out_(stderr), sink_(std::move(sink)) {}
  // Text as the user must see it; a line end is added unless it ends in one.
  void PrintText(const std::string& text);
  // Redraws the bar line in place (terminal) or prints a percentage line.
  void PrintBar(int percent, bool terminal);
  void EndBar();
  std::FILE* Stream() const { return out_; }

 private:
  std::mutex mutex_;
  std::FILE* out_;
  Sink sink_;
  bool barOpen_ = false;
};

// How questions are answered.
struct AnswerPolicy {
  bool yes = false;          // --yes: every question is answered OK
  bool interactive = false;  // standard input and error are terminals: ask the user
  // Questions with a fixed answer, whatever the above say (the block-size
  // conversion, answered by --convert).
  std::map<std::string, bool> fixed;
};

class ConsolePrompt final : public UserPrompt {
 public:
  ConsolePrompt(ConsoleLine& line, AnswerPolicy policy, std::FILE* in = stdin)
      : line_(line), policy_(std::move(policy)), in_(in) {}
  void ShowMessage(const std::string& text) override;
  bool AskOkCancel(const std::string& text) override;
  // True when a question was refused because nobody could answer it.
  bool RefusedUnattended() const { return refusedUnattended_; }

 private:
  ConsoleLine& line_;
  AnswerPolicy policy_;
  std::FILE* in_;
  bool refusedUnattended_ = false;
};

// The text that tells a script why a question was not asked.
inline constexpr const char* kNeedYes = "(not asked without a terminal: add --yes to confirm)";

class ConsoleProgress final : public ProgressSink {
 public:
  ConsoleProgress(ConsoleLine& line, bool terminal) : line_(line), terminal_(terminal) {}
  void Progress(uint32_t messageNumber, int percent) override;
  void Finish() { line_.EndBar(); }

 private:
  ConsoleLine& line_;
  bool terminal_;
  int last_ = -1;
};

// The connection sequence's status texts: printed as they appear when
// verbose, otherwise kept so a failure can tell its last one.
class ConsoleObserver final : public ConnectionObserver {
 public:
  ConsoleObserver(ConsoleLine& line, bool verbose) : line_(line), verbose_(verbose) {}
  void SetStatus(const std::string& text) override;
  void SetVersionLabel(const std::string& text) override;
  void ShowConnectedHelp() override {}
  void EnableConnectButton(bool) override {}
  void EnableSelector(bool) override {}
  void RebuildSelector() override {}
  const std::string& LastStatus() const { return last_; }

 private:
  ConsoleLine& line_;
  bool verbose_;
  std::string last_;
};

}  // namespace zorbel::cli
