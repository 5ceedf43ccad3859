#pragma once
// SHA-256 of what the tool sends, so a log can prove which file a board got.
#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>

namespace zorbel {

class Sha256 {
 public:
  Sha256();
  void Update(std::span<const uint8_t> bytes);
  // The digest; the object is spent afterwards.
  std::array<uint8_t, 32> Final();

 private:
  void Block(const uint8_t* block);

  std::array<uint32_t, 8> state_;
  std::array<uint8_t, 64> pending_{};
  size_t pendingLength_ = 0;
  uint64_t totalLength_ = 0;
};

// Lower-case hexadecimal.
std::string HexDigest(const std::array<uint8_t, 32>& digest);
// The file's digest in hexadecimal, read in pieces; nullopt when it cannot be read.
std::optional<std::string> FileSha256(const std::string& path);

// Digests of files sent to board after board: a file is read again only
// when its size or modification time changed. Safe to share between threads;
// a second asker of the same file waits for the first one's answer.
class FileDigests {
 public:
  std::optional<std::string> Of(const std::string& path);

 private:
  struct Entry {
    uint64_t size = 0;
    std::filesystem::file_time_type modified;
    std::string digest;
  };
  std::mutex mutex_;
  std::map<std::string, Entry> entries_;
};

}  // namespace zorbel
