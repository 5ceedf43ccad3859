#pragma once
// Runs the built zorbel program as a user's shell would: its own process,
// standard input from the null device (no terminal), standard output and
// error captured, a working folder of the test's choosing.
#include <filesystem>
#include <string>
#include <vector>

#include "app/test_temp_folder.h"

namespace zorbel::clitest {

struct Result {
  int status = -1;  // exit status; -1 when it did not exit normally
  std::string out;
  std::string err;
};

// A whole file as text.
inline constexpr auto Slurp = &testing::ReadBytes;

Result RunZorbel(const std::vector<std::string>& args, const std::filesystem::path& workDir);

#ifndef _WIN32
// Starts a program of the build in workDir, standard input from the null
// device, standard output to outPath, standard error to errPath (empty: the
// test's own); its process id, -1 when it did not start.
int SpawnProgram(const std::string& name, const std::vector<std::string>& args,
                 const std::filesystem::path& workDir, const std::string& outPath,
                 const std::string& errPath);
#endif

}  // namespace zorbel::clitest
