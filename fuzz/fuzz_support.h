#pragma once
// What the fuzz targets share: a scratch folder of the process (in memory
// where the system has one) and whole-file helpers.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace zorbel::fuzz {

inline const std::string& Scratch() {
  static const std::string folder = [] {
    const char* base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/zorbel-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern + "/";
  }();
  return folder;
}

inline std::string Put(const std::string& name, const uint8_t* data, size_t size) {
  const std::string path = Scratch() + name;
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                                static_cast<std::streamsize>(size));
  return path;
}

inline std::vector<uint8_t> Get(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A finding: the property the target checks does not hold.
inline void Require(bool holds) {
  if (!holds) std::abort();
}

}  // namespace zorbel::fuzz
