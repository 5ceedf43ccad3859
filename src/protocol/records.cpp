#include "protocol/records.h"

#include <fstream>

#include "app/file_replace.h"

namespace zorbel {

namespace {

// Longest prefix of at most maxBytes bytes that does not end inside a UTF-8
// sequence, so a cut name never leaves half a character on the board.
size_t Utf8CutLength(std::string_view text, size_t maxBytes) {
  if (text.size() <= maxBytes) return text.size();
  size_t cut = maxBytes;
  // Step back over continuation bytes to the lead byte of the split character.
  while (cut > 0 && (static_cast<uint8_t>(text[cut]) & 0xC0) == 0x80) --cut;
  return cut;
}

// The fields after the name, shared by both layouts; `at` is the offset of
// the type field.
void StoreTail(uint8_t* head, size_t at, const ImageHeadFields& f) {
  StoreLe32(head + at, f.type);
  StoreLe32(head + at + 4, f.execAddress);
  StoreLe32(head + at + 8, f.start);
  StoreLe32(head + at + 12, 0);
}

void StoreFront(uint8_t* head, const ImageHeadFields& f) {
  StoreLe32(head + 0, static_cast<uint32_t>(f.command));
  StoreLe32(head + 4, f.length);
  StoreLe32(head + 8, f.number);
}

}  // namespace

std::array<uint8_t, kRawHeadSize> EncodeRawHead(const RawHead& head) {
  std::array<uint8_t, kRawHeadSize> out{};
  StoreLe32(out.data() + 0, head.command);
  StoreLe32(out.data() + 4, head.length);
  StoreLe32(out.data() + 8, head.address);
  return out;
}

ImageHeadFields WithSystemImageZeros(ImageHeadFields fields) {
  if (fields.type == static_cast<uint32_t>(ImageKind::kSystemImage)) {
    fields.number = 0;
    fields.execAddress = 0;
    fields.start = 0;
  }
  return fields;
}

std::array<uint8_t, kImageNameSize> EncodeImageName(std::string_view name) {
  std::array<uint8_t, kImageNameSize> field{};
  const size_t n = Utf8CutLength(name, kImageNameSize);
  for (size_t i = 0; i < n; ++i) field[i] = static_cast<uint8_t>(name[i]);
  return field;
}

std::array<uint8_t, kImageHeadSize> EncodeLongImageHead(const ImageHeadFields& fields) {
  std::array<uint8_t, kImageHeadSize> out{};
  StoreFront(out.data(), fields);
  const auto name = EncodeImageName(fields.name);
  std::copy(name.begin(), name.end(), out.begin() + 12);
  StoreTail(out.data(), 12 + kImageNameSize, fields);
  return out;
}

std::array<uint8_t, kShortImageHeadSize> EncodeShortImageHead(const ImageHeadFields& fields) {
  std::array<uint8_t, kShortImageHeadSize> out{};
  StoreFront(out.data(), fields);
  // The first 16 bytes of the 32-byte field, again without half a character.
  const auto name = EncodeImageName(
      std::string_view(fields.name).substr(0, Utf8CutLength(fields.name, kShortImageNameSize)));
  std::copy(name.begin(), name.begin() + kShortImageNameSize, out.begin() + 12);
  StoreTail(out.data(), 12 + kShortImageNameSize, fields);
  return out;
}

std::vector<uint8_t> EncodeImageHead(const ImageHeadFields& fields, uint32_t familyMode) {
  if (familyMode != 0) {
    const auto head = EncodeLongImageHead(fields);
    return {head.begin(), head.end()};
  }
  const auto head = EncodeShortImageHead(fields);
  return {head.begin(), head.end()};
}

std::vector<uint8_t> EncodeEraseRangeHead(uint32_t firstBlock, uint32_t lastBlock, uint32_t familyMode) {
  ImageHeadFields fields;
  fields.command = HeadCommand::kErase;
  fields.number = kEraseAllImages;
  fields.execAddress = lastBlock;
  fields.start = firstBlock;
  std::vector<uint8_t> head = EncodeImageHead(fields, familyMode);
  head.resize(kImageHeadSize, 0);
  return head;
}

std::array<uint8_t, kReplySize> EncodeU32(uint32_t value) {
  std::array<uint8_t, kReplySize> out{};
  StoreLe32(out.data(), value);
  return out;
}

uint32_t DecodeU32(std::span<const uint8_t, kReplySize> bytes) { return LoadLe32(bytes.data()); }

BoardStatus DecodeBoardStatus(uint32_t word, StatusScope scope) {
  BoardStatus status;
  status.failed = (word & kStatusErrorMask) != 0;
  if (status.failed) return status;
  status.percent = scope == StatusScope::kImageBurn ? (word & 0xFFu) : (word & 0xFFFFu);
  status.done = status.percent == 100;
  return status;
}

std::array<uint8_t, 4> EncodeReservedSize(uint32_t size) {
  return {static_cast<uint8_t>(size & 0xFF), static_cast<uint8_t>((size >> 8) & 0xFF), 0, 0};
}

std::array<uint8_t, 2> EncodeFormatFlag(bool format) { return {static_cast<uint8_t>(format ? 1 : 0), 0}; }

std::array<uint8_t, 4> EncodeU32Parameter(uint32_t value) { return EncodeU32(value); }

bool ReadLoaderImageHeader(const std::string& path, LoaderImageHeader* out, std::string* error) {
  std::ifstream in;
  if (!OpenForReading(in, path, FileMode::kBinary)) {
    if (error != nullptr) *error = "cannot open " + path;
    return false;
  }
  std::array<uint8_t, kLoaderHeaderSize> bytes{};
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (static_cast<size_t>(in.gcount()) < kLoaderHeaderSize) {
    if (error != nullptr) *error = path + " is shorter than its 16-byte loader header";
    return false;
  }
  return ParseLoaderImageHeader(bytes, out);
}

}  // namespace zorbel
