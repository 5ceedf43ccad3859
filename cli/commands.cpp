#include "commands.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <bit>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "app/file_replace.h"
#include "app/json.h"
#include "app/paths.h"
#include "app/profile_reader.h"
#include "app/tool_settings.h"
#include "app/version.h"
#include "console.h"
#include "interrupt.h"
#include "protocol/ms_operations.h"
#include "protocol/operation_support.h"
#include "protocol/page_rules.h"
#include "protocol/records.h"
#include "protocol/table_read.h"
#include "protocol/text_numbers.h"
#include "protocol/vcom_operations.h"
#include "recipe.h"
#include "rom/nand_block_size.h"
#include "rom/nand_rom_builder.h"
#include "rom/nor_rom_builder.h"
#include "rom/rom_messages.h"
#include "rom/spi_rom_builder.h"
#include "session.h"
#include "settings/delivery.h"
#include "settings/device_settings.h"
#include "station.h"
#include "terminal.h"

namespace zorbel::cli {
namespace {

constexpr const char* kProgram = "zorbel";
constexpr uint32_t kNandRomHeaderSize = 12;
constexpr const char* kImageSectionPrefix = "Image ";
constexpr const char* kInterrupted = "Ctrl+C was pressed during the operation; the board may hold part of the data.";

// ---- option values ------------------------------------------------------------
struct ImageOptions {
  std::string medium;
  std::string file;
  std::string number;
  std::string kind;
  std::string exec;
  std::string start;
  std::string offset;
  std::string rawOffset = "0";  // the raw NOR page starts with "0"
  std::string flags;
  std::string name;
  bool all = false;
  bool systemArea = false;
  bool json = false;
  bool convert = false;
  bool run = false;
  bool format = false;
  std::string blocks;
  std::string address = "8000";
  std::string size;
};

struct SettingsOptions {
  DeviceSettings form;
  std::string encryption = "wpa";
  std::string ip = "dhcp";
  std::string route = "sdram";
  bool filesOnly = false;
};

struct MkromOptions {
  std::string medium;
  std::string listFile;
  std::string blockSize = "16k";
  bool bankMode = false;
  int family = 0;
};

const std::map<std::string, Medium> kMedia = {
    {"nor", Medium::kNor}, {"nand", Medium::kNand}, {"spi", Medium::kSpi}, {"sd", Medium::kSd}};
const std::map<std::string, ImageKind> kKinds = {{"data", ImageKind::kData},
                                                 {"execute", ImageKind::kExecute},
                                                 {"romfs", ImageKind::kRomFs},
                                                 {"system", ImageKind::kSystemImage},
                                                 {"logo", ImageKind::kLogo}};
const std::map<std::string, uint32_t> kNorFlags = {{"active", ImageTypeFlags::kActive},
                                                   {"copy2ram", ImageTypeFlags::kCopy2Ram},
                                                   {"exec", ImageTypeFlags::kExec},
                                                   {"file", ImageTypeFlags::kFile},
                                                   {"compressed", ImageTypeFlags::kCompressed},
                                                   {"romfs", ImageTypeFlags::kRomFs}};

// One usage line per command, shown with every usage error.
const std::map<std::string, std::string> kUsage = {
    {"",
     "zorbel [--port PATH | --disk PATH --family 0..3 | --virtual-board=KIND[:DIR]] [--dir PATH] [--yes] "
     "COMMAND ..."},
    {"connect", "zorbel connect"},
    {"sdram", "zorbel sdram FILE [--address HEX] [--run]"},
    {"burn",
     "zorbel burn nand|spi|sd FILE --number N --kind data|execute|romfs|system|logo [--exec HEX] [--start "
     "HEX] "
     "[--name NAME] | zorbel burn nor FILE --number N --exec HEX --offset HEX [--flags F,...] [--name NAME]"},
    {"verify", "zorbel verify nand|spi|sd|nor FILE --number N [the burn's fields]"},
    {"burn-raw", "zorbel burn-raw nor|nand|spi FILE [--offset HEX] [--convert]"},
    {"verify-raw", "zorbel verify-raw nor|nand|spi FILE [--offset HEX] [--convert]"},
    {"read-spi", "zorbel read-spi FILE --blocks N"},
    {"erase", "zorbel erase nand|spi|nor|sd (--number N | --all | --system-area)"},
    {"modify", "zorbel modify nand|spi|nor|sd --number N (--kind data|execute|romfs | --flags F,...)"},
    {"table", "zorbel table nand|spi|nor|sd [--json]"},
    {"reserve", "zorbel reserve nand|sd SIZE_MB [--format]"},
    {"nand-size", "zorbel nand-size"},
    {"sd-size", "zorbel sd-size"},
    {"settings",
     "zorbel settings --name N --ssid S --password P [--encryption wpa|wep|none] [--ip dhcp | --ip fix "
     "--address A "
     "--netmask M --gateway G --dns0 D --dns1 D] [--route sdram|spi] [--files-only]"},
    {"mkrom",
     "zorbel mkrom nor|nand|spi LISTFILE [--block-size 16k|128k|256k] [--bank-mode] [--family 0..3]"},
    {"nand-check", "zorbel nand-check FILE [--convert]"},
    {"run", "zorbel [--port PATH | --disk PATH | --virtual-board=KIND[:DIR]] run RECIPE [--log FILE]"},
    {"station",
     "zorbel [--virtual-board=KIND[:DIR] ...] station RECIPE [--log FILE] [--count N] [--plug-every MS]"},
};

// What one run of a command has at hand.
struct Run {
  GlobalOptions global;
  ConsoleLine& line;
  ConsolePrompt& prompt;
  ConsoleProgress& progress;
  std::string command;
  std::FILE* out;  // the command's data: tables, sizes, counts
  AbortEvent& abort;
  std::string* refusal = nullptr;  // checking a recipe line: a usage error's text goes here
};

int UsageError(Run& run, const std::string& text) {
  if (run.refusal != nullptr) {
    *run.refusal = text.empty() ? "the line does not fit: " + kUsage.at(run.command) : text;
    return kExitUsage;
  }
  if (!text.empty()) run.line.PrintText(text);
  const auto usage = kUsage.find(run.command);
  run.line.PrintText("usage: " + (usage != kUsage.end() ? usage->second : kUsage.at("")));
  return kExitUsage;
}

// What the options name is refused (not how they are written): a recipe
// line's check keeps it as it keeps a usage error.
int Refused(Run& run, const std::string& text) {
  if (run.refusal != nullptr) return UsageError(run, text);
  run.prompt.ShowMessage(text);
  return kExitFailed;
}

int Outcome(Run& run, int result, const char* okText, const char* failedText) {
  run.progress.Finish();
  const char* text = result == 1 ? okText : failedText;
  if (text != nullptr) run.prompt.ShowMessage(text);
  // Disk operations do not stop for it, so this says only what happened.
  if (result != 1 && run.abort.IsSet()) run.line.PrintText(kInterrupted);
  return result == 1 ? kExitOk : kExitFailed;
}

// Every command that changes the board asks first, whatever its page does:
// a script says --yes, and without a terminal nobody is there to say OK.
bool Confirm(Run& run) { return run.prompt.AskOkCancel(page_text::kConfirmOperation); }

std::optional<uint32_t> ParseFlags(const std::string& text) {
  uint32_t flags = 0;
  size_t pos = 0;
  while (pos <= text.size() && !text.empty()) {
    const size_t comma = text.find(',', pos);
    const std::string word = text.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
    const auto flag = kNorFlags.find(word);
    if (flag == kNorFlags.end()) return std::nullopt;
    flags |= flag->second;
    if (comma == std::string::npos) break;
    pos = comma + 1;
  }
  return flags;
}

uint64_t FileLength(const std::string& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(Utf8Path(path), ec);
  return ec ? 0 : size;
}

// ---- image burn and verify ------------------------------------------------------
struct ImageRequest {
  Medium medium = Medium::kNand;
  HeadFields head;
};

// The head fields from the options, checked as the add page checks them.
// Empty on success, else the text of the refusal (usage errors start with '-').
std::string BuildImageRequest(const ImageOptions& o, bool verify, ImageRequest& request) {
  request.medium = kMedia.at(o.medium);
  HeadFields& head = request.head;
  head.imageNumber = o.number;
  head.executeAddress = o.exec;
  if (request.medium == Medium::kNor) {
    if (!o.kind.empty()) return "--kind is for nand, spi and sd images; nor images take --flags";
    const auto flags = ParseFlags(o.flags);
    if (!flags) return "--flags takes active,copy2ram,exec,file,compressed,romfs";
    head.imageType = *flags;
    head.start = o.offset;
    if (verify) return CheckVerifyNumber(o.number, false);
    return CheckNorImageBurn({o.number, o.exec, o.offset, 0});
  }
  if (!o.flags.empty() || !o.offset.empty()) return "--flags and --offset are for nor images";
  if (o.kind.empty()) return "--kind is required";
  head.imageType = static_cast<uint32_t>(kKinds.at(o.kind));
  head.start = o.start;
  const bool systemImage = head.imageType == static_cast<uint32_t>(ImageKind::kSystemImage);
  // A System Image's number, address and start are not the board's business.
  head.imageNumberEnabled = !systemImage;
  if (verify) return CheckVerifyNumber(o.number, systemImage);
  return CheckTypedImageBurn({o.number, o.exec, o.start, head.imageType});
}

// A fresh process has no head of an earlier burn: the verify's head is the
// one the burn with these options sent, for this file's length.
KeptHead KeptHeadFor(const HeadFields& head, Medium medium, uint32_t length) {
  KeptHead kept;
  kept.command = static_cast<uint32_t>(HeadCommand::kVerify);
  kept.length = length;
  kept.type = head.imageType;
  const bool systemImage =
      medium != Medium::kNor && head.imageType == static_cast<uint32_t>(ImageKind::kSystemImage);
  if (!systemImage) {
    kept.number = ScanDecimal(head.imageNumber).value_or(0);
    kept.executeAddress = ScanHex(head.executeAddress).value_or(0);
    kept.start = ScanHex(head.start).value_or(0);
  }
  SetKeptName(kept, head.imageName);
  return kept;
}

int ImageCommand(Run& run, const ImageOptions& o, bool verify) {
  ImageRequest request;
  if (std::string refusal = BuildImageRequest(o, verify, request); !refusal.empty()) {
    return UsageError(run, refusal);
  }
  const Medium medium = request.medium;
  if (!verify && !Confirm(run)) return kExitFailed;
  if (!verify && medium == Medium::kSd) {
    if (std::string refusal = CheckSdStartSector(o.start); !refusal.empty()) return UsageError(run, refusal);
  }
  Session session(run.global, run.line, run.prompt, run.progress, run.abort);
  if (!session.Connect(false)) return kExitFailed;
  OperationContext ctx = session.Context();
  ctx.filePath = o.file;
  ctx.head = request.head;
  const uint32_t familyMode = session.State().familyMode;
  ctx.head.imageName =
      o.name.empty() ? ProposedImageName(o.file, familyMode) : FitImageName(o.name, familyMode);
  KeptHead kept;
  if (verify) kept = KeptHeadFor(ctx.head, medium, static_cast<uint32_t>(FileLength(o.file)));
  ctx.keptHead = &kept;

  const bool disk = UsesDiskVariant(medium, session.State());
  int result = 0;
  if (verify) {
    if (disk) {
      result = MsVerify(ctx, medium, DataKind::kImage);
    } else {
      result = VcomVerify(ctx, medium, DataKind::kImage);
    }
    return Outcome(run, result, page_text::kVerifyOk, page_text::kVerifyFailed);
  }
  if (disk) {
    result = MsWriteImage(ctx, medium, DataKind::kImage);
  } else {
    result = VcomBurnImage(ctx, medium);
  }
  // A failed NOR burn has told its reason already.
  return Outcome(run, result, page_text::kBurnOk, medium == Medium::kNor ? nullptr : page_text::kBurnFailed);
}

// ---- raw data ---------------------------------------------------------------------
// The NAND ROM file's image count, from the block-size check against the board.
std::optional<uint32_t> CheckNandRom(Run& run, Session& session, const std::string& file) {
  const NandCheckResult check =
      NandBlockSizeCheck(file, session.State().connection.portPath, session.Port(), session.Prompt());
  if (check.result != 1) {
    run.prompt.ShowMessage(page_text::kInvalidNandImage);
    return std::nullopt;
  }
  return check.imageCount;
}

int RawCommand(Run& run, const ImageOptions& o, bool verify) {
  const Medium medium = kMedia.at(o.medium);
  if (medium != Medium::kNor && o.rawOffset != "0") return UsageError(run, "--offset is for nor");
  const std::string& offset = o.rawOffset;
  if (!verify && medium == Medium::kNor) {
    if (std::string refusal = CheckRawNorOffset(offset); !refusal.empty()) return UsageError(run, refusal);
  }
  if (!verify && !Confirm(run)) return kExitFailed;
  Session session(run.global, run.line, run.prompt, run.progress, run.abort);
  if (!session.Connect(false)) return kExitFailed;
  OperationContext ctx = session.Context();
  ctx.filePath = o.file;
  ctx.head.address = offset;
  const bool disk = session.OverDisk();
  uint64_t length = FileLength(o.file);
  KeptHead kept;
  ctx.keptHead = &kept;
  if (medium == Medium::kNand) {
    const auto count = CheckNandRom(run, session, o.file);
    if (!count) return kExitFailed;
    ctx.head.imageCount = *count;
    kept.number = *count;
    length = length >= kNandRomHeaderSize ? length - kNandRomHeaderSize : 0;
  }
  if (medium == Medium::kNor) kept.number = ScanHex(offset).value_or(0);
  kept.length = static_cast<uint32_t>(length);

  // The raw NAND page has only the COM-port variants.
  const bool useDisk = disk && medium != Medium::kNand;
  if (verify) {
    const int result =
        useDisk ? MsVerify(ctx, medium, DataKind::kRaw) : VcomVerify(ctx, medium, DataKind::kRaw);
    return Outcome(run, result, page_text::kVerifyOk, page_text::kVerifyFailed);
  }
  if (useDisk) {
    const int result = MsWriteImage(ctx, medium, DataKind::kRaw);
    if (medium == Medium::kNor) {
      return Outcome(run, result, page_text::kDownloadOk, page_text::kRawNorDownloadFailed);
    }
    return Outcome(run, result, page_text::kBurnOk, page_text::kBurnFailed);
  }
  return Outcome(run, VcomBurnRaw(ctx, medium), page_text::kBurnOk, nullptr);
}

int ReadSpiCommand(Run& run, const ImageOptions& o) {
  const auto blocks = ParseSpiReadBlocks(o.blocks);
  if (!blocks) return UsageError(run, page_text::kWrongBlocks);
  // Refused before the board is touched: the read-back would fail only at its end.
  if (std::string refusal = WriteTargetRefusal(o.file); !refusal.empty()) return Refused(run, refusal);
  Session session(run.global, run.line, run.prompt, run.progress, run.abort);
  if (!session.Connect(false)) return kExitFailed;
  OperationContext ctx = session.Context();
  ctx.filePath = o.file;
  const int result = MsReadRawSpi(ctx, *blocks * kSpiReadBlockSize);
  return Outcome(run, result, page_text::kReadOk, page_text::kReadFailed);
}

// ---- erase, modify ------------------------------------------------------------------
int EraseCommand(Run& run, const ImageOptions& o) {
  const Medium medium = kMedia.at(o.medium);
  const int choices = (o.number.empty() ? 0 : 1) + (o.all ? 1 : 0) + (o.systemArea ? 1 : 0);
  if (choices > 1) return UsageError(run, "give one of --number, --all, --system-area");
  if (o.systemArea && medium != Medium::kNand) return UsageError(run, "--system-area is for nand");
  const EraseChoice choice = o.all          ? EraseChoice::kAll
                             : o.systemArea ? EraseChoice::kSystemArea
                                            : EraseChoice::kImage;
  if (choice == EraseChoice::kImage) {
    if (std::string refusal = CheckImageNumberGiven(o.number); !refusal.empty())
      return UsageError(run, refusal);
  }
  if (!Confirm(run)) return kExitFailed;
  Session session(run.global, run.line, run.prompt, run.progress, run.abort);
  if (!session.Connect(false)) return kExitFailed;
  OperationContext ctx = session.Context();
  ctx.head.imageNumber = o.number;
  const bool useDisk = UsesDiskVariant(medium, session.State());
  const int result = useDisk ? MsErase(ctx, medium, choice) : VcomErase(ctx, medium, choice);
  return Outcome(run, result, page_text::kEraseOk,
                 medium == Medium::kNor ? nullptr : page_text::kEraseFailed);
}

int ModifyCommand(Run& run, const ImageOptions& o) {
  const Medium medium = kMedia.at(o.medium);
  uint32_t type = 0;
  if (medium == Medium::kNor) {
    if (!o.kind.empty()) return UsageError(run, "nor images take --flags");
    const auto flags = ParseFlags(o.flags);
    if (!flags) return UsageError(run, "--flags takes active,copy2ram,exec,file,compressed,romfs");
    type = *flags;
  } else {
    if (!o.flags.empty()) return UsageError(run, "--flags is for nor images");
    // The modify pages offer these three types only.
    if (o.kind != "data" && o.kind != "execute" && o.kind != "romfs") {
      return UsageError(run, "--kind data|execute|romfs is required");
    }
    type = static_cast<uint32_t>(kKinds.at(o.kind));
  }
  if (std::string refusal = CheckImageNumberGiven(o.number); !refusal.empty())
    return UsageError(run, refusal);
  if (!Confirm(run)) return kExitFailed;
  Session session(run.global, run.line, run.prompt, run.progress, run.abort);
  if (!session.Connect(false)) return kExitFailed;
  OperationContext ctx = session.Context();
  ctx.head.imageNumber = o.number;
  ctx.head.imageType = type;
  const bool useDisk = UsesDiskVariant(medium, session.State());
  const int result = useDisk ? MsModifyImage(ctx, medium) : VcomModifyImage(ctx, medium);
  // Only the NAND modify page words its failure; the operation said "Modify Error" already.
  return Outcome(run, result, nullptr, medium == Medium::kNand ? page_text::kModifyFailed : nullptr);
}

// ---- table -----------------------------------------------------------------------------
std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : text.substr(first);
}

void PrintTable(std::FILE* out, const std::vector<std::string>& titles,
                const std::vector<std::vector<std::string>>& rows) {
  std::vector<size_t> widths;
  for (const auto& title : titles) widths.push_back(title.size());
  for (const auto& row : rows) {
    for (size_t i = 0; i < row.size() && i < widths.size(); ++i)
      widths[i] = std::max(widths[i], row[i].size());
  }
  auto printRow = [&widths, out](const std::vector<std::string>& cells) {
    std::string line;
    for (size_t i = 0; i < cells.size(); ++i) {
      line += cells[i];
      if (i + 1 < cells.size()) line.append(widths[i] - cells[i].size() + 2, ' ');
    }
    std::fprintf(out, "%s\n", line.c_str());
  };
  printRow(titles);
  for (const auto& row : rows) printRow(row);
}

int TableCommand(Run& run, const ImageOptions& o) {
  const Medium medium = kMedia.at(o.medium);
  Session session(run.global, run.line, run.prompt, run.progress, run.abort);
  if (!session.Connect(false)) return kExitFailed;
  std::vector<TableEntry> entries;
  std::string device;
  const bool overVcom = !session.OverDisk();
  // The lists read the SD table over the disk only and the NOR table over the COM port only.
  if ((medium == Medium::kSd && overVcom) || (medium == Medium::kNor && !overVcom)) {
    run.line.PrintText(std::string("no ") + o.medium + " table over this connection");
    return kExitFailed;
  }
  const TableRead read = overVcom ? ReadImageTableVcom(session.Port(), session.State().connection.portPath,
                                                       medium, &session.Prompt(), entries, &device)
                                  : ReadImageTableMs(session.State(), medium, &session.Prompt(), entries);
  if (read != TableRead::kRead) return kExitFailed;
  std::vector<std::string> titles;
  for (const auto& column : ParseColumnSpecification(TableColumnSpecification(medium))) {
    titles.push_back(Trimmed(column.title));
  }
  std::vector<std::vector<std::string>> rows;
  for (const auto& entry : entries) rows.push_back(TableRowCells(entry, medium, overVcom));
  if (o.json) {
    std::string out = "{\"medium\": " + JsonString(o.medium);
    if (medium == Medium::kNor) out += ", \"device\": " + JsonString(device);
    out += ", \"images\": [";
    for (size_t r = 0; r < rows.size(); ++r) {
      out += r == 0 ? "\n  {" : ",\n  {";
      for (size_t i = 0; i < titles.size(); ++i) {
        out += (i == 0 ? "" : ", ") + JsonString(titles[i]) + ": ";
        out += i == 0 ? std::to_string(entries[r].number) : JsonString(rows[r][i]);
      }
      out += "}";
    }
    out += rows.empty() ? "]}\n" : "\n]}\n";
    std::fputs(out.c_str(), run.out);
    return kExitOk;
  }
  if (medium == Medium::kNor) std::fprintf(run.out, "Device: %s\n", device.c_str());
  PrintTable(run.out, titles, rows);
  return kExitOk;
}

// ---- sizes and reserved areas --------------------------------------------------------
int SizeCommand(Run& run, Medium medium) {
  Session session(run.global, run.line, run.prompt, run.progress, run.abort);
  if (!session.Connect(false)) return kExitFailed;
  const auto size = medium == Medium::kNand ? ReadNandFlashSize(session.State(), &session.Prompt())
                                            : ReadSdCardSize(session.State(), &session.Prompt());
  if (!size) return kExitFailed;
  std::fprintf(run.out, "%u\n", static_cast<unsigned>(*size));
  return kExitOk;
}

int ReserveCommand(Run& run, const ImageOptions& o) {
  const Medium medium = kMedia.at(o.medium);
  if (medium != Medium::kNand && medium != Medium::kSd) return UsageError(run, "reserve takes nand or sd");
  if (o.format && medium != Medium::kSd) return UsageError(run, "--format is for sd");
  if (!ParseWholeDecimal(o.size)) return UsageError(run, page_text::kInputReservedSize);
  Session session(run.global, run.line, run.prompt, run.progress, run.abort);
  if (!session.Connect(false)) return kExitFailed;
  const auto total = medium == Medium::kNand ? ReadNandFlashSize(session.State(), &session.Prompt())
                                             : ReadSdCardSize(session.State(), &session.Prompt());
  if (std::string refusal = CheckReservedSize(o.size, total.value_or(0)); !refusal.empty()) {
    return UsageError(run, refusal);
  }
  if (!Confirm(run)) return kExitFailed;
  OperationContext ctx = session.Context();
  ctx.head.reservedSize = o.size;
  ctx.head.sdFormat = o.format;
  return Outcome(run, MsSetReservedArea(ctx, medium), page_text::kSetOk, page_text::kSetFailed);
}

// ---- SDRAM, settings -----------------------------------------------------------------
int SdramCommand(Run& run, const ImageOptions& o) {
  if (!IsHexField(o.address)) return UsageError(run, "--address takes a hexadecimal address");
  if (!Confirm(run)) return kExitFailed;
  Session session(run.global, run.line, run.prompt, run.progress, run.abort);
  if (!session.Connect(false)) return kExitFailed;
  OperationContext ctx = session.Context();
  ctx.filePath = o.file;
  ctx.head.address = o.address;
  ctx.head.mode = o.run ? 1 : 0;
  const int result = session.OverDisk() ? MsDownloadSdram(ctx) : VcomDownloadSdram(ctx);
  return Outcome(run, result, delivery_text::kDownloadOk, page_text::kSdramDownloadFailed);
}

int SettingsCommand(Run& run, SettingsOptions& s) {
  s.form.encryptionIndex = s.encryption == "wpa" ? 0 : s.encryption == "wep" ? 1 : 2;
  s.form.ipModeIndex = s.ip == "dhcp" ? 0 : 1;
  const SettingsRoute route = s.route == "spi" ? SettingsRoute::kSpi : SettingsRoute::kSdram;
  ToolState tool;
  UseToolFolder(tool, run.global.toolFolder);
  const SettingsFiles files = SettingsFilesFor(tool);
  if (s.filesOnly) {
    if (std::string refusal = PrepareSettingsDelivery(s.form, route, files, false); !refusal.empty()) {
      run.prompt.ShowMessage(refusal);
      return kExitFailed;
    }
    return kExitOk;
  }
  // Checked again with the files; a recipe's check needs it before the board.
  if (std::string refusal = ValidateDeviceSettings(s.form); !refusal.empty()) return Refused(run, refusal);
  if (!Confirm(run)) return kExitFailed;
  Session session(run.global, run.line, run.prompt, run.progress, run.abort);
  if (!session.Connect(false)) return kExitFailed;
  if (std::string refusal = PrepareSettingsDelivery(s.form, route, files, !session.OverDisk());
      !refusal.empty()) {
    run.prompt.ShowMessage(refusal);
    return kExitFailed;
  }
  OperationContext ctx = session.Context();
  KeptHead kept;
  ctx.keptHead = &kept;
  const int result = DeliverSettings(ctx, route, files, 0);
  run.progress.Finish();
  return result == 1 ? kExitOk : kExitFailed;
}

// ---- offline ROM builders, NAND check ------------------------------------------------
int MkromCommand(Run& run, const MkromOptions& m) {
  int result = -1;
  if (m.medium == "nor") {
    result = NorRomBuilder(NorRomRequest{m.listFile}, run.prompt);
  } else if (m.medium == "nand") {
    ProfileReader reader;
    reader.SetPath(m.listFile);
    if (!reader.ReadFile()) {
      run.prompt.ShowMessage(reader.Refusal().empty() ? rom_text::kCantOpenScript : reader.Refusal());
      return kExitFailed;
    }
    NandRomRequest request;
    request.listFile = m.listFile;
    // The dialog's rows: one per [Image N] section, N from 0 to 31.
    request.imageCount = static_cast<uint32_t>(std::popcount(reader.ImageNumberMask(kImageSectionPrefix)));
    request.choice = ParseNandBlockChoice(m.blockSize).value_or(NandBlockChoice::k16k);
    result = NandRomBuilder(request, run.prompt);
  } else {
    ToolState state;
    UseToolFolder(state, run.global.toolFolder);
    state.chipFamily = static_cast<uint32_t>(m.family);
    SpiRomRequest request;
    request.listFile = m.listFile;
    request.chipFamily = state.chipFamily;
    request.bankMode = m.bankMode;
    if (m.family >= 1) {
      std::string error;
      const int read = ReadChipSettings(state, ProductFile(state, kChipSettingsFile), &error);
      if (read != kChipSettingsRead) {
        run.prompt.ShowMessage(error.empty() ? std::string("Cannot read ") + kChipSettingsFile : error);
        return kExitFailed;
      }
      request.chip = &state.chip;
    }
    result = SpiRomBuilder(request, run.prompt);
  }
  return result == 0 ? kExitOk : kExitFailed;
}

int NandCheckCommand(Run& run, const ImageOptions& o) {
  Session session(run.global, run.line, run.prompt, run.progress, run.abort);
  if (!session.Connect(false)) return kExitFailed;
  const auto count = CheckNandRom(run, session, o.file);
  if (!count) return kExitFailed;
  std::fprintf(run.out, "%u\n", static_cast<unsigned>(*count));
  return kExitOk;
}

int ConnectCommand(Run& run) {
  Session session(run.global, run.line, run.prompt, run.progress, run.abort);
  return session.Connect(true) ? kExitOk : kExitFailed;
}

// ---- parsing ------------------------------------------------------------------------------
CLI::App* AddCommand(CLI::App& app, const std::string& name, const std::string& description) {
  CLI::App* command = app.add_subcommand(name, description);
  command->footer("usage: " + kUsage.at(name));
  return command;
}

void AddMedium(CLI::App* command, std::string& medium, std::vector<std::string> media) {
  command->add_option("medium", medium, "the flash or card")
      ->required()
      ->check(CLI::IsMember(std::move(media)));
}

// Every command with its options, bound to the fields a run reads: the
// program's arguments and each line of a recipe are parsed by one of these.
struct CommandLine {
  CommandLine();
  std::string Command() const {
    return app.get_subcommands().empty() ? "" : app.get_subcommands().front()->get_name();
  }

