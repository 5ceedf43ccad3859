#pragma once
// A fresh folder per test, removed afterwards, and whole-file byte helpers for
// checking exactly what the tool wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace zorbel::testing {

class TempFolder {
 public:
  TempFolder() {
    const auto* unit = ::testing::UnitTest::GetInstance();
    std::string name = "zorbel_" + std::string(unit->current_test_suite()->name()) + "_" +
                       unit->current_test_info()->name() + "_" + std::to_string(unit->random_seed());
    // Parameterized tests name themselves with slashes; one folder, not a tree.
    std::replace(name.begin(), name.end(), '/', '-');
    path_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  std::string File(const std::string& name) const { return (path_ / name).string(); }
  // Ends in a separator, as the executable's folder does.
  std::string Folder() const { return path_.string() + "/"; }

 private:
  std::filesystem::path path_;
};

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

// What a text-mode stream writes for these lines on this platform.
inline std::string TextFileBytes(const std::string& lines) {
#ifdef _WIN32
  std::string bytes;
  for (char c : lines) bytes += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return bytes;
#else
  return lines;
#endif
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace zorbel::testing
