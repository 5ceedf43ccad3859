#include "board_model.h"

#include <algorithm>
#include <cstring>

#include "board_bytes.h"

namespace zorbel::sim {
namespace {

constexpr uint8_t kRomMagic[4] = {'Q', 'K', 0x5A, 0xA5};
constexpr size_t kRomImageHeaderSize = 64;
constexpr size_t kNameWidth = 32;

uint64_t Span(uint32_t length) { return length == 0 ? 1 : length; }

}  // namespace

uint32_t BlockSizeForCode(uint8_t code) {
  switch (code) {
    case 1:
      return 16384;
    case 2:
      return 131072;
    case 3:
      return 262144;
    default:
      return 0;
  }
}

BoardModel::BoardModel(const BoardOptions& options)
    : nandBlockSize_(BlockSizeForCode(options.nandBlockSizeCode) ? BlockSizeForCode(options.nandBlockSizeCode)
                                                                 : 16384),
      nandBlockCount_(options.nandBlockCount),
      sdram_(kSdramSize, 0),
      nor_(options.norSizeBytes, 1),
      nand_(static_cast<uint64_t>(nandBlockSize_) * options.nandBlockCount, nandBlockSize_),
      spi_(options.spiSizeBytes, kSpiBankSize) {
  for (size_t i = 0; i < sd_.size(); ++i) {
    if (options.sdSizeMb[i] != 0) {
      sd_[i] = std::make_unique<MediumState>(static_cast<uint64_t>(options.sdSizeMb[i]) << 20, kSdSectorSize);
    }
  }
  sdPort = options.sdPort < sd_.size() ? options.sdPort : 0;
}

MediumState* BoardModel::Get(Medium medium) {
  return const_cast<MediumState*>(static_cast<const BoardModel*>(this)->Get(medium));
}

const MediumState* BoardModel::Get(Medium medium) const {
  switch (medium) {
    case Medium::kNor:
      return &nor_;
    case Medium::kNand:
      return &nand_;
    case Medium::kSpi:
      return &spi_;
    case Medium::kSd:
      return sd_[sdPort].get();
    default:
      return nullptr;
  }
}

uint32_t BoardModel::NandSizeMb() const {
  return static_cast<uint32_t>((static_cast<uint64_t>(nandBlockSize_) * nandBlockCount_) >> 20);
}

uint32_t BoardModel::SdSizeMb() const {
  const MediumState* sd = Get(Medium::kSd);
  return sd ? static_cast<uint32_t>(sd->store.size() >> 20) : 0;
}

uint64_t BoardModel::ImageOffset(Medium medium, const ImageEntry& entry) const {
  const MediumState* m = Get(medium);
  return m ? static_cast<uint64_t>(entry.start) * m->unit : 0;
}

std::string BoardModel::StoreImage(Medium medium, ImageEntry entry, const std::vector<uint8_t>& data) {
  std::string why = BeginImage(medium, entry, static_cast<uint32_t>(data.size()));
  if (!why.empty()) return why;
  Get(medium)->store.Write(ImageOffset(medium, entry), data.data(), data.size());
  AddImage(medium, entry);
  return {};
}

std::string BoardModel::BeginImage(Medium medium, ImageEntry& entry, uint32_t length) {
  MediumState* m = Get(medium);
  if (!m) return "no such medium or no card in the slot";
  if (medium != Medium::kNor && entry.type == kSystemImageKind) {
    // The system image has its fixed place at the start of the medium.
    entry.number = 0;
    entry.start = 0;
  }
  if (entry.number == kEraseAllImages || entry.number == kEraseSystemArea) return "image number reserved";
  entry.length = length;
  uint64_t offset = static_cast<uint64_t>(entry.start) * m->unit;
  uint64_t span = Span(entry.length);
  if (!m->store.Fits(offset, span)) return "image runs past the end of the flash";
  for (const ImageEntry& other : m->table) {
    if (other.number == entry.number) continue;
    uint64_t o = ImageOffset(medium, other);
    if (offset < o + Span(other.length) && o < offset + span) {
      return "image " + std::to_string(entry.number) + " overlaps image " + std::to_string(other.number);
    }
  }
  if (medium == Medium::kNor) {
    entry.end = entry.start + static_cast<uint32_t>(span) - 1;
  } else {
    entry.end = entry.start + static_cast<uint32_t>((span + m->unit - 1) / m->unit) - 1;
  }
  entry.recordCode = 0;
  if (auto old = std::find_if(m->table.begin(), m->table.end(),
                              [&](const ImageEntry& e) { return e.number == entry.number; });
      old != m->table.end()) {
    // Only what lies outside the new image is given back; the new image's
    // own range keeps its pages for the data on its way.
    uint64_t from = ImageOffset(medium, *old);
    uint64_t to = from + Span(old->length);
    if (from < offset) m->store.Erase(from, std::min(to, offset) - from);
    if (to > offset + span) {
      uint64_t after = std::max(from, offset + span);
      m->store.Erase(after, to - after);
    }
    m->table.erase(old);
  }
  m->store.Blank(offset, span);
  return {};
}

void BoardModel::AddImage(Medium medium, const ImageEntry& entry) {
  MediumState* m = Get(medium);
  if (!m) return;
  std::erase_if(m->table, [&](const ImageEntry& e) { return e.number == entry.number; });
  auto pos = std::lower_bound(m->table.begin(), m->table.end(), entry.number,
                              [](const ImageEntry& e, uint32_t n) { return e.number < n; });
  m->table.insert(pos, entry);
}

std::string BoardModel::EraseImage(Medium medium, uint32_t number) {
  MediumState* m = Get(medium);
  if (!m) return "no such medium or no card in the slot";
  if (number == kEraseAllImages) {
    m->store.EraseAll();
    m->table.clear();
    if (medium == Medium::kNand) rawNandOrder.clear();
    return {};
  }
  if (number == kEraseSystemArea) {
    if (medium != Medium::kNand) return "only NAND has a system area";
    uint64_t reserved = static_cast<uint64_t>(nandReservedMb) << 20;
    m->store.Erase(0, std::min<uint64_t>(reserved, m->store.size()));
    std::erase_if(m->table, [&](const ImageEntry& e) {
      bool inside = e.type == kSystemImageKind || ImageOffset(medium, e) < reserved;
      if (inside) m->store.Erase(ImageOffset(medium, e), Span(e.length));
      return inside;
    });
    return {};
  }
  auto it =
      std::find_if(m->table.begin(), m->table.end(), [&](const ImageEntry& e) { return e.number == number; });
  if (it == m->table.end()) return "no image " + std::to_string(number) + " to erase";
  m->store.Erase(ImageOffset(medium, *it), Span(it->length));
  m->table.erase(it);
  return {};
}

std::string BoardModel::EraseNandBlocks(uint32_t first, uint32_t last) {
  if (first > last) return "erase range runs backwards";
  // The tool always names whole runs of 256 blocks; blocks past the end do not exist.
  if (first >= nandBlockCount_) return {};
  uint64_t lastBlock = std::min<uint64_t>(last, nandBlockCount_ - 1);
  uint64_t from = static_cast<uint64_t>(first) * nandBlockSize_;
  uint64_t to = (lastBlock + 1) * nandBlockSize_;
  nand_.store.Erase(from, to - from);
  std::erase_if(nand_.table, [&](const ImageEntry& e) {
    uint64_t o = ImageOffset(Medium::kNand, e);
    return o < to && from < o + Span(e.length);
  });
  return {};
}

std::string BoardModel::ModifyImage(Medium medium, uint32_t number, uint32_t type) {
  MediumState* m = Get(medium);
  if (!m) return "no such medium or no card in the slot";
  for (ImageEntry& e : m->table) {
    if (e.number == number) {
      e.type = medium == Medium::kNor ? (type & 0x3F) : type;
      return {};
    }
  }
  return "no image " + std::to_string(number) + " to modify";
}

std::string BoardModel::WriteRaw(Medium medium, uint64_t offset, const std::vector<uint8_t>& data) {
  std::string why = CheckRaw(medium, offset, data.size());
  if (why.empty()) Store(medium)->Write(offset, data.data(), data.size());
  return why;
}

std::string BoardModel::CheckRaw(Medium medium, uint64_t offset, uint64_t length) const {
  if (medium == Medium::kSdram) {
    return sdram_.Fits(offset, length) ? std::string() : "download runs past the SDRAM";
  }
  const MediumState* m = Get(medium);
  if (!m) return "no such medium";
  return m->store.Fits(offset, length) ? std::string() : "raw data runs past the end of the flash";
}

FlashStore* BoardModel::Store(Medium medium) {
  if (medium == Medium::kSdram) return &sdram_;
  MediumState* m = Get(medium);
  return m ? &m->store : nullptr;
}

std::string BoardModel::BurnNandRom(const std::vector<uint8_t>& body, uint32_t count) {
  struct Parsed {
    ImageEntry entry;
    size_t dataAt;
  };
  std::vector<Parsed> images;
  size_t pos = 0;
  while (pos < body.size()) {
    if (body.size() - pos < kRomImageHeaderSize) return "NAND ROM ends inside an image header";
    const uint8_t* h = body.data() + pos;
    if (std::memcmp(h + 48, kRomMagic, 4) != 0) return "NAND ROM image header without its magic";
    ImageEntry e;
    e.number = LoadLe32(h);
    e.name = FieldText(h + 4, kNameWidth);
    e.type = LoadLe32(h + 36);
    e.executeAddress = LoadLe32(h + 40);
    e.start = LoadLe32(h + 44);
    uint32_t length = LoadLe32(h + 56);
    pos += kRomImageHeaderSize;
    if (body.size() - pos < length) return "NAND ROM image data cut short";
    size_t dataAt = pos;
    uint32_t rest = static_cast<uint32_t>((static_cast<uint64_t>(length) + 16) % nandBlockSize_);
    uint32_t fill = rest == 0 ? 0 : nandBlockSize_ - rest;
    pos += length;
    if (body.size() - pos < fill) return "NAND ROM fill does not match the board's block size";
    for (size_t i = 0; i < fill; ++i) {
      if (body[pos + i] != 0xFF) return "NAND ROM fill does not match the board's block size";
    }
    pos += fill;
    e.length = length;
    images.push_back({e, dataAt});
  }
  if (images.size() != count) {
    return "NAND ROM announced " + std::to_string(count) + " images and holds " +
           std::to_string(images.size());
  }
  std::vector<uint32_t> order;
  for (const Parsed& p : images) {
    auto first = body.begin() + static_cast<std::ptrdiff_t>(p.dataAt);
    std::vector<uint8_t> data(first, first + p.entry.length);
    ImageEntry e = p.entry;
    // The image keeps its number and start block even for a system image.
    MediumState& m = nand_;
    uint64_t offset = static_cast<uint64_t>(e.start) * m.unit;
    if (offset > m.store.size() || Span(e.length) > m.store.size() - offset) {
      return "NAND ROM image " + std::to_string(e.number) + " runs past the end of the flash";
    }
    std::erase_if(m.table, [&](const ImageEntry& old) { return old.number == e.number; });
    m.store.Erase(offset, Span(e.length));
    m.store.Write(offset, data.data(), data.size());
    e.end = e.start + static_cast<uint32_t>((Span(e.length) + m.unit - 1) / m.unit) - 1;
    auto at = std::lower_bound(m.table.begin(), m.table.end(), e.number,
                               [](const ImageEntry& x, uint32_t n) { return x.number < n; });
    m.table.insert(at, e);
    order.push_back(e.number);
  }
  rawNandOrder = order;
  return {};
}

std::vector<uint8_t> BoardModel::NandRomBody() const {
  std::vector<uint8_t> out;
  for (uint32_t number : rawNandOrder) {
    auto e = Find(Medium::kNand, number);
    if (!e) continue;
    std::vector<uint8_t> h(kRomImageHeaderSize, 0);
    StoreLe32(h.data(), e->number);
    std::memcpy(h.data() + 4, e->name.data(), std::min(e->name.size(), kNameWidth));
    StoreLe32(h.data() + 36, e->type);
    StoreLe32(h.data() + 40, e->executeAddress);
    StoreLe32(h.data() + 44, e->start);
    std::memcpy(h.data() + 48, kRomMagic, 4);
    StoreLe32(h.data() + 52, e->executeAddress);
    StoreLe32(h.data() + 56, e->length);
    out.insert(out.end(), h.begin(), h.end());
    std::vector<uint8_t> data = ImageData(Medium::kNand, number);
    out.insert(out.end(), data.begin(), data.end());
    uint32_t rest = static_cast<uint32_t>((static_cast<uint64_t>(e->length) + 16) % nandBlockSize_);
    if (rest != 0) out.insert(out.end(), nandBlockSize_ - rest, 0xFF);
  }
  return out;
}

std::optional<ImageEntry> BoardModel::Find(Medium medium, uint32_t number) const {
  const MediumState* m = Get(medium);
  if (!m) return std::nullopt;
  for (const ImageEntry& e : m->table) {
    if (e.number == number) return e;
  }
  return std::nullopt;
}

std::vector<uint8_t> BoardModel::ImageData(Medium medium, uint32_t number) const {
  auto e = Find(medium, number);
  if (!e) return {};
  return Get(medium)->store.Read(ImageOffset(medium, *e), e->length);
}

std::vector<uint8_t> BoardModel::TableBytes(Medium medium, size_t entrySize) const {
  std::vector<uint8_t> out;
  const MediumState* m = Get(medium);
  if (!m) return out;
  size_t nameWidth = entrySize == 60 ? 32 : 16;
  for (const ImageEntry& e : m->table) {
    std::vector<uint8_t> rec(entrySize, 0);
    StoreLe32(rec.data(), e.recordCode);
    StoreLe32(rec.data() + 4, e.length);
    StoreLe32(rec.data() + 8, e.number);
    std::memcpy(rec.data() + 12, e.name.data(), std::min(e.name.size(), nameWidth));
    uint8_t* tail = rec.data() + 12 + nameWidth;
    StoreLe32(tail, e.type);
    if (medium == Medium::kNor) {
      StoreLe32(tail + 4, e.executeAddress);
      StoreLe32(tail + 8, e.start);
      StoreLe32(tail + 12, e.end);
    } else {
      StoreLe32(tail + 4, e.end);
      StoreLe32(tail + 8, e.start);
      StoreLe32(tail + 12, e.executeAddress);
    }
    out.insert(out.end(), rec.begin(), rec.end());
  }
  return out;
}

}  // namespace zorbel::sim
