#include "rom/rom_list.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <utility>

#include "app/ascii_case.h"
#include "app/paths.h"
#include "app/profile_reader.h"
#include "app/tool_settings.h"
#include "rom/rom_file.h"
#include "rom/rom_layout.h"
#include "rom/rom_messages.h"

namespace zorbel {
namespace {

using Keys = std::vector<std::pair<std::string, std::string>>;
namespace text = rom_list_text;

constexpr const char* kTargetSection = "Target Image";
constexpr const char* kBootImageSection = "Boot Image";
constexpr const char* kBootInfoSection = "Boot Info";
constexpr const char* kPhySection = "PHY";
constexpr int kMaxListSections = 32;
constexpr int kMaxImageNumber = 7;
constexpr int kNorFirstImage = 1;
// A user-added PHY type's code in [Boot Info] phy.
constexpr const char* kUserPhyCode = "255";

std::string SectionOf(int number) { return "Image " + std::to_string(number); }

std::string Hex(uint32_t value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%x", value);
  return buf;
}

// Hand-edited files may lack the prefix; then the text is shown whole.
std::string WithoutPrefix(const std::string& value) {
  return value.size() >= 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X') ? value.substr(2) : value;
}

bool FlagSet(const std::string& value) { return !value.empty() && value.front() == '1'; }

// UTF-8 characters, counted by their lead bytes.
size_t CharCount(std::string_view s) {
  size_t n = 0;
  for (char c : s) n += (static_cast<uint8_t>(c) & 0xC0) != 0x80;
  return n;
}

std::string FirstChars(std::string_view s, size_t count) {
  size_t i = 0;
  for (size_t seen = 0; i < s.size(); ++i) {
    if ((static_cast<uint8_t>(s[i]) & 0xC0) != 0x80 && seen++ == count) break;
  }
  return std::string(s.substr(0, i));
}

struct KindKey {
  RomImageKind kind;
  const char* key;
  const char* word;  // the Type column
};
// In the order the builders test them: the last non-zero one wins.
constexpr KindKey kKindKeys[] = {{RomImageKind::kData, "Data", "data"},
                                 {RomImageKind::kExecute, "Execution", "execute"},
                                 {RomImageKind::kRomfs, "ROMFS", "romfs"},
                                 {RomImageKind::kSystem, "System", "system"},
                                 {RomImageKind::kLogo, "Logo", "Logo"}};

struct NorFlag {
  bool RomImage::*member;
  const char* key;
  char letter;  // 0: not shown in the Type column
};
// Writing order of the keys.
constexpr NorFlag kNorFlags[] = {{&RomImage::active, "Active", 'a'},     {&RomImage::copyToRam, "Copy to RAM", 'c'},
                                 {&RomImage::execution, "Execution", 'x'}, {&RomImage::compressed, "Compressed", 'z'},
                                 {&RomImage::file, "File", 'f'},          {&RomImage::romfs, "ROMFS", 'r'},
                                 {&RomImage::noFooter, "No Footer", 0}};
// Order of the Type column's letters.
constexpr const char* kNorLetterOrder = "acxfzr";

RomImageKind KindOf(ProfileReader& reader, const std::string& section, bool spi) {
  RomImageKind kind = RomImageKind::kData;
  for (const KindKey& k : kKindKeys) {
    if (k.kind == RomImageKind::kLogo && !spi) continue;
    if (ParseListDecimal(reader.GetValue(section, k.key)) != 0) kind = k.kind;
  }
  return kind;
}

const KindKey& KindKeyOf(RomImageKind kind) {
  for (const KindKey& k : kKindKeys) {
    if (k.kind == kind) return k;
  }
  return kKindKeys[0];
}

std::optional<std::string> ValueIfPresent(ProfileReader& reader, const char* section, const char* key) {
  const int s = reader.FindSection(section);
  if (s < 0 || reader.FindKey(s, key) < 0) return std::nullopt;
  return reader.GetValue(section, key);
}

}  // namespace

const char* RomListFileName(RomListKind kind) {
  switch (kind) {
    case RomListKind::kNor:
      return "mkrom.ini";
    case RomListKind::kNand:
      return "nandrom.ini";
    case RomListKind::kSpi:
      break;
  }
  return "spirom.ini";
}

std::string RomImageName(std::string_view filePath, uint32_t familyMode) {
  std::string name = FileNamePart(filePath);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.resize(dot);
  const size_t count = CharCount(name);
  if (familyMode == 1) return count > 32 ? FirstChars(name, 31) : name;
  return count > 16 ? FirstChars(name, 15) : name;
}

RomList::RomList(RomListKind kind, std::string path, RomListOptions options)
    : kind_(kind), path_(std::move(path)), options_(options) {}

std::string RomList::PathIn(const std::string& moduleDirectory, RomListKind kind) {
  const std::string folder = ModuleFile(moduleDirectory, kRomListFolder);
  std::error_code ec;
  std::filesystem::create_directories(Utf8Path(folder), ec);
  return ModuleFile(folder, RomListFileName(kind));
}

RomList::ReadResult RomList::Read(ProfileReader& reader) const {
  reader.SetPath(path_);
  if (reader.ReadFile()) return ReadResult::kRead;
  std::error_code ec;
  const auto status = std::filesystem::symlink_status(Utf8Path(path_), ec);
  return status.type() == std::filesystem::file_type::not_found ? ReadResult::kMissing : ReadResult::kUnreadable;
}

bool RomList::ReadForChange(ProfileReader& reader, bool missingIsEmpty, UserPrompt& prompt) const {
  const ReadResult read = Read(reader);
  if (read == ReadResult::kRead || (read == ReadResult::kMissing && missingIsEmpty)) return true;
  prompt.ShowMessage(text::kOpenConfigError);
  return false;
}

bool RomList::Save(const ProfileReader& reader, UserPrompt& prompt) const {
  if (reader.WriteFile()) return true;
  prompt.ShowMessage(text::kSaveConfigError);
  return false;
}

RomListRow RomList::RowOf(ProfileReader& reader, int number) const {
  const std::string section = SectionOf(number);
  RomListRow row{number, {std::to_string(number), reader.GetValue(section, "Name")}};
  if (kind_ == RomListKind::kNor) {
    std::string letters;
    for (const char* l = kNorLetterOrder; *l != 0; ++l) {
      for (const NorFlag& f : kNorFlags) {
        if (f.letter == *l && FlagSet(reader.GetValue(section, f.key))) letters += *l;
      }
    }
    row.columns.push_back(letters);
    row.columns.push_back(reader.GetValue(section, "Base"));
    row.columns.push_back(reader.GetValue(section, "Load"));
  } else {
    row.columns.push_back(KindKeyOf(KindOf(reader, section, kind_ == RomListKind::kSpi)).word);
    for (const char* key : {"Exec", "Start", "End"}) row.columns.push_back(reader.GetValue(section, key));
  }
  return row;
}

std::vector<RomListRow> RomList::Rows() const {
  ProfileReader reader;
  std::vector<RomListRow> rows;
  if (Read(reader) != ReadResult::kRead) return rows;
  for (int n = 0; n < kMaxListSections; ++n) {
    if (reader.FindSection(SectionOf(n)) >= 0) rows.push_back(RowOf(reader, n));
  }
  return rows;
}

std::optional<RomImage> RomList::Image(int number) const {
  ProfileReader reader;
  const std::string section = SectionOf(number);
  if (Read(reader) != ReadResult::kRead || reader.FindSection(section) < 0) return std::nullopt;
  RomImage image;
  image.number = number;
  image.path = reader.GetValue(section, "Image");
  image.name = reader.GetValue(section, "Name");
  if (kind_ == RomListKind::kNor) {
    image.base = WithoutPrefix(reader.GetValue(section, "Base"));
    image.load = WithoutPrefix(reader.GetValue(section, "Load"));
    for (const NorFlag& f : kNorFlags) image.*f.member = FlagSet(reader.GetValue(section, f.key));
  } else {
    image.kind = KindOf(reader, section, kind_ == RomListKind::kSpi);
    image.exec = WithoutPrefix(reader.GetValue(section, "Exec"));
    image.start = WithoutPrefix(reader.GetValue(section, "Start"));
  }
  return image;
}

bool RomList::CheckImage(const RomImage& image, int previousNumber, UserPrompt& prompt) const {
  const bool nor = kind_ == RomListKind::kNor;
  if (image.number < (nor ? kNorFirstImage : 0) || image.number > kMaxImageNumber) {
    prompt.ShowMessage(nor ? text::kNumberRangeNor : text::kNumberRange);
    return false;
  }
  if (image.number != previousNumber) {
    ProfileReader reader;
    if (Read(reader) == ReadResult::kRead && reader.FindSection(SectionOf(image.number)) >= 0) {
      prompt.ShowMessage(text::kDuplicate);
      return false;
    }
  }
  // A name without a file would only fail later, when the ROM is built.
  if (image.name.empty() || image.path.empty()) {
    prompt.ShowMessage(text::kChooseImage);
    return false;
  }
  if (nor) return true;
  if (image.number == 0 && image.kind != RomImageKind::kSystem) {
    prompt.ShowMessage(text::kImage0System);
    return false;
  }
  if (kind_ != RomListKind::kSpi) return true;
  if (image.start.empty()) {
    prompt.ShowMessage(text::kEnterStart);
    return false;
  }
  if (!options_.spiBankMode && ParseListHex(image.start) % kRomBlock64k != 0) {
    prompt.ShowMessage(text::kStart64k);
    return false;
  }
  return true;
}

std::optional<Keys> RomList::SectionKeys(const RomImage& image, bool modifying, UserPrompt& prompt) const {
  Keys keys = {{"Image", image.path}, {"Name", image.name}};
  if (kind_ == RomListKind::kNor) {
    keys.emplace_back("Base", "0x" + image.base);
    keys.emplace_back("Load", "0x" + image.load);
    for (const NorFlag& f : kNorFlags) keys.emplace_back(f.key, image.*f.member ? "1" : "0");
    return keys;
  }
  const bool spi = kind_ == RomListKind::kSpi;
  RomInput input;
  if (!input.Open(image.path)) {
    prompt.ShowMessage(text::kCantOpenFile);
    return std::nullopt;
  }
  const uint32_t start = ParseListHex(image.start);
  const uint32_t end = spi ? SpiEndPosition(start, input.Size(), options_.spiBankMode)
                           : NandEndBlock(start, input.Size(), options_.nandBlockSize);
  keys.emplace_back("Exec", spi && image.kind == RomImageKind::kSystem ? " " : "0x" + image.exec);
  keys.emplace_back("Start", "0x" + image.start);
  for (const char* key : {"Data", "Execution", "System", "ROMFS"}) keys.emplace_back(key, "0");
  // Modify has always reset the Logo kind under this spelling; the builder
  // reads only "Logo", which the new section then lacks unless it is a logo.
  if (spi) keys.emplace_back(modifying ? "LOGO" : "Logo", "0");
  keys.emplace_back(KindKeyOf(image.kind).key, "1");
  keys.emplace_back("End", Hex(end));
  return keys;
}

std::optional<RomListRow> RomList::Add(const RomImage& image, UserPrompt& prompt) const {
  ProfileReader reader;
  if (!ReadForChange(reader, true, prompt)) return std::nullopt;
  const std::string section = SectionOf(image.number);
  if (reader.FindSection(section) >= 0) {
    prompt.ShowMessage(text::kDuplicate);
    return std::nullopt;
  }
  const auto keys = SectionKeys(image, false, prompt);
  if (!keys) return std::nullopt;
  for (const auto& [key, value] : *keys) reader.SetValue(section, key, value, true);
  if (!Save(reader, prompt)) return std::nullopt;
  return RowOf(reader, image.number);
}

std::optional<RomListRow> RomList::Modify(int previousNumber, const RomImage& image, UserPrompt& prompt) const {
  ProfileReader reader;
  if (!ReadForChange(reader, false, prompt)) return std::nullopt;
  const std::string section = SectionOf(image.number);
  if (image.number != previousNumber && reader.FindSection(section) >= 0) {
    prompt.ShowMessage(text::kDuplicate);
    return std::nullopt;
  }
  const auto keys = SectionKeys(image, true, prompt);
  if (!keys) return std::nullopt;
  reader.DeleteKey(SectionOf(previousNumber));
  for (const auto& [key, value] : *keys) reader.SetValue(section, key, value, true);
  if (!Save(reader, prompt)) return std::nullopt;
  return RowOf(reader, image.number);
}

bool RomList::Remove(int number, UserPrompt& prompt) const {
  ProfileReader reader;
  if (!ReadForChange(reader, false, prompt)) return false;
  if (!reader.DeleteKey(SectionOf(number))) return true;  // already gone from the file
  return Save(reader, prompt);
}

bool RomList::CheckMakeable(UserPrompt& prompt) const {
  ProfileReader reader;
  const ReadResult read = Read(reader);
  // NOR keeps its boot settings in the file too: a missing one starts empty.
  if (read == ReadResult::kUnreadable || (read == ReadResult::kMissing && kind_ != RomListKind::kNor)) {
    prompt.ShowMessage(rom_text::kCantOpenScript);
    return false;
  }
  if (kind_ != RomListKind::kNor && reader.FindSection(SectionOf(0)) < 0) {
    prompt.ShowMessage(text::kNoImage0);
    return false;
  }
  return true;
}

std::string RomList::FolderOf(const char* section) const {
  ProfileReader reader;
  if (Read(reader) != ReadResult::kRead) return kDefaultFolder;
  const std::string folder = FolderPart(reader.GetValue(section, "Image"));
  return folder.empty() ? std::string(kDefaultFolder) : folder;
}

std::string RomList::TargetFolder() const { return FolderOf(kTargetSection); }

std::string RomList::BootloaderFolder() const { return FolderOf(kBootImageSection); }

bool RomList::StoreTarget(const std::string& romPath, UserPrompt& prompt) const {
  ProfileReader reader;
  if (Read(reader) != ReadResult::kRead) {
    prompt.ShowMessage(rom_text::kCantOpenScript);
    return false;
  }
  reader.SetValue(kTargetSection, "Image", romPath, true);
  return Save(reader, prompt);
}

NorBootSettings RomList::LoadBoot() const {
  NorBootSettings boot;
  ProfileReader reader;
  // No file yet: the first built-in PHY type rather than no selection.
  if (Read(reader) != ReadResult::kRead) return boot;
  auto take = [&](const char* section, const char* key, auto apply) {
    if (const auto v = ValueIfPresent(reader, section, key)) apply(*v);
  };
  take(kBootImageSection, "Image", [&](const std::string& v) { boot.bootloaderPath = v; });
  take(kBootImageSection, "Name", [&](const std::string& v) { boot.imageName = v; });
  take(kBootInfoSection, "mac", [&](const std::string& v) { boot.mac = v; });
  take(kBootInfoSection, "ip", [&](const std::string& v) {
    std::string_view rest = v;
    for (int& part : boot.ip) {
      const size_t dot = rest.find('.');
      part = static_cast<int>(ParseListDecimal(rest.substr(0, dot)) & 0xFF);
      rest = dot == std::string_view::npos ? std::string_view() : rest.substr(dot + 1);
    }
  });
  take(kBootInfoSection, "dhcp", [&](const std::string& v) { boot.dhcp = FlagSet(v); });
  take(kBootInfoSection, "buffer_base", [&](const std::string& v) { boot.bufferBase = WithoutPrefix(v); });
  take(kBootInfoSection, "buffer_size", [&](const std::string& v) { boot.bufferSize = WithoutPrefix(v); });
  take(kBootInfoSection, "baudrate", [&](const std::string& v) { boot.baudrate = v; });
  take(kBootInfoSection, "serial_number", [&](const std::string& v) { boot.serialNumber = v; });
  take(kBootInfoSection, "turbo_mode", [&](const std::string& v) { boot.turbo = FlagSet(v); });
  for (int i = 0; i < reader.GetNumValues(kPhySection); ++i) boot.phys.push_back(reader.GetValueName(kPhySection, i));
  const int phy = std::atoi(reader.GetValue(kBootInfoSection, "phy").c_str());
  boot.phy = phy == 0 || phy == 1 ? phy : static_cast<int>(boot.phys.size()) - 1;
  return boot;
}

bool RomList::StoreBoot(const NorBootSettings& boot, const std::string& romPath, UserPrompt& prompt) const {
  ProfileReader reader;
  if (Read(reader) == ReadResult::kUnreadable) {
    prompt.ShowMessage(rom_text::kCantOpenScript);
    return false;
  }
  reader.SetValue(kTargetSection, "Image", romPath, true);
  if (boot.bootloaderPath.empty()) {
    prompt.ShowMessage(text::kChooseBootloader);
    return false;
  }
  reader.SetValue(kBootImageSection, "Image", boot.bootloaderPath, true);
  reader.SetValue(kBootImageSection, "Name", boot.imageName, true);
  if (boot.mac.size() < 17) {
    prompt.ShowMessage(text::kInvalidMac);
    return false;
  }
  char ip[32];
  std::snprintf(ip, sizeof ip, "%d.%d.%d.%d", boot.ip[0], boot.ip[1], boot.ip[2], boot.ip[3]);
  const Keys info = {{"mac", boot.mac},
                     {"ip", ip},
                     {"dhcp", boot.dhcp ? "1" : "0"},
                     {"phy", boot.phy < 2 ? std::to_string(boot.phy) : kUserPhyCode},
                     {"buffer_base", "0x" + boot.bufferBase},
                     {"buffer_size", "0x" + boot.bufferSize},
                     {"baudrate", boot.baudrate},
                     {"serial_number", boot.serialNumber},
                     {"turbo_mode", boot.turbo ? "1" : "0"}};
  for (const auto& [key, value] : info) reader.SetValue(kBootInfoSection, key, value, true);
  return Save(reader, prompt);
}

bool RomList::CheckPhyName(const std::string& name, const std::vector<std::string>& entries,
                           UserPrompt& prompt) const {
  // Family boards take names as long as their image names.
  const bool family = options_.familyMode == 1;
  if (CharCount(name) > (family ? 32u : 16u)) {
    prompt.ShowMessage(family ? text::kPhyTooLong32 : text::kPhyTooLong16);
    return false;
  }
  for (const std::string& entry : entries) {
    if (EqualsIgnoringCase(entry, name)) {
      prompt.ShowMessage(text::kPhyDuplicate);
      return false;
    }
  }
  return !name.empty();
}

bool RomList::AddPhy(const std::string& name, UserPrompt& prompt) const {
  ProfileReader reader;
  // The first PHY type may come before any image: a missing file starts empty.
  if (name.empty() || !ReadForChange(reader, true, prompt)) return false;
  reader.SetValue(kPhySection, name, name, true);
  return Save(reader, prompt);
}

bool RomList::DeletePhy(int index, const std::string& name, UserPrompt& prompt) const {
  if (index < static_cast<int>(kBuiltInPhys.size())) {
    prompt.ShowMessage(text::kPhyDefault);
    return false;
  }
  ProfileReader reader;
  if (!ReadForChange(reader, false, prompt)) return false;
  reader.DeleteValue(kPhySection, name);
  reader.SetValue(kBootInfoSection, "phy", "0", true);
  return Save(reader, prompt);
}

}  // namespace zorbel
