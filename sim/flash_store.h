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
  static constexpr uint32_t kPageSize = 4096;

  FlashStore(uint64_t size, uint8_t erased) : size_(size), erased_(erased) {}

  uint64_t size() const { return size_; }
  // False, with nothing changed, when the range runs past the end.
  bool Write(uint64_t offset, const uint8_t* data, uint64_t length);
  bool Read(uint64_t offset, uint8_t* out, uint64_t length) const;
  std::vector<uint8_t> Read(uint64_t offset, uint64_t length) const;
  bool Erase(uint64_t offset, uint64_t length);
  void EraseAll() { pages_.clear(); }

  // Written pages as {page index, bytes}, for saving.
  const std::map<uint64_t, std::vector<uint8_t>>& pages() const { return pages_; }
  void SetPage(uint64_t index, std::vector<uint8_t> bytes);

 private:
  bool InRange(uint64_t offset, uint64_t length) const { return offset <= size_ && length <= size_ - offset; }
  uint64_t size_;
  uint8_t erased_;
  std::map<uint64_t, std::vector<uint8_t>> pages_;
};

}  // namespace zorbel::sim
