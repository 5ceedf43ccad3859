#include "protocol/page_rules.h"

#include <algorithm>
#include <cstdio>

#include "app/paths.h"
#include "protocol/records.h"
#include "protocol/text_numbers.h"

namespace zorbel {
namespace {

// At most maxBytes bytes of text, ending on a character boundary.
std::string CutUtf8(std::string_view text, size_t maxBytes) {
  if (text.size() <= maxBytes) return std::string(text);
  size_t end = maxBytes;
  while (end > 0 && (static_cast<uint8_t>(text[end]) & 0xC0) == 0x80) --end;
  return std::string(text.substr(0, end));
}

}  // namespace

bool IsImageNumber(std::string_view text) {
  const auto number = ParseWholeDecimal(text);
  return number && *number >= 1 && *number <= static_cast<uint32_t>(INT32_MAX);
}

bool IsHexField(std::string_view text) { return ParseWholeHex(text).has_value(); }

std::string CheckTypedImageBurn(const BurnFields& fields) {
  const auto kind = static_cast<ImageKind>(fields.type);
  if (kind == ImageKind::kSystemImage) return {};
  const bool logo = kind == ImageKind::kLogo;
  bool missing = fields.imageNumber.empty() || fields.start.empty();
  if (!logo) missing = missing || fields.executeAddress.empty();
  if (missing) return page_text::kInputImageInformation;
  // A start read as signed 32 bits must be at least 1, as it always was.
  const auto start = ParseWholeHex(fields.start);
  if (!IsImageNumber(fields.imageNumber) || !start || static_cast<int32_t>(*start) < 1 ||
      (!logo && !IsHexField(fields.executeAddress))) {
    return page_text::kInputCorrectInformation;
  }
  return {};
}

std::string CheckNorImageBurn(const BurnFields& fields) {
  if (fields.imageNumber.empty() || fields.executeAddress.empty() || fields.start.empty()) {
    return page_text::kInputImageInformation;
  }
  if (!IsImageNumber(fields.imageNumber) || !IsHexField(fields.executeAddress) || !IsHexField(fields.start)) {
    return page_text::kInputCorrectInformation;
  }
  return {};
}

std::string CheckSdStartSector(const std::string& start) {
  constexpr uint32_t kLastReservedSector = 0x21;
  if (ParseWholeHex(start).value_or(0) <= kLastReservedSector) return page_text::kSdStartSectorTooSmall;
  return {};
}

std::string CheckVerifyNumber(const std::string& imageNumber, bool systemImage) {
  if (!systemImage && !IsImageNumber(imageNumber)) return page_text::kInputImageNoVerify;
  return {};
}

std::string CheckImageNumberGiven(const std::string& imageNumber) {
  if (!IsImageNumber(imageNumber)) return page_text::kInputImageNumber;
  return {};
}

std::string CheckReservedSize(const std::string& reservedMb, uint32_t totalMb) {
  const auto reserved = ParseWholeDecimal(reservedMb);
  if (!reserved) return page_text::kInputReservedSize;
  if (*reserved > totalMb) return page_text::kReservedLargerThanTotal;
  return {};
}

std::string CheckRawNorOffset(const std::string& offset) {
  if (!IsHexField(offset)) return page_text::kInputExecuteAddress;
  return {};
}

std::optional<uint32_t> ParseSpiReadBlocks(std::string_view text) {
  const auto count = ParseWholeDecimal(text);
  if (!count || *count < 1 || *count > kMaxSpiReadBlocks) return std::nullopt;
  return count;
}

std::string ProposedImageName(std::string_view filePath, uint32_t familyMode) {
  const std::string fileName = FileNamePart(filePath);
  const size_t dot = fileName.rfind('.');
  return FitImageName((dot == std::string::npos || dot == 0) ? fileName : fileName.substr(0, dot),
                      familyMode);
}

std::string FitImageName(std::string_view name, uint32_t familyMode) {
  const size_t field = familyMode != 0 ? kImageNameSize : kShortImageNameSize;
  // The board's name field keeps a terminator when the name had to be cut.
  if (name.size() > field) return CutUtf8(name, field - 1);
  return std::string(name);
}

const char* ImageTypeWord(uint32_t type, bool overVcom) {
  static constexpr const char* kWords[] = {"data", "execute", "romfs", "system", "logo"};
  const uint32_t known = overVcom ? 4 : 5;
  return type < known ? kWords[type] : "unknown";
}

std::string NorFlagLetters(uint32_t flags) {
  static constexpr char kLetters[] = {'a', 'c', 'x', 'f', 'z', 'r'};
  std::string out;
  for (size_t bit = 0; bit < sizeof(kLetters); ++bit) {
    if ((flags & (1u << bit)) != 0) out.push_back(kLetters[bit]);
  }
  return out;
}

std::string HexCell(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%x", static_cast<unsigned>(value));
  return text;
}

std::vector<ListColumn> ParseColumnSpecification(std::string_view text) {
  std::vector<ListColumn> columns;
  while (!text.empty()) {
    const size_t semicolon = text.find(';');
    const std::string_view entry = text.substr(0, semicolon);
    const size_t firstComma = entry.find(',');
    if (firstComma == std::string_view::npos) break;
    ListColumn column;
    column.title = std::string(entry.substr(0, firstComma));
    const size_t lastComma = entry.rfind(',');
    if (lastComma != firstComma) {
      const int alignment = AsciiToInt(entry.substr(firstComma + 1, lastComma - firstComma - 1));
      column.alignment = (alignment == 1 || alignment == 2) ? alignment : 0;
    }
    column.width = std::max(1, AsciiToInt(entry.substr(lastComma + 1)));
    columns.push_back(std::move(column));
    if (semicolon == std::string_view::npos) break;
    text.remove_prefix(semicolon + 1);
  }
  return columns;
}

}  // namespace zorbel
