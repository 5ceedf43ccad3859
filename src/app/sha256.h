#pragma once
// SHA-256 of what the tool sends, so a log can prove which file a board got.
#include <array>
#include <cstdint>
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

}  // namespace zorbel
