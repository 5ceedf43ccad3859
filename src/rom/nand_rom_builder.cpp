#include "rom/nand_rom_builder.h"

#include <algorithm>
#include <array>
#include <vector>

#include "app/byte_order.h"
#include "app/profile_reader.h"
#include "rom/rom_file.h"
#include "rom/rom_layout.h"
#include "rom/rom_messages.h"

namespace zorbel {
namespace {

constexpr size_t kChunk = 4096;
constexpr int kMaxImages = 8;
constexpr size_t kNameSize = 32;

// Tested in this order; the last non-zero one sets the kind.
constexpr std::array<const char*, 4> kKindKeys = {"Data", "Execution", "ROMFS", "System"};

std::string SectionOf(int n) { return "Image " + std::to_string(n); }

std::array<uint8_t, kNandImageHeaderSize> BuildImageHeader(ProfileReader& ini, int number, uint32_t length) {
  const std::string section = SectionOf(number);
  std::array<uint8_t, kNandImageHeaderSize> h{};
  StoreLe32(&h[0], static_cast<uint32_t>(number));
  // Keep a terminating zero: at most 31 bytes of the name.
  CopyNameField({&h[4], kNameSize}, ini.GetValue(section, "Name"), kNameSize - 1);
  uint32_t kind = 0;
  for (uint32_t k = 0; k < kKindKeys.size(); ++k) {
    if (ParseListDecimal(ini.GetValue(section, kKindKeys[k])) != 0) kind = k;
  }
  const uint32_t exec = ParseListHex(ini.GetValue(section, "Exec"));
  StoreLe32(&h[36], kind);
  StoreLe32(&h[40], exec);
  StoreLe32(&h[44], ParseListHex(ini.GetValue(section, "Start")));
  std::copy(kRomMagic.begin(), kRomMagic.end(), h.begin() + 48);
  StoreLe32(&h[52], exec);
  StoreLe32(&h[56], length);
  return h;
}

int Fail(UserPrompt& prompt, const std::string& text) {
  prompt.ShowMessage(text);
  return -1;
}

}  // namespace

std::optional<NandBlockChoice> ParseNandBlockChoice(std::string_view text) {
  if (text == "16k") return NandBlockChoice::k16k;
  if (text == "128k") return NandBlockChoice::k128k;
  if (text == "256k") return NandBlockChoice::k256k;
  return std::nullopt;
}

uint32_t NandBlockChoiceSize(NandBlockChoice choice) {
  switch (choice) {
    case NandBlockChoice::k128k:
      return kNandBlock128k;
    case NandBlockChoice::k256k:
      return kNandBlock256k;
    default:
      return kNandBlock16k;
  }
}

uint32_t NandRomBlockSize(const NandRomRequest& request) {
  return request.vcomConnected ? request.boardBlockSize : NandBlockChoiceSize(request.choice);
}

int NandRomBuilder(const NandRomRequest& request, UserPrompt& prompt) {
  const uint32_t blockSize = NandRomBlockSize(request);
  if (!IsNandBlockSize(blockSize)) return Fail(prompt, rom_text::kInvalidBlockSize);

  ProfileReader ini;
  ini.SetPath(request.listFile);
  if (!ini.ReadFile()) return Fail(prompt, ini.Refusal().empty() ? rom_text::kCantOpenScript : ini.Refusal());

  struct Placement {
    uint32_t start;
    int number;
  };
  std::vector<Placement> images;
  const uint32_t mask = ini.ImageNumberMask("Image");
  for (int n = kMaxImages - 1; n >= 0; --n) {
    if (mask & (1u << n)) images.push_back({ParseListHex(ini.GetValue(SectionOf(n), "Start")), n});
  }
  std::stable_sort(images.begin(), images.end(),
                   [](const Placement& a, const Placement& b) { return a.start < b.start; });

  RomTarget target;
  if (std::string failure = OpenRomTarget(target, ini, rom_text::kCantOpenTarget); !failure.empty())
    return Fail(prompt, failure);

  std::array<uint8_t, kNandFileHeaderSize> fileHeader{};
  std::copy(kRomMagic.begin(), kRomMagic.end(), fileHeader.begin());
  StoreLe32(&fileHeader[4], request.imageCount);
  StoreLe32(&fileHeader[8], blockSize);
  if (!target.Write(fileHeader)) return Fail(prompt, rom_text::kCantWriteTarget);

  std::array<uint8_t, kChunk> buffer;
  for (const auto& image : images) {
    RomInput input;
    if (!input.Open(ini.GetValue(SectionOf(image.number), "Image")))
      return Fail(prompt, rom_text::kCantOpenImage);
    if (input.Size() > 0xFFFFFFFFu) return Fail(prompt, rom_text::kImageTooLarge);
    const auto length = static_cast<uint32_t>(input.Size());
    if (!target.Write(BuildImageHeader(ini, image.number, length)))
      return Fail(prompt, rom_text::kCantWriteTarget);
    // Exactly the length the header announces: a file that shrinks while
    // it is read would misplace every later image.
    for (uint64_t left = length; left > 0;) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(left, kChunk));
      if (input.Read({buffer.data(), want}) != want) return Fail(prompt, rom_text::kCantOpenImage);
      if (!target.Write({buffer.data(), want})) return Fail(prompt, rom_text::kCantWriteTarget);
      left -= want;
    }
    if (!target.WriteFill(NandImageFill(length, blockSize))) return Fail(prompt, rom_text::kCantWriteTarget);
  }
  if (!target.Commit()) return Fail(prompt, rom_text::kCantWriteTarget);
  prompt.ShowMessage(rom_text::kCreationSuccess);
  return 0;
}

}  // namespace zorbel
