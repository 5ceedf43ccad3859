#include "rom/spi_rom_builder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <vector>

#include "app/byte_order.h"
#include "app/profile_reader.h"
#include "rom/rom_file.h"
#include "rom/rom_layout.h"
#include "rom/rom_messages.h"

namespace zorbel {
namespace {

constexpr size_t kChunk = 4096;
constexpr int kTableImages = 8;     // sections with a table record and a say in the file length
constexpr int kSectionsMax = 32;    // sections the list file can name
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
    if (!ini_.ReadFile()) return Fail(rom_text::kCantOpenScript);
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

    if (!target_.Open(ini_.GetValue("Target Image", "Image"))) return Fail(rom_text::kCantOpenTarget);
    if (!target_.WriteFill(total) || !target_.Seek(0)) return Fail(rom_text::kCantWriteTarget);

    if (int r = WriteBootImage(); r != 0) return r;
    if (int r = WriteTable(); r != 0) return r;
    // Descending, so where two images overlap the lower-numbered one is on top.
    for (int n = kSectionsMax - 1; n >= 1; --n) {
      if (!Present(n)) continue;
      RomInput input;
      if (!input.Open(ImagePath(n))) return Fail(rom_text::kCantOpenImage);
      if (!target_.Seek(Position(StartOf(n)))) return Fail(rom_text::kCantWriteTarget);
      if (int r = Copy(input); r != 0) return r;
    }
    if (!target_.Commit()) return Fail(rom_text::kCantWriteTarget);
    prompt_.ShowMessage(rom_text::kCreationSuccess);
    return 0;
  }

 private:
  int Fail(const char* text) {
    prompt_.ShowMessage(text);
    return -1;
  }

  bool Present(int n) const { return (mask_ >> n) & 1u; }
  std::string ImagePath(int n) { return ini_.GetValue(SectionOf(n), "Image"); }
  uint32_t StartOf(int n) { return ParseListHex(ini_.GetValue(SectionOf(n), "Start")); }
  uint64_t Position(uint32_t start) const { return request_.bankMode ? uint64_t{start} * kRomBlock64k : start; }

  uint32_t HeaderLength() const {
    if (request_.chip == nullptr) return 0;
    if (request_.chipFamily == 1) return kFamilyOneHeaderSize;
    if (request_.chipFamily == 2 || request_.chipFamily == 3) {
      return std::min<uint32_t>(request_.chip->bootHeaderLength, kBootHeaderCapacity);
    }
    return 0;
  }

  int Copy(RomInput& input) {
    for (;;) {
      const size_t got = input.Read(buffer_);
      if (!target_.Write({buffer_.data(), got})) return Fail(rom_text::kCantWriteTarget);
      if (got < buffer_.size()) return 0;
    }
  }

  int WriteBootImage() {
    RomInput input;
    if (!input.Open(ImagePath(0))) return Fail(rom_text::kCantOpenBootloader);
    if (input.Size() > 0xFFFFFFFFu) return Fail(rom_text::kImageTooLarge);
    const uint32_t headerLength = HeaderLength();
    if (headerLength > 0) {
      StoreLe32(&request_.chip->bootHeader[8], static_cast<uint32_t>(input.Size()));
      if (!target_.Write({request_.chip->bootHeader.data(), headerLength})) return Fail(rom_text::kCantWriteTarget);
    }
    if (int r = Copy(input); r != 0) return r;
    bootEnd_ = target_.Position();
    return 0;
  }

  int WriteTable() {
    const int count = std::popcount(mask_ & 0xFFu);
    std::vector<uint8_t> table(kTableHeadSize + kRecordSize * static_cast<size_t>(count));
    std::copy(kTableHeadMagic.begin(), kTableHeadMagic.end(), table.begin());
    StoreLe32(&table[4], 1u + static_cast<uint32_t>(std::popcount(mask_ & 0xFEu)));
    std::copy(kTableTailMagic.begin(), kTableTailMagic.end(), table.begin() + 12);

    uint8_t* record = table.data() + kTableHeadSize;
    for (int n = 0; n < kTableImages; ++n) {
      if (!Present(n)) continue;
      RomInput input;
      if (!input.Open(ImagePath(n))) return Fail(rom_text::kCantOpenImage);
      FillRecord(record, n, input.Size());
      record += kRecordSize;
    }

    // The table goes where a counter walking up from the end of the boot
    // image first meets a multiple of 0xFC00 within its 64 KiB bank.
    const uint64_t counter = bootEnd_ + (request_.bankMode ? 0 : kTableHeadSize);
    if (counter % kRomBlock64k == 0) return 0;
    const uint64_t bankEnd = (counter / kRomBlock64k + 1) * kRomBlock64k;
    const uint64_t mark = (counter + kTableMark - 1) / kTableMark * kTableMark;
    if (mark >= bankEnd) return 0;
    if (!target_.Seek(bootEnd_ + (mark - counter)) || !target_.Write(table)) {
      return Fail(rom_text::kCantWriteTarget);
    }
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
  uint64_t bootEnd_ = 0;
  std::array<uint8_t, kChunk> buffer_{};
};

}  // namespace

int SpiRomBuilder(const SpiRomRequest& request, UserPrompt& prompt) { return Build(request, prompt).Run(); }

}  // namespace zorbel
