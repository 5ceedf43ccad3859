#pragma once
// The zorbel command line: parses the arguments and runs one command.
#include <cstdio>

namespace zorbel::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// in: where questions are answered; stdin in the program.
int RunZorbel(int argc, char** argv, std::FILE* in);

}  // namespace zorbel::cli
