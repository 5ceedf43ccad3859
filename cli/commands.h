#pragma once
// The zorbel command line: parses the arguments and runs one command. A
// recipe's lines are parsed and run by the same code, one command each.
#include <cstdio>
#include <string>
#include <vector>

#include "app/abort_event.h"
#include "console.h"
#include "session.h"

namespace zorbel::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// in: where questions are answered; stdin in the program.
int RunZorbel(int argc, char** argv, std::FILE* in);

// A recipe line: a board command and its options, without the run's own
// options (the connection, --dir, --yes).
struct StepCheck {
  std::string refusal;            // empty: the line may run
  std::vector<std::string> sent;  // the files it sends
};
// Parses the line and makes every check the command makes on its options,
// stopping where the command would reach the board. Relative paths are taken
// from folder.
StepCheck CheckStep(const std::string& text, const std::string& folder, const GlobalOptions& global);

struct StepServices {
  GlobalOptions global;  // the run's; global.link is the board the step runs on
  ConsoleLine& line;
  ConsoleProgress& progress;
  AbortEvent& abort;  // stops the step's operation
  std::FILE* out;     // the step's data (tables, sizes)
};
// Runs a checked line; the command's exit status. Questions are answered OK,
// the run having been confirmed as a whole, except those the line's own
// options answer.
int RunStep(const std::string& text, const std::string& folder, const StepServices& services);

}  // namespace zorbel::cli