  CLI::App app{"Zorbel Flash Writer on the command line: board operations and ROM builds.", kProgram};
  GlobalOptions global;
  std::vector<std::string> virtualBoards;
  bool debug = false;
  ImageOptions o;
  SettingsOptions s;
  MkromOptions m;
  RecipeOptions r;
};

CommandLine::CommandLine() {
  app.fallthrough();
  app.require_subcommand(1);
  app.footer("usage: " + kUsage.at(""));
  app.set_version_flag("--version", std::string(kProgram) + " " + kToolVersion, "print the version and exit");

  auto* port = app.add_option("--port", global.port, "the board's COM port, its loader running");
  auto* disk = app.add_option("--disk", global.disk, "the board's loader disk: a device node or unix:PATH");
  auto* family =
      app.add_option("--family", global.family, "the chip family of --disk (0..3)")->check(CLI::Range(0, 3));
  auto* virtualBoard =
      app.add_option("--virtual-board", virtualBoards,
                     "a virtual board: KIND[:DIR], KIND vcom|older|quen|rast|pilk (station: more than one)");
  app.add_option("--dir", global.dir,
                 "the tool's folder (loaders, Zorbel.ini, NAND ID.ini, mkrom); else ZORBEL_DIR, a portable "
                 "copy's own folder, or ~/.local/share/zorbel");
  app.add_flag("--yes,-y", global.yes, "answer \"Do you confirm this operation ?\" with OK");
  app.add_flag("--debug", debug, "show the tool's debug output on standard error");
  port->excludes(disk)->excludes(virtualBoard);
  disk->excludes(virtualBoard);
  (void)family;

  const std::vector<std::string> allMedia{"nand", "spi", "sd", "nor"};

  AddCommand(app, "connect", "run the connection sequence and show its status texts");

  auto* sdram = AddCommand(app, "sdram", "download a file into SDRAM");
  sdram->add_option("file", o.file, "the file")->required();
  sdram->add_option("--address", o.address, "buffer address, hexadecimal (COM port)");
  sdram->add_flag("--run", o.run, "let the board run it");

  for (const char* name : {"burn", "verify"}) {
    auto* command = AddCommand(app, name, std::string(name) + " an image of the board's image table");
    AddMedium(command, o.medium, allMedia);
    command->add_option("file", o.file, "the image file")->required();
    command->add_option("--number", o.number, "image number, decimal");
    command->add_option("--kind", o.kind, "image type")
        ->check(CLI::IsMember({"data", "execute", "romfs", "system", "logo"}));
    command->add_option("--exec", o.exec, "execute address, hexadecimal");
    command->add_option("--start", o.start, "start block, bank or sector, hexadecimal");
    command->add_option("--offset", o.offset, "nor flash offset, hexadecimal");
    command->add_option("--flags", o.flags, "nor flags: active,copy2ram,exec,file,compressed,romfs");
    command->add_option("--name", o.name, "image name (default: the file name without extension)");
  }
  for (const char* name : {"burn-raw", "verify-raw"}) {
    auto* command = AddCommand(app, name,
                               std::string(name == std::string("burn-raw") ? "burn" : "verify") +
                                   " a whole file without the image table");
    AddMedium(command, o.medium, {"nor", "nand", "spi"});
    command->add_option("file", o.file, "the file (nand: a NAND ROM file)")->required();
    command->add_option("--offset", o.rawOffset, "nor flash offset, hexadecimal (default 0)");
    command->add_flag("--convert", o.convert,
                      "nand: convert the file to the board's block size when it differs");
  }
  auto* readSpi = AddCommand(app, "read-spi", "read SPI flash back into a file");
  readSpi->add_option("file", o.file, "the file to create")->required();
  readSpi->add_option("--blocks", o.blocks, "number of 64 KB blocks")->required();

  auto* erase = AddCommand(app, "erase", "erase one image, the whole flash or the NAND system area");
  AddMedium(erase, o.medium, allMedia);
  erase->add_option("--number", o.number, "image number, decimal");
  erase->add_flag("--all", o.all, "the whole flash");
  erase->add_flag("--system-area", o.systemArea, "the NAND system area");

  auto* modify = AddCommand(app, "modify", "change the type of an image on the board");
  AddMedium(modify, o.medium, allMedia);
  modify->add_option("--number", o.number, "image number, decimal");
  modify->add_option("--kind", o.kind, "data|execute|romfs");
  modify->add_option("--flags", o.flags, "nor flags: active,copy2ram,exec,file,compressed,romfs");

  auto* table = AddCommand(app, "table", "show the board's image table");
  AddMedium(table, o.medium, allMedia);
  table->add_flag("--json", o.json, "print it as JSON");

  auto* reserve = AddCommand(app, "reserve", "set the size of the system reserved area");
  AddMedium(reserve, o.medium, {"nand", "sd"});
  reserve->add_option("size", o.size, "size in MB, decimal")->required();
  reserve->add_flag("--format", o.format, "sd: format the card");

  AddCommand(app, "nand-size", "print the NAND flash size in MB");
  AddCommand(app, "sd-size", "print the SD card size in MB");

  auto* settings = AddCommand(app, "settings", "write the device settings and deliver them");
  settings->add_option("--name", s.form.name, "device name");
  settings->add_option("--ssid", s.form.ssid, "WiFi SSID");
  settings->add_option("--password", s.form.password, "WiFi password");
  settings->add_option("--encryption", s.encryption, "wpa|wep|none")
      ->check(CLI::IsMember({"wpa", "wep", "none"}));
  settings->add_option("--ip", s.ip, "dhcp|fix")->check(CLI::IsMember({"dhcp", "fix"}));
  settings->add_option("--address", s.form.ipAddress, "fixed IP address");
  settings->add_option("--netmask", s.form.netmask, "netmask");
  settings->add_option("--gateway", s.form.gateway, "gateway");
  settings->add_option("--dns0", s.form.dns0, "first DNS server");
  settings->add_option("--dns1", s.form.dns1, "second DNS server");
  settings->add_option("--route", s.route, "sdram|spi")->check(CLI::IsMember({"sdram", "spi"}));
  settings->add_flag("--files-only", s.filesOnly, "stop after writing the files");

  auto* mkrom = AddCommand(app, "mkrom", "build a ROM file from a list file, offline");
  mkrom->add_option("medium", m.medium, "nor|nand|spi")
      ->required()
      ->check(CLI::IsMember({"nor", "nand", "spi"}));
  mkrom->add_option("listfile", m.listFile, "the list file")->required();
  mkrom->add_option("--block-size", m.blockSize, "nand block size")
      ->check(CLI::IsMember({"16k", "128k", "256k"}));
  mkrom->add_flag("--bank-mode", m.bankMode, "spi: positions in 64 KB banks, as with a disk connection");
  mkrom->add_option("--family", m.family, "spi: the family whose boot header goes first (0: none)")
      ->check(CLI::Range(0, 3));

  auto* nandCheck = AddCommand(app, "nand-check", "check a NAND ROM file against the board's block size");
  nandCheck->add_option("file", o.file, "the NAND ROM file")->required();
  nandCheck->add_flag("--convert", o.convert, "convert it when the block size differs");

  auto* recipeRun = AddCommand(app, "run", "run a recipe, one board command per line, on one board");
  auto* station = AddCommand(app, "station", "run a recipe on every board plugged in, several at once");
  for (auto* command : {recipeRun, station}) {
    command->add_option("recipe", r.recipe, "the recipe file")->required();
    command->add_option("--log", r.log, "append a JSON line per board run to this file");
  }
  station->add_option("--count", r.count, "end after this many board runs (default: at Ctrl+C)")
      ->check(CLI::PositiveNumber);
  station->add_option("--plug-every", r.plugEveryMs, "virtual boards: plug them in this many ms apart");
}

int Dispatch(Run& run, CommandLine& c) {
  const std::string& command = run.command;
  ImageOptions& o = c.o;
  if (command == "connect") return ConnectCommand(run);
  if (command == "sdram") return SdramCommand(run, o);
  if (command == "burn") return ImageCommand(run, o, false);
  if (command == "verify") return ImageCommand(run, o, true);
  if (command == "burn-raw") return RawCommand(run, o, false);
  if (command == "verify-raw") return RawCommand(run, o, true);
  if (command == "read-spi") return ReadSpiCommand(run, o);
  if (command == "erase") return EraseCommand(run, o);
  if (command == "modify") return ModifyCommand(run, o);
  if (command == "table") return TableCommand(run, o);
  if (command == "reserve") return ReserveCommand(run, o);
  if (command == "nand-size") return SizeCommand(run, Medium::kNand);
  if (command == "sd-size") return SizeCommand(run, Medium::kSd);
  if (command == "settings") return SettingsCommand(run, c.s);
  if (command == "mkrom") return MkromCommand(run, c.m);
  if (command == "nand-check") return NandCheckCommand(run, o);
  return UsageError(run, "unknown command");
}

// ---- recipe lines ---------------------------------------------------------------------------
// A recipe's board is the run's: its lines name a command and its options only.
constexpr const char* kRunOptions[] = {"--port", "--disk", "--family", "--virtual-board",
                                       "--dir",  "--yes",  "--debug"};
constexpr const char* kStepCommands[] = {"sdram",     "burn",    "verify",   "burn-raw",  "verify-raw",
                                         "read-spi",  "erase",   "modify",   "table",     "reserve",
                                         "nand-size", "sd-size", "settings", "nand-check"};

std::string InFolder(const std::string& folder, const std::string& path) {
  if (path.empty() || folder.empty() || Utf8Path(path).is_absolute()) return path;
  return PathText((Utf8Path(folder) / Utf8Path(path)).lexically_normal());
}

// Parses a line into c; empty, or the refusal.
std::string ParseStep(CommandLine& c, const std::string& text, const std::string& folder) {
  try {
    c.app.parse(text, false);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return "--help does not run a step";
    if (c.Command().empty()) return "a recipe line starts with a board command";
    return e.what();
  }
  for (const char* option : kRunOptions) {
    if (c.app.count(option) != 0) return std::string(option) + " belongs to the run, not to a recipe line";
  }
  const std::string command = c.Command();
  if (std::find(std::begin(kStepCommands), std::end(kStepCommands), command) == std::end(kStepCommands)) {
    return command + " is not a board command a recipe runs";
  }
  if (c.s.filesOnly) return "--files-only is not a board command a recipe runs";
  c.o.file = InFolder(folder, c.o.file);
  return {};
}

}  // namespace

