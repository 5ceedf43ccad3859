#pragma once
// A sparse flash or memory array: pages that were never written read as the
// erased value, so a gigabyte card costs only what was written to it.
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace zorbel::sim {

class FlashStore {
 public:
  // Large pages: a 256 MiB image is a hundred allocations and look-ups
  // instead of tens of thousands, and each page can be one huge page of the
  // system's, so writing it takes one page fault instead of 512. The price
  // is a whole page for a lone small write.
  static constexpr uint64_t kPageSize = 2u << 20;

  FlashStore(uint64_t size, uint8_t erased) : size_(size), erased_(erased) {}

  uint64_t size() const { return size_; }
  uint8_t erased() const { return erased_; }
  bool Fits(uint64_t offset, uint64_t length) const { return offset <= size_ && length <= size_ - offset; }
  // False, with nothing changed, when the range runs past the end.
  bool Write(uint64_t offset, const uint8_t* data, uint64_t length);
  bool Read(uint64_t offset, uint8_t* out, uint64_t length) const;
  std::vector<uint8_t> Read(uint64_t offset, uint64_t length) const;
  // Gives whole pages back, so erased flash costs nothing again.
  bool Erase(uint64_t offset, uint64_t length);
  // Erases but keeps the pages: for a range about to be written again,
  // whose pages would otherwise be given back and faulted in anew.
  bool Blank(uint64_t offset, uint64_t length);
  void EraseAll() { pages_.clear(); }

  // Offsets of the pages that hold data, ascending, for saving.
  std::vector<uint64_t> PageOffsets() const;

 private:
  struct FreePage {
    void operator()(uint8_t* p) const;
  };
  // Bytes from `filled` to the page's end read as erased whatever they hold,
  // so a new page needs no erased fill before a stream writes it from the
  // start, and erasing a page's tail is only a smaller `filled`.
  struct Page {
    std::unique_ptr<uint8_t[], FreePage> bytes;
    uint64_t filled = 0;
  };
  bool Clear(uint64_t offset, uint64_t length, bool keepPages);
  uint64_t size_;
  uint8_t erased_;
  std::map<uint64_t, Page> pages_;  // by page index
};

}  // namespace zorbel::sim
