#include "app/sha256.h"

#include <algorithm>
#include <bit>
#include <fstream>
#include <vector>

#include "app/file_replace.h"
#include "app/paths.h"

namespace zorbel {
namespace {

constexpr std::array<uint32_t, 64> kRound = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

// Big enough that a 64 MiB image is a few hundred reads, small enough to
// keep a station's memory flat whatever the image size.
constexpr size_t kReadPiece = 256 * 1024;

}  // namespace

Sha256::Sha256()
    : state_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19} {
}

void Sha256::Block(const uint8_t* block) {
  std::array<uint32_t, 64> w;
  for (size_t i = 0; i < 16; ++i) {
    w[i] = (uint32_t{block[4 * i]} << 24) | (uint32_t{block[4 * i + 1]} << 16) |
           (uint32_t{block[4 * i + 2]} << 8) | uint32_t{block[4 * i + 3]};
  }
  for (size_t i = 16; i < 64; ++i) {
    const uint32_t s0 = std::rotr(w[i - 15], 7) ^ std::rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
    const uint32_t s1 = std::rotr(w[i - 2], 17) ^ std::rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  auto [a, b, c, d, e, f, g, h] = state_;
  for (size_t i = 0; i < 64; ++i) {
    const uint32_t t1 =
        h + (std::rotr(e, 6) ^ std::rotr(e, 11) ^ std::rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRound[i] + w[i];
    const uint32_t t2 =
        (std::rotr(a, 2) ^ std::rotr(a, 13) ^ std::rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
    h = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  const std::array<uint32_t, 8> add{a, b, c, d, e, f, g, h};
  for (size_t i = 0; i < 8; ++i) state_[i] += add[i];
}

void Sha256::Update(std::span<const uint8_t> bytes) {
  totalLength_ += bytes.size();
  size_t at = 0;
  if (pendingLength_ > 0) {
    const size_t take = std::min(bytes.size(), pending_.size() - pendingLength_);
    std::copy_n(bytes.begin(), take, pending_.begin() + static_cast<std::ptrdiff_t>(pendingLength_));
    pendingLength_ += take;
    at = take;
    if (pendingLength_ < pending_.size()) return;
    Block(pending_.data());
    pendingLength_ = 0;
  }
  for (; at + 64 <= bytes.size(); at += 64) Block(bytes.data() + at);
  std::copy(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.end(), pending_.begin());
  pendingLength_ = bytes.size() - at;
}

std::array<uint8_t, 32> Sha256::Final() {
  const uint64_t bits = totalLength_ * 8;
  std::array<uint8_t, 72> tail{};
  tail[0] = 0x80;
  // Pad to 56 bytes past a block boundary, then the length, big-endian.
  const size_t padding = (pendingLength_ < 56 ? 56 : 120) - pendingLength_;
  for (size_t i = 0; i < 8; ++i) tail[padding + i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
  Update({tail.data(), padding + 8});
  std::array<uint8_t, 32> digest;
  for (size_t i = 0; i < 8; ++i) {
    for (size_t j = 0; j < 4; ++j) digest[4 * i + j] = static_cast<uint8_t>(state_[i] >> (24 - 8 * j));
  }
  return digest;
}

std::string HexDigest(const std::array<uint8_t, 32>& digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (const uint8_t byte : digest) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

std::optional<std::string> FileSha256(const std::string& path) {
  std::ifstream in;
  if (!OpenForReading(in, path, FileMode::kBinary)) return std::nullopt;
  Sha256 hash;
  std::vector<char> piece(kReadPiece);
  while (in) {
    in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
    const auto got = static_cast<size_t>(in.gcount());
    hash.Update({reinterpret_cast<const uint8_t*>(piece.data()), got});
  }
  if (in.bad()) return std::nullopt;
  return HexDigest(hash.Final());
}

std::optional<std::string> FileDigests::Of(const std::string& path) {
  std::error_code ec;
  const auto file = Utf8Path(path);
  const uint64_t size = std::filesystem::file_size(file, ec);
  const auto modified = ec ? std::filesystem::file_time_type{} : std::filesystem::last_write_time(file, ec);
  if (ec) return std::nullopt;
  std::lock_guard<std::mutex> lock(mutex_);
  if (const auto known = entries_.find(path);
      known != entries_.end() && known->second.size == size && known->second.modified == modified) {
    return known->second.digest;
  }
  const auto digest = FileSha256(path);
  if (digest) entries_[path] = {size, modified, *digest};
  return digest;
}

}  // namespace zorbel
