#include "rom/spi_rom_builder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <optional>
#include <utility>
#include <vector>

#include "app/byte_order.h"
#include "app/profile_reader.h"
#include "rom/rom_file.h"
#include "rom/rom_layout.h"
#include "rom/rom_messages.h"

namespace zorbel {
namespace {

constexpr size_t kChunk = 4096;
constexpr int kTableImages = 8;   // sections with a table record and a say in the file length
constexpr int kSectionsMax = 32;  // sections the list file can name
constexpr size_t kTableHeadSize = 16;
constexpr size_t kRecordSize = 48;
constexpr size_t kNameSize = 32;
constexpr uint64_t kTableMark = 0xFC00;
constexpr uint32_t kKindSystem = 3;
constexpr std::array<uint8_t, 4> kTableHeadMagic = {'Q', 'K', 0x55, 0xAA};
constexpr std::array<uint8_t, 4> kTableTailMagic = {'Q', 'K', 0x59, 0x63};
constexpr uint32_t kFamilyOneHeaderSize = 32;

// Tested in this order; the last non-zero one sets the kind.
constexpr std::array<const char*, 5> kKindKeys = {"Data", "Execution", "ROMFS", "System", "Logo"};

std::string SectionOf(int n) { return "Image " + std::to_string(n); }

class Build {
 public:
  Build(const SpiRomRequest& request, UserPrompt& prompt) : request_(request), prompt_(prompt) {}

  int Run() {
    ini_.SetPath(request_.listFile);
    if (!ini_.ReadFile()) return Fail(ini_.Refusal().empty() ? rom_text::kCantOpenScript : ini_.Refusal());
    mask_ = ini_.ImageNumberMask("Image");

    // The image with the largest start sets the file length; on a tie the
    // lower number wins.
    int last = -1;
    uint32_t lastStart = 0;
    for (int n = kTableImages - 1; n >= 0; --n) {
      if (!Present(n)) continue;
      const uint32_t start = StartOf(n);
      if (last < 0 || start >= lastStart) {
        last = n;
        lastStart = start;
      }
    }
    if (last < 0) return Fail(rom_text::kCantOpenImage);
    uint64_t lastLength = 0;
    {
      RomInput input;
      if (!input.Open(ImagePath(last))) return Fail(rom_text::kCantOpenImage);
      lastLength = input.Size();
    }
    const uint64_t total = Position(lastStart) + uint64_t{kRomBlock64k} * (lastLength / kRomBlock64k + 1);
    if (total > kSpiRomMaxSize) return Fail(rom_text::kExceedMaxSize);

    for (int n = 0; n < kSectionsMax; ++n) {
      if (!Present(n)) continue;
      RomInput input;
      if (!input.Open(ImagePath(n)))
        return Fail(n == 0 ? rom_text::kCantOpenBootloader : rom_text::kCantOpenImage);
      if (input.Size() > 0xFFFFFFFFu) return Fail(rom_text::kImageTooLarge);
      lengths_[static_cast<size_t>(n)] = input.Size();
      // Only the last image sets the length, but every image is written at
      // its start: one past the cap (a high start, or a long image before
      // the last) would grow the file without bound.
      if (Position(StartOf(n)) + lengths_[static_cast<size_t>(n)] > kSpiRomMaxSize)
        return Fail(rom_text::kExceedMaxSize);
    }
    if (!Present(0)) return Fail(rom_text::kCantOpenBootloader);
    if (std::string failure = OpenRomTarget(target_, ini_, rom_text::kCantOpenTarget); !failure.empty())
      return Fail(failure);
    bootEnd_ = HeaderLength() + lengths_[0];
    if (int r = PrefillGaps(total); r != 0) return r;

    if (int r = WriteBootImage(); r != 0) return r;
    if (int r = WriteTable(); r != 0) return r;
    // Descending, so where two images overlap the lower-numbered one is on top.
    for (int n = kSectionsMax - 1; n >= 1; --n) {
      if (!Present(n)) continue;
      RomInput input;
      if (!input.Open(ImagePath(n))) return Fail(rom_text::kCantOpenImage);
      if (!target_.Seek(Position(StartOf(n)))) return Fail(rom_text::kCantWriteTarget);
      if (int r = Copy(input, lengths_[static_cast<size_t>(n)]); r != 0) return r;
    }
    if (!target_.Commit()) return Fail(rom_text::kCantWriteTarget);
    prompt_.ShowMessage(rom_text::kCreationSuccess);
    return 0;
  }

 private:
  int Fail(const std::string& text) {
    prompt_.ShowMessage(text);
    return -1;
  }

  bool Present(int n) const { return (mask_ >> n) & 1u; }
  std::string ImagePath(int n) { return ini_.GetValue(SectionOf(n), "Image"); }
  uint32_t StartOf(int n) { return ParseListHex(ini_.GetValue(SectionOf(n), "Start")); }
  uint64_t Position(uint32_t start) const {
    return request_.bankMode ? uint64_t{start} * kRomBlock64k : start;
  }

  uint32_t HeaderLength() const {
    if (request_.chip == nullptr) return 0;
    if (request_.chipFamily == 1) return kFamilyOneHeaderSize;
    if (request_.chipFamily == 2 || request_.chipFamily == 3) {
      return std::min<uint32_t>(request_.chip->bootHeaderLength, kBootHeaderCapacity);
    }
    return 0;
  }

