#pragma once
// The board's own little-endian readers and writers. Kept apart from the
// tool's helpers on purpose: the board must not share code with the side it
// checks.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zorbel::sim {

inline uint32_t LoadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline void StoreLe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

inline void AppendLe32(std::vector<uint8_t>& out, uint32_t v) {
  uint8_t b[4];
  StoreLe32(b, v);
  out.insert(out.end(), b, b + 4);
}

inline void AppendLe64(std::vector<uint8_t>& out, uint64_t v) {
  AppendLe32(out, static_cast<uint32_t>(v));
  AppendLe32(out, static_cast<uint32_t>(v >> 32));
}

// A name field: text up to the first zero byte or the field's end.
inline std::string FieldText(const uint8_t* p, size_t width) {
  size_t n = 0;
  while (n < width && p[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(p), n);
}

// Reads values back from a byte string; any read past the end marks it bad.
class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint32_t U32() {
    if (!Has(4)) return 0;
    uint32_t v = LoadLe32(data_ + pos_);
    pos_ += 4;
    return v;
  }
  uint64_t U64() {
    uint64_t lo = U32();
    uint64_t hi = U32();
    return lo | (hi << 32);
  }
  uint8_t U8() {
    if (!Has(1)) return 0;
    return data_[pos_++];
  }
  bool Bytes(void* out, size_t n) {
    if (!Has(n)) return false;
    for (size_t i = 0; i < n; ++i) static_cast<uint8_t*>(out)[i] = data_[pos_ + i];
    pos_ += n;
    return true;
  }
  bool ok() const { return ok_; }
  bool AtEnd() const { return pos_ == size_; }

 private:
  bool Has(size_t n) {
    if (!ok_ || size_ - pos_ < n) {
      ok_ = false;
      return false;
    }
    return true;
  }
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  bool ok_ = true;
};

}  // namespace zorbel::sim
