#pragma once
// A fresh folder per test, removed afterwards, and whole-file byte helpers for
// checking exactly what the tool wrote. Every test folder uses these.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace zorbel::testing {

inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path) {
  const std::string bytes = ReadBytes(path);
  return {bytes.begin(), bytes.end()};
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

inline void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  WriteBytes(path, std::string(bytes.begin(), bytes.end()));
}

class TempFolder {
 public:
  TempFolder() {
    const auto* unit = ::testing::UnitTest::GetInstance();
    std::string name = "zorbel_" + std::string(unit->current_test_suite()->name()) + "_" +
                       unit->current_test_info()->name() + "_" + std::to_string(unit->random_seed()) + "_" +
                       std::to_string(count_++);
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
  // Names of the files in the folder, sorted.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(path_))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  // Every file's bytes by name.
  std::map<std::string, std::vector<uint8_t>> Contents() const {
    std::map<std::string, std::vector<uint8_t>> files;
    for (const auto& name : Names()) files[name] = ReadFileBytes(File(name));
    return files;
  }

 private:
  static inline int count_ = 0;  // tests that hold two folders at once
  std::filesystem::path path_;
};

inline uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint32_t>(b.at(at)) | (static_cast<uint32_t>(b.at(at + 1)) << 8) |
         (static_cast<uint32_t>(b.at(at + 2)) << 16) | (static_cast<uint32_t>(b.at(at + 3)) << 24);
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

}  // namespace zorbel::testing