  // Exactly the length measured before: every byte not prefilled must be
  // written, so a file that shrinks meanwhile is a failure.
  int Copy(RomInput& input, uint64_t length) {
    for (uint64_t left = length; left > 0;) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(left, buffer_.size()));
      if (input.Read({buffer_.data(), want}) != want) return Fail(rom_text::kCantOpenImage);
      if (!target_.Write({buffer_.data(), want})) return Fail(rom_text::kCantWriteTarget);
      left -= want;
    }
    return 0;
  }

  // Where the table goes: a counter walking up from the end of the boot
  // image first meets a multiple of 0xFC00 within its 64 KiB bank; none
  // when the counter starts on a bank end or meets no multiple.
  std::optional<uint64_t> TablePosition() const {
    const uint64_t counter = bootEnd_ + (request_.bankMode ? 0 : kTableHeadSize);
    if (counter % kRomBlock64k == 0) return std::nullopt;
    const uint64_t bankEnd = (counter / kRomBlock64k + 1) * kRomBlock64k;
    const uint64_t mark = (counter + kTableMark - 1) / kTableMark * kTableMark;
    if (mark >= bankEnd) return std::nullopt;
    return bootEnd_ + (mark - counter);
  }

  size_t TableSize() const {
    return kTableHeadSize + kRecordSize * static_cast<size_t>(std::popcount(mask_ & 0xFFu));
  }

  // The file is 0xFF up to its length wherever no image or table lands;
  // only those gaps are filled, so no byte is written twice.
  int PrefillGaps(uint64_t total) {
    std::vector<std::pair<uint64_t, uint64_t>> covered = {{0, bootEnd_}};
    if (const auto table = TablePosition()) covered.push_back({*table, *table + TableSize()});
    for (int n = 1; n < kSectionsMax; ++n) {
      if (Present(n))
        covered.push_back({Position(StartOf(n)), Position(StartOf(n)) + lengths_[static_cast<size_t>(n)]});
    }
    std::sort(covered.begin(), covered.end());
    uint64_t cursor = 0;
    auto fill = [&](uint64_t from, uint64_t to) {
      to = std::min(to, total);
      return from >= to || (target_.SeekOver(from) && target_.WriteFill(to - from));
    };
    for (const auto& [from, to] : covered) {
      if (from > cursor && !fill(cursor, from)) return Fail(rom_text::kCantWriteTarget);
      cursor = std::max(cursor, to);
    }
    if (!fill(cursor, total)) return Fail(rom_text::kCantWriteTarget);
    return 0;
  }

  int WriteBootImage() {
    RomInput input;
    if (!input.Open(ImagePath(0))) return Fail(rom_text::kCantOpenBootloader);
    if (!target_.SeekOver(0)) return Fail(rom_text::kCantWriteTarget);
    const uint32_t headerLength = HeaderLength();
    if (headerLength > 0) {
      StoreLe32(&request_.chip->bootHeader[8], static_cast<uint32_t>(lengths_[0]));
      if (!target_.Write({request_.chip->bootHeader.data(), headerLength}))
        return Fail(rom_text::kCantWriteTarget);
    }
    return Copy(input, lengths_[0]);
  }

  int WriteTable() {
    std::vector<uint8_t> table(TableSize());
    std::copy(kTableHeadMagic.begin(), kTableHeadMagic.end(), table.begin());
    StoreLe32(&table[4], 1u + static_cast<uint32_t>(std::popcount(mask_ & 0xFEu)));
    std::copy(kTableTailMagic.begin(), kTableTailMagic.end(), table.begin() + 12);

    uint8_t* record = table.data() + kTableHeadSize;
    for (int n = 0; n < kTableImages; ++n) {
      if (!Present(n)) continue;
      FillRecord(record, n, lengths_[static_cast<size_t>(n)]);
      record += kRecordSize;
    }
    const auto at = TablePosition();
    if (!at) return 0;
    if (!target_.SeekOver(*at) || !target_.Write(table)) return Fail(rom_text::kCantWriteTarget);
    return 0;
  }

  void FillRecord(uint8_t* r, int n, uint64_t length) {
    const std::string section = SectionOf(n);
    uint32_t kind = 0;
    for (uint32_t k = 0; k < kKindKeys.size(); ++k) {
      if (ParseListDecimal(ini_.GetValue(section, kKindKeys[k])) != 0) kind = k;
    }
    StoreLe16(r, static_cast<uint16_t>(n));
    StoreLe16(r + 2, static_cast<uint16_t>(kind));
    const uint32_t start = StartOf(n);
    if (request_.bankMode) {
      StoreLe16(r + 4, static_cast<uint16_t>(start));
      StoreLe16(r + 6, static_cast<uint16_t>(ParseListHex(ini_.GetValue(section, "End"))));
    } else {
      StoreLe32(r + 4, start);
    }
    StoreLe32(r + 8, ParseListHex(ini_.GetValue(section, "Exec")));
    StoreLe32(r + 12, static_cast<uint32_t>(length + (kind == kKindSystem ? HeaderLength() : 0)));
    // Keep a terminating zero: at most 31 bytes of the name.
    CopyNameField({r + 16, kNameSize}, ini_.GetValue(section, "Name"), kNameSize - 1);
  }

  const SpiRomRequest& request_;
  UserPrompt& prompt_;
  ProfileReader ini_;
  RomTarget target_;
  uint32_t mask_ = 0;
  uint64_t bootEnd_ = 0;  // E: just after the header and Image 0
  std::array<uint64_t, kSectionsMax> lengths_{};
  std::array<uint8_t, kChunk> buffer_{};
};

}  // namespace

int SpiRomBuilder(const SpiRomRequest& request, UserPrompt& prompt) { return Build(request, prompt).Run(); }

}  // namespace zorbel
