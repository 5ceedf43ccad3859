#pragma once
// Scratch folders, made-up image files, list files and readers of the bytes
// the builders produce.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "app/byte_order.h"
#include "app/test_temp_folder.h"
#include "app/user_prompt.h"

namespace zorbel::romtest {

namespace fs = std::filesystem;

using testing::Le32;
using testing::ReadFileBytes;
using testing::WriteBytes;

// Bytes that differ from their neighbours and never look like fill.
inline std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
  std::vector<uint8_t> v(size);
  for (size_t i = 0; i < size; ++i) v[i] = static_cast<uint8_t>((i * 7 + seed) % 251);
  return v;
}

inline uint16_t Le16(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint16_t>(b.at(at) | (b.at(at + 1) << 8));
}

inline bool AllFill(const std::vector<uint8_t>& b, size_t from, size_t to) {
  for (size_t i = from; i < to; ++i) {
    if (b.at(i) != 0xFF) return false;
  }
  return true;
}

inline bool Holds(const std::vector<uint8_t>& b, size_t at, const std::vector<uint8_t>& part) {
  return at + part.size() <= b.size() &&
         std::equal(part.begin(), part.end(), b.begin() + static_cast<long>(at));
}

// A NAND ROM file assembled by hand from the layout, independent of the
// builder: the file header, then per image its header, data and fill. A
// `firstBlock` other than 0 gives the images start blocks from there on.
inline std::vector<uint8_t> NandFile(uint32_t blockSize, const std::vector<size_t>& lengths, uint32_t count,
                                     uint32_t firstBlock = 0) {
  std::vector<uint8_t> f(kRomMagic.begin(), kRomMagic.end());
  AppendLe32(f, count);
  AppendLe32(f, blockSize);
  uint32_t block = firstBlock;
  for (size_t i = 0; i < lengths.size(); ++i) {
    std::vector<uint8_t> h(64, 0);
    StoreLe32(&h[0], static_cast<uint32_t>(i));
    h[4] = 'n';
    if (firstBlock != 0) StoreLe32(&h[44], block);
    std::copy(kRomMagic.begin(), kRomMagic.end(), h.begin() + 48);
    StoreLe32(&h[56], static_cast<uint32_t>(lengths[i]));
    f.insert(f.end(), h.begin(), h.end());
    const auto data = Pattern(lengths[i], static_cast<uint8_t>(i));
    f.insert(f.end(), data.begin(), data.end());
    const size_t rest = (lengths[i] + 16) % blockSize;
    if (rest != 0) f.insert(f.end(), blockSize - rest, 0xFF);
    block += static_cast<uint32_t>((lengths[i] + 16 + blockSize - 1) / blockSize);
  }
  return f;
}

// One list-file section: its name and its lines in file order.
struct Section {
  std::string name;
  std::vector<std::pair<std::string, std::string>> entries;
};

// A fresh folder per test, removed afterwards.
class RomFolder : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return folder_.File(name); }
  std::vector<uint8_t> Out() const { return ReadFileBytes(Path("out.bin")); }

  std::string File(const std::string& name, const std::vector<uint8_t>& bytes) const {
    WriteBytes(Path(name), bytes);
    return Path(name);
  }

  std::string List(const std::string& name, const std::vector<Section>& sections) const {
    std::ofstream out(Path(name));
    for (const auto& s : sections) {
      out << "[" << s.name << "]\n";
      for (const auto& [k, v] : s.entries) out << k << "=" << v << "\n";
      out << "\n";
    }
    return Path(name);
  }

  // Nothing but the expected files: no working file left behind.
  std::vector<std::string> Leftovers() const {
    std::vector<std::string> names = folder_.Names();
    std::erase_if(names, [](const std::string& n) { return n.find(".zorbel-part") == std::string::npos; });
    return names;
  }

  testing::TempFolder folder_;
  const fs::path dir_{folder_.File("")};
};

}  // namespace zorbel::romtest