StepCheck CheckStep(const std::string& text, const std::string& folder, const GlobalOptions& global) {
  StepCheck check;
  CommandLine c;
  check.refusal = ParseStep(c, text, folder);
  if (!check.refusal.empty()) return check;
  // The command runs up to where it would reach the board, which refuses to
  // be reached: every check it makes on its options is made, nothing is sent.
  BoardLink dry(global);
  dry.checking = true;
  GlobalOptions options = global;
  options.link = &dry;
  ConsoleLine line(stderr);
  AnswerPolicy policy;
  policy.yes = true;
  ConsolePrompt prompt(line, policy, nullptr);
  ConsoleProgress progress(line, false);
  AbortEvent abort;
  Run run{options, line, prompt, progress, c.Command(), stdout, abort, &check.refusal};
  Dispatch(run, c);
  if (check.refusal.empty() && !dry.reached) check.refusal = c.Command() + " does not reach the board";
  if (!check.refusal.empty()) return check;
  const std::string command = c.Command();
  if (command != "read-spi" && !c.o.file.empty()) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(Utf8Path(c.o.file), ec)) {
      check.refusal = "cannot find the file " + c.o.file;
      return check;
    }
    check.sent.push_back(c.o.file);
  }
  return check;
}

int RunStep(const std::string& text, const std::string& folder, const StepServices& services) {
  CommandLine c;
  std::string refusal = ParseStep(c, text, folder);
  // The whole run was confirmed once; the step answers only what its own
  // options answer.
  AnswerPolicy policy;
  policy.yes = true;
  policy.fixed[rom_text::kBlockSizeMismatch] = c.o.convert;
  ConsolePrompt prompt(services.line, policy, nullptr);
  AbortEvent& abort = services.abort;
  Run run{services.global, services.line, prompt, services.progress, c.Command(), services.out, abort};
  if (!refusal.empty()) return UsageError(run, refusal);
  return Dispatch(run, c);
}

