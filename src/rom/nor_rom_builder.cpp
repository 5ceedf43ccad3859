#include "rom/nor_rom_builder.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

#include "app/byte_order.h"
#include "app/profile_reader.h"
#include "rom/rom_file.h"
#include "rom/rom_layout.h"
#include "rom/rom_messages.h"

namespace zorbel {
namespace {

constexpr size_t kNorBufferSize = 64 * 1024;
constexpr uint32_t kBootLoaderMax = 0x10000;
constexpr uint32_t kBootInfoOffset = 0x10000;
constexpr size_t kBootInfoSize = 48;
constexpr size_t kFooterSize = 52;
constexpr uint32_t kFooterSignature = 0xA0FFFF9F;
constexpr uint32_t kBootInfoAddress = 0xA0010000;
constexpr uint32_t kBootInfoFlags = 0x09;  // Active, File
constexpr const char* kBootInfoName = "BOOT INFO";
constexpr size_t kFooterNameSize = 16;
constexpr uint32_t kFlashOffsetMask = 0x00FFFFFF;
constexpr int kMaxImages = 8;

// Keys of [Boot Info] and [Image N] match by containment, first word wins,
// so the order of these lists matters.
enum class BootKey { kMac, kIp, kDhcp, kBufferBase, kBufferSize, kBaudrate, kSerialNumber, kPhy, kTurboMode };
constexpr std::array<std::string_view, 9> kBootWords = {
    "mac", "ip", "dhcp", "buffer_base", "buffer_size", "baudrate", "serial_number", "phy", "turbo_mode"};

enum class ImageKey {
  kName,
  kBase,
  kLoad,
  kActive,
  kExecution,
  kCopyToRam,
  kCompressed,
  kFile,
  kRomfs,
  kNoFooter
};
constexpr std::array<std::string_view, 10> kImageWords = {
    "Name", "Base", "Load", "Active", "Execution", "Copy to RAM", "Compressed", "File", "ROMFS", "No Footer"};

template <size_t N>
int MatchKey(std::string_view key, const std::array<std::string_view, N>& words) {
  for (size_t i = 0; i < N; ++i) {
    if (key.find(words[i]) != std::string_view::npos) return static_cast<int>(i);
  }
  return -1;
}

uint32_t ImageFlag(ImageKey key) {
  switch (key) {
    case ImageKey::kActive:
      return 0x01;
    case ImageKey::kCopyToRam:
      return 0x02;
    case ImageKey::kExecution:
      return 0x04;
    case ImageKey::kFile:
      return 0x08;
    case ImageKey::kCompressed:
      return 0x10;
    case ImageKey::kRomfs:
      return 0x20;
    default:
      return 0;
  }
}

uint32_t OneDigit(std::string_view text) {
  return text.empty() ? 0 : static_cast<uint32_t>(text.front() - '0');
}

// Six two-digit pairs, with or without a separator between pairs; parsing
// stops at the first pair that is not two hex digits.
void ParseMac(std::string_view text, uint8_t* out) {
  size_t step = 0;
  if (text.size() == 17) step = 3;
  if (text.size() == 12) step = 2;
  if (step == 0) return;
  for (size_t i = 0; i < 6; ++i) {
    const int hi = HexDigitValue(text[i * step]);
    const int lo = HexDigitValue(text[i * step + 1]);
    if (hi < 0 || lo < 0) return;
    out[i] = static_cast<uint8_t>(hi * 16 + lo);
  }
}

void ParseIp(std::string_view text, uint8_t* out) {
  for (size_t i = 0; i < 4; ++i) {
    const size_t dot = text.find('.');
    out[i] = static_cast<uint8_t>(ParseListDecimal(text.substr(0, dot)));
    if (dot == std::string_view::npos) return;
    text.remove_prefix(dot + 1);
  }
}

using BootInfo = std::array<uint8_t, kBootInfoSize>;

BootInfo BuildBootInfo(ProfileReader& ini) {
  static constexpr const char* kSection = "Boot Info";
  BootInfo info{};
  StoreLe32(&info[0], kBootInfoSize);
  StoreLe32(&info[4], 1);
  for (int i = 0; i < ini.GetNumValues(kSection); ++i) {
    const std::string key = ini.GetValueName(kSection, i);
    const std::string value = ini.GetValue(kSection, key);
    switch (static_cast<BootKey>(MatchKey(key, kBootWords))) {
      case BootKey::kMac:
        ParseMac(value, &info[8]);
        break;
      case BootKey::kIp:
        ParseIp(value, &info[14]);
        break;
      case BootKey::kDhcp:
        StoreLe32(&info[20], OneDigit(value));
        break;
      case BootKey::kPhy:
        StoreLe32(&info[24], OneDigit(value));
        break;
      case BootKey::kBufferBase:
        StoreLe32(&info[28], ParseListHex(value));
        break;
      case BootKey::kBufferSize:
        StoreLe32(&info[32], ParseListHex(value));
        break;
      case BootKey::kBaudrate:
        StoreLe32(&info[36], ParseListDecimal(value));
        break;
      case BootKey::kSerialNumber:
        StoreLe32(&info[40], ParseListDecimal(value));
        break;
      case BootKey::kTurboMode:
        StoreLe32(&info[44], OneDigit(value));
        break;
      default:
        break;
    }
  }
  return info;
}

struct Footer {
  uint32_t number = 0;
  uint32_t base = 0;
  uint32_t length = 0;
  uint32_t load = 0;
  std::array<uint8_t, kFooterNameSize> name{};
  uint32_t dataChecksum = 0;
  uint32_t flags = 0;
  bool noFooter = false;

