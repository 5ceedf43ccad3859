#include "flash_store.h"

#include <algorithm>
#include <cstring>
#include <new>
#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#endif

namespace zorbel::sim {
namespace {

constexpr std::align_val_t kPageAlignment{FlashStore::kPageSize};

// Uninitialised: a page's bytes count only up to its `filled`.
uint8_t* NewPage() {
  auto* p = static_cast<uint8_t*>(::operator new[](FlashStore::kPageSize, kPageAlignment));
#ifdef MADV_HUGEPAGE
  // Only a hint: where huge pages are off, the page is faulted in 4 KiB at a time.
  madvise(p, FlashStore::kPageSize, MADV_HUGEPAGE);
#endif
  return p;
}

}  // namespace

void FlashStore::FreePage::operator()(uint8_t* p) const { ::operator delete[](p, kPageAlignment); }

bool FlashStore::Write(uint64_t offset, const uint8_t* data, uint64_t length) {
  if (!Fits(offset, length)) return false;
  while (length > 0) {
    uint64_t index = offset / kPageSize;
    uint64_t inPage = offset % kPageSize;
    uint64_t n = std::min<uint64_t>(length, kPageSize - inPage);
    Page& page = pages_[index];
    if (!page.bytes) page.bytes.reset(NewPage());
    if (page.filled < inPage) std::memset(page.bytes.get() + page.filled, erased_, inPage - page.filled);
    std::memcpy(page.bytes.get() + inPage, data, n);
    page.filled = std::max(page.filled, inPage + n);
    data += n;
    offset += n;
    length -= n;
  }
  return true;
}

bool FlashStore::Read(uint64_t offset, uint8_t* out, uint64_t length) const {
  if (!Fits(offset, length)) return false;
  while (length > 0) {
    uint64_t index = offset / kPageSize;
    uint64_t inPage = offset % kPageSize;
    uint64_t n = std::min<uint64_t>(length, kPageSize - inPage);
    uint64_t stored = 0;
    if (auto it = pages_.find(index); it != pages_.end() && it->second.filled > inPage) {
      stored = std::min(n, it->second.filled - inPage);
      std::memcpy(out, it->second.bytes.get() + inPage, stored);
    }
    std::memset(out + stored, erased_, n - stored);
    out += n;
    offset += n;
    length -= n;
  }
  return true;
}

std::vector<uint8_t> FlashStore::Read(uint64_t offset, uint64_t length) const {
  if (!Fits(offset, length)) return {};
  std::vector<uint8_t> out(static_cast<size_t>(length));
  Read(offset, out.data(), length);
  return out;
}

bool FlashStore::Erase(uint64_t offset, uint64_t length) { return Clear(offset, length, false); }

bool FlashStore::Blank(uint64_t offset, uint64_t length) { return Clear(offset, length, true); }

bool FlashStore::Clear(uint64_t offset, uint64_t length, bool keepPages) {
  if (!Fits(offset, length)) return false;
  uint64_t end = offset + length;
  // Only the pages that exist matter: the rest already read as erased.
  for (auto it = pages_.lower_bound(offset / kPageSize); it != pages_.end() && it->first * kPageSize < end;) {
    uint64_t pageStart = it->first * kPageSize;
    uint64_t from = std::max(offset, pageStart) - pageStart;
    uint64_t to = std::min(end, pageStart + kPageSize) - pageStart;
    Page& page = it->second;
    if (from == 0 && to == kPageSize && !keepPages) {
      it = pages_.erase(it);
      continue;
    }
    if (to >= page.filled) {
      page.filled = std::min(page.filled, from);
    } else {
      std::memset(page.bytes.get() + from, erased_, to - from);
    }
    ++it;
  }
  return true;
}

std::vector<uint64_t> FlashStore::PageOffsets() const {
  std::vector<uint64_t> offsets;
  offsets.reserve(pages_.size());
  for (const auto& entry : pages_) offsets.push_back(entry.first * kPageSize);
  return offsets;
}

}  // namespace zorbel::sim
