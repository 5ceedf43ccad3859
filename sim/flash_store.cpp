#include "flash_store.h"

#include <algorithm>

namespace zorbel::sim {

bool FlashStore::Write(uint64_t offset, const uint8_t* data, uint64_t length) {
  if (!InRange(offset, length)) return false;
  while (length > 0) {
    uint64_t index = offset / kPageSize;
    uint64_t inPage = offset % kPageSize;
    uint64_t n = std::min<uint64_t>(length, kPageSize - inPage);
    auto it = pages_.find(index);
    if (it == pages_.end()) it = pages_.emplace(index, std::vector<uint8_t>(kPageSize, erased_)).first;
    std::copy(data, data + n, it->second.begin() + static_cast<std::ptrdiff_t>(inPage));
    data += n;
    offset += n;
    length -= n;
  }
  return true;
}

bool FlashStore::Read(uint64_t offset, uint8_t* out, uint64_t length) const {
  if (!InRange(offset, length)) return false;
  while (length > 0) {
    uint64_t index = offset / kPageSize;
    uint64_t inPage = offset % kPageSize;
    uint64_t n = std::min<uint64_t>(length, kPageSize - inPage);
    auto it = pages_.find(index);
    if (it == pages_.end()) {
      std::fill(out, out + n, erased_);
    } else {
      auto from = it->second.begin() + static_cast<std::ptrdiff_t>(inPage);
      std::copy(from, from + static_cast<std::ptrdiff_t>(n), out);
    }
    out += n;
    offset += n;
    length -= n;
  }
  return true;
}

std::vector<uint8_t> FlashStore::Read(uint64_t offset, uint64_t length) const {
  std::vector<uint8_t> out(static_cast<size_t>(length), erased_);
  if (!Read(offset, out.data(), length)) out.clear();
  return out;
}

bool FlashStore::Erase(uint64_t offset, uint64_t length) {
  if (!InRange(offset, length)) return false;
  uint64_t end = offset + length;
  while (offset < end) {
    uint64_t index = offset / kPageSize;
    uint64_t inPage = offset % kPageSize;
    uint64_t n = std::min<uint64_t>(end - offset, kPageSize - inPage);
    auto it = pages_.find(index);
    if (it != pages_.end()) {
      if (n == kPageSize) {
        pages_.erase(it);
      } else {
        auto from = it->second.begin() + static_cast<std::ptrdiff_t>(inPage);
        std::fill(from, from + static_cast<std::ptrdiff_t>(n), erased_);
      }
    }
    offset += n;
  }
  return true;
}

void FlashStore::SetPage(uint64_t index, std::vector<uint8_t> bytes) {
  bytes.resize(kPageSize, erased_);
  pages_[index] = std::move(bytes);
}

}  // namespace zorbel::sim