  std::array<uint8_t, kFooterSize> Encode() const {
    std::array<uint8_t, kFooterSize> out{};
    StoreLe32(&out[0], number);
    StoreLe32(&out[4], base);
    StoreLe32(&out[8], length);
    StoreLe32(&out[12], load);
    StoreLe32(&out[16], load);  // execute address is the load address
    std::copy(name.begin(), name.end(), out.begin() + 20);
    StoreLe32(&out[36], dataChecksum);
    StoreLe32(&out[40], kFooterSignature);
    StoreLe32(&out[44], flags);
    StoreLe32(&out[48], NorRomChecksum({out.data(), 48}));
    return out;
  }
};

void ApplyImageKeys(ProfileReader& ini, const std::string& section, Footer& footer) {
  for (int i = 0; i < ini.GetNumValues(section); ++i) {
    const std::string key = ini.GetValueName(section, i);
    const std::string value = ini.GetValue(section, key);
    const bool on = !value.empty() && value.front() == '1';
    const auto which = static_cast<ImageKey>(MatchKey(key, kImageWords));
    switch (which) {
      case ImageKey::kName:
        // The footer's 16 bytes hold a 16-character name without a NUL, so a
        // longer one keeps its first 16 bytes.
        CopyNameField(footer.name, value, kFooterNameSize);
        break;
      case ImageKey::kBase:
        footer.base = ParseListHex(value);
        break;
      case ImageKey::kLoad:
        footer.load = ParseListHex(value);
        break;
      case ImageKey::kNoFooter:
        if (on) footer.noFooter = true;
        break;
      default:
        if (on) footer.flags |= ImageFlag(which);
        break;
    }
  }
}

class Build {
 public:
  Build(const NorRomRequest& request, UserPrompt& prompt) : request_(request), prompt_(prompt) {}

  int Run() {
    ini_.SetPath(request_.listFile);
    if (!ini_.ReadFile()) return Fail(ini_.Refusal().empty() ? rom_text::kCantOpenScript : ini_.Refusal());

    struct Placement {
      uint32_t base;
      int number;
    };
    std::vector<Placement> images;
    const uint32_t mask = ini_.ImageNumberMask("Image");
    for (int n = kMaxImages - 1; n >= 0; --n) {
      if (mask & (1u << n)) images.push_back({ParseListHex(ini_.GetValue(SectionOf(n), "Base")), n});
    }
    std::stable_sort(images.begin(), images.end(),
                     [](const Placement& a, const Placement& b) { return a.base < b.base; });

    if (std::string failure = OpenRomTarget(target_, ini_, rom_text::kCantOpenTarget); !failure.empty())
      return Fail(failure);
    if (int r = WriteBootArea(); r != 0) return r;
    for (const auto& image : images) {
      if (int r = WriteImage(image.number); r != 0) return r;
    }
    if (!target_.Commit()) return Fail(rom_text::kCantWriteTarget);
    prompt_.ShowMessage(rom_text::kCreationSuccess);
    return 0;
  }

