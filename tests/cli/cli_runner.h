#pragma once
// Runs the built zorbel program as a user's shell would: its own process,
// standard input from the null device (no terminal), standard output and
// error captured, a working folder of the test's choosing.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace zorbel::clitest {

struct Result {
  int status = -1;  // exit status; -1 when it did not exit normally
  std::string out;
  std::string err;
};

inline std::string Slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Result RunZorbel(const std::vector<std::string>& args, const std::filesystem::path& workDir);

// The lines of a text, without their line ends.
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace zorbel::clitest