int RunZorbel(int argc, char** argv, std::FILE* in) {
  CommandLine c;
  ConsoleLine line(stderr);
  const bool terminal = IsTerminal(stderr);

  try {
    c.app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return c.app.exit(e);  // --help
    line.PrintText(std::string(kProgram) + ": " + e.what());
    const auto usage = kUsage.find(c.Command());
    line.PrintText("usage: " + (usage != kUsage.end() ? usage->second : kUsage.at("")));
    return kExitUsage;
  }

  GlobalOptions& global = c.global;
  const std::string command = c.Command();
  AnswerPolicy policy;
  policy.yes = global.yes;
  policy.interactive = terminal && in != nullptr && IsTerminal(in);
  policy.fixed[rom_text::kBlockSizeMismatch] = c.o.convert;
  ConsolePrompt prompt(line, policy, in);
  ConsoleProgress progress(line, terminal);
  AbortEvent interrupted;
  Run run{global, line, prompt, progress, command, DataStream(c.debug), interrupted};
  InterruptWatch watch(interrupted);
  // Until a connection over the COM port says otherwise, nothing tests the
  // abort event: Ctrl+C ends the run at once.
  InterruptWatch::SetRunStopsOnAbort(false);

  for (const std::string& board : c.virtualBoards) {
    if (!ParseVirtualBoardOption(board)) {
      return UsageError(run, "--virtual-board=KIND[:DIR], KIND one of vcom, older, quen, rast, pilk");
    }
  }
  if (c.virtualBoards.size() > 1 && command != "station") {
    return UsageError(run, "--virtual-board is given once, except to station");
  }
  if (!c.virtualBoards.empty()) global.virtualBoard = c.virtualBoards.front();
  if (global.family >= 0 && global.disk.empty() && global.port.empty()) {
    return UsageError(run, "--family goes with --disk or --port");
  }
  global.toolFolder = FindToolFolder(ProgramToolFolderRequest(global.dir, !c.virtualBoards.empty()));
  if (!global.toolFolder.error.empty()) {
    line.PrintText(std::string(kProgram) + ": " + global.toolFolder.error);
    return global.dir.empty() ? kExitFailed : kExitUsage;
  }
  run.global = global;
  if (command == "run" || command == "station") {
    RecipeEnv env{global, c.virtualBoards, line, prompt, progress, interrupted, run.out, terminal};
    const int result = command == "run" ? RunCommand(c.r, env) : StationCommand(c.r, env);
    if (result == kExitUsage) UsageError(run, "");
    return result;
  }
  return Dispatch(run, c);
}

}  // namespace zorbel::cli