 private:
  static std::string SectionOf(int n) { return "Image " + std::to_string(n); }

  int Fail(const std::string& text) {
    prompt_.ShowMessage(text);
    return -1;
  }

  int WriteBootArea() {
    RomInput boot;
    if (!boot.Open(ini_.GetValue("Boot Image", "Image"))) return Fail(rom_text::kCantOpenBootloader);
    if (boot.Size() > kBootLoaderMax) return Fail(rom_text::kBootTooLarge);
    const size_t got = boot.Read({buffer_.data(), kBootLoaderMax});
    if (!target_.Write({buffer_.data(), got}) || !target_.WriteFill(kBootInfoOffset - got)) {
      return Fail(rom_text::kCantWriteTarget);
    }
    boot.Close();

    const BootInfo info = BuildBootInfo(ini_);
    if (target_.Size() != kBootInfoOffset) return Fail(rom_text::kBootSizeError);

    Footer footer;
    footer.base = footer.load = kBootInfoAddress;
    footer.length = kBootInfoSize;
    CopyNameField(footer.name, kBootInfoName, kFooterNameSize);
    footer.dataChecksum = NorRomChecksum(info);
    footer.flags = kBootInfoFlags;
    const auto encoded = footer.Encode();
    if (!target_.Write(info) || !target_.WriteFill(kRomBlock64k - kBootInfoSize - kFooterSize) ||
        !target_.Write(encoded)) {
      return Fail(rom_text::kCantWriteTarget);
    }
    return 0;
  }

  int WriteImage(int number) {
    const std::string section = SectionOf(number);
    Footer footer;
    footer.number = static_cast<uint32_t>(number);
    RomInput input;
    if (!input.Open(ini_.GetValue(section, "Image"))) return Fail(rom_text::kCantOpenImage);
    // The footer records the rounded length in 32 bits.
    if (input.Size() > 0xFFFFFFFCu) return Fail(rom_text::kImageTooLarge);
    ApplyImageKeys(ini_, section, footer);

    const uint64_t offset = footer.base & kFlashOffsetMask;
    const uint64_t end = target_.Size();
    if (offset < end) return Fail(rom_text::kArrangementError);
    if (footer.base % kRomBlock64k != 0) return Fail(rom_text::kBaseNotAligned);
    if (!target_.WriteFill(offset - end)) return Fail(rom_text::kCantWriteTarget);

    NorChecksum sum;
    uint64_t length = 0;
    for (;;) {
      size_t got = input.Read(buffer_);
      // The last word is completed with erase-state bytes and written whole.
      while (got % 4 != 0) buffer_[got++] = kRomFill;
      length += got;
      // A file that grows while it is read stops here, not at a full disk.
      if (length > 0xFFFFFFFFu) return Fail(rom_text::kImageTooLarge);
      sum.Add({buffer_.data(), got});
      if (!target_.Write({buffer_.data(), got})) return Fail(rom_text::kCantWriteTarget);
      if (got < buffer_.size()) break;
    }
    footer.length = static_cast<uint32_t>(length);
    footer.dataChecksum = sum.Value();

    if (!footer.noFooter) {
      const uint64_t room = kRomBlock64k - target_.Position() % kRomBlock64k;
      const uint64_t fill = room >= kFooterSize ? room - kFooterSize : room + kRomBlock64k - kFooterSize;
      if (!target_.WriteFill(fill) || !target_.Write(footer.Encode()))
        return Fail(rom_text::kCantWriteTarget);
    }
    return 0;
  }

  const NorRomRequest& request_;
  UserPrompt& prompt_;
  ProfileReader ini_;
  RomTarget target_;
  std::vector<uint8_t> buffer_ = std::vector<uint8_t>(kNorBufferSize);
};

}  // namespace

int NorRomBuilder(const NorRomRequest& request, UserPrompt& prompt) { return Build(request, prompt).Run(); }

}  // namespace zorbel
