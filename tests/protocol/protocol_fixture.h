#pragma once
// The virtual board and the tool's services around one operation, for the
// protocol tests. The disk is reached in-process through a tap that records
// every command block as it goes by; the board itself answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/abort_event.h"
#include "app/clock.h"
#include "app/progress_sink.h"
#include "app/test_table.h"
#include "app/test_temp_folder.h"
#include "app/tool_state.h"
#include "app/user_prompt.h"
#include "link/scsi_transport.h"
#include "protocol/operation_context.h"
#include "protocol/vcom_operations.h"
#include "virtual_board.h"

namespace zorbel::testing {

// Operation codes of the vendor commands, as the tap sees them.
constexpr uint8_t kWriterProcess = 0x61;
constexpr uint8_t kWriteFile = 0x63;
constexpr uint8_t kGetFileData = 0x64;
constexpr uint8_t kGetLastStatus = 0x65;
constexpr uint8_t kSetParameter = 0x66;

constexpr sim::BoardKind kQuen = sim::BoardKind::kQuen;
constexpr sim::BoardKind kOlder = sim::BoardKind::kOlder;

// One command as it went to the board.
struct TappedCommand {
  uint8_t op = 0;
  uint8_t unit = 0;           // byte 1
  uint8_t selector = 0;       // byte 6
  uint32_t length = 0;        // data phase
  std::vector<uint8_t> sent;  // to-board data (heads and parameters; chunks kept only when asked)
  bool ok = false;
};

class TapTransport final : public ScsiTransport {
 public:
  TapTransport(std::unique_ptr<ScsiTransport> inner, std::vector<TappedCommand>* log, bool keepChunks)
      : inner_(std::move(inner)), log_(log), keepChunks_(keepChunks) {}
  bool Execute(const ScsiCommand& c) override {
    TappedCommand t;
    t.op = c.cdb[0];
    t.unit = c.cdb[1];
    t.selector = c.cdb[6];
    t.length = c.dataLength;
    const bool chunk = t.op == kWriteFile;
    if (c.direction == ScsiDirection::kToDevice && c.data != nullptr && (!chunk || keepChunks_)) {
      const auto* p = static_cast<const uint8_t*>(c.data);
      t.sent.assign(p, p + c.dataLength);
    }
    const bool ok = inner_->Execute(c);
    t.ok = ok;
    log_->push_back(std::move(t));
    return ok;
  }
  uint32_t LastError() const override { return inner_->LastError(); }

 private:
  std::unique_ptr<ScsiTransport> inner_;
  std::vector<TappedCommand>* log_;
  bool keepChunks_;
};

inline std::vector<uint8_t> Pattern(size_t n, uint32_t seed = 1) {
  std::vector<uint8_t> v(n);
  uint32_t x = seed * 2654435761u + 12345;
  for (auto& b : v) {
    x = x * 1103515245u + 12345;
    b = static_cast<uint8_t>(x >> 16);
  }
  return v;
}

// Puts one image straight into the board's table.
inline bool PutImage(sim::VirtualBoard& board, sim::Medium medium, uint32_t number, const std::string& name,
                     uint32_t type, uint32_t start) {
  sim::ImageEntry image;
  image.number = number;
  image.name = name;
  image.type = type;
  image.start = start;
  return board.PutImage(medium, image, Pattern(100));
}

// Writes the operation's input file into the scratch folder.
inline std::string UseFile(OperationContext& ctx, const TempFolder& dir, const std::string& name,
                           const std::vector<uint8_t>& bytes) {
  ctx.filePath = dir.File(name);
  WriteBytes(ctx.filePath, bytes);
  return ctx.filePath;
}

inline std::vector<int> PercentsOf(const RecordingProgress& progress) {
  std::vector<int> out;
  for (const auto& e : progress.Events()) out.push_back(e.percent);
  return out;
}

inline sim::Medium SimMedium(Medium m) {
  constexpr sim::Medium kBoard[] = {sim::Medium::kNor, sim::Medium::kNand, sim::Medium::kSpi,
                                    sim::Medium::kSd};
  return kBoard[static_cast<size_t>(m)];
}

// Cells of the operation tables under tests/data/protocol.
inline uint32_t CellNumber(const std::string& cell) {
  return static_cast<uint32_t>(std::stoul(cell, nullptr, 0));
}

// Little-endian words, as a raw head sends them.
inline std::vector<uint8_t> LeWords(std::initializer_list<uint32_t> words) {
  std::vector<uint8_t> out;
  for (const uint32_t w : words) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(w >> (8 * i)));
  }
  return out;
}

inline std::vector<uint8_t> CellBytes(const std::string& cell) { return {cell.begin(), cell.end()}; }

inline Medium MediumNamed(const std::string& name) {
  const std::string names[] = {"nor", "nand", "spi", "sd"};
  const auto at = std::find(std::begin(names), std::end(names), name);
  EXPECT_NE(at, std::end(names)) << name;
  return static_cast<Medium>(at - std::begin(names));
}

// What the board counts a command as, by the fault tables' names.
inline sim::Operation BoardOperationNamed(const std::string& name) {
  using enum sim::Operation;
  const std::pair<const char*, sim::Operation> names[] = {{"download", kDownload}, {"burn", kBurn},
                                                          {"verify", kVerify},     {"erase", kErase},
                                                          {"modify", kModify},     {"parameter", kParameter}};
  for (const auto& [text, operation] : names) {
    if (name == text) return operation;
  }
  ADD_FAILURE() << "unknown operation " << name;
  return kAny;
}

inline EraseChoice ChoiceNamed(const std::string& name) {
  if (name == "all") return EraseChoice::kAll;
  return name == "system" ? EraseChoice::kSystemArea : EraseChoice::kImage;
}

// "409:0 409:100": message numbers in hexadecimal and percentages, as the tables write them.
inline std::string EventsText(const RecordingProgress& progress) {
  std::string out;
  for (const auto& e : progress.Events()) {
    char one[24];
    std::snprintf(one, sizeof one, "%s%x:%d", out.empty() ? "" : " ", e.messageNumber, e.percent);
    out += one;
  }
  return out;
}

inline std::string ColoursText(const RecordingProgress& progress) {
  std::string out;
  for (const uint32_t rgb : progress.Colours()) {
    char one[16];
    std::snprintf(one, sizeof one, "%s%x", out.empty() ? "" : " ", static_cast<unsigned>(rgb));
    out += one;
  }
  return out;
}

inline std::string MessagesText(const RecordingPrompt& prompt) {
  std::string out;
  for (const auto& m : prompt.Messages()) out += (out.empty() ? "" : " | ") + m;
  return out;
}

// "0 | ACK error !": an operation's result and the messages it showed, as the fault tables write them.
inline std::string OutcomeText(int result, const RecordingPrompt& prompt) {
  const std::string messages = MessagesText(prompt);
  return std::to_string(result) + (messages.empty() ? "" : " | " + messages);
}

// The family-1 boot header as the settings build it: magic, 0, length slot, reversed magic,
// then made-up clock words.
inline void SetQuenBootHeader(ChipSettings& chip) {
  chip.bootHeader.fill(0);
  const uint8_t header[] = {0xA5, 0x5A, 0x4B, 0x51, 0,    0,    0, 0, 0, 0,   0,
                            0,    0x51, 0x4B, 0x5A, 0xA5, 0x11, 0, 0, 0, 0x22};
  std::copy(std::begin(header), std::end(header), chip.bootHeader.begin());
  chip.bootHeaderLength = 32;
}

inline sim::BoardOptions DiskOptions(sim::BoardKind kind) {
  sim::BoardOptions o;
  o.kind = kind;
  o.startInLoaderStage = true;
  o.stepDelayMs = 0;
  o.spiEraseBusyPolls = 0;
  return o;
}

// A disk board in its loader stage, the application state pointing at it,
// and recorders for what the operation shows.
struct DiskRig {
  explicit DiskRig(sim::BoardKind kind = kQuen, bool keepChunks = false)
      : DiskRig(DiskOptions(kind), keepChunks) {}
  DiskRig(sim::BoardOptions options, bool keepChunks) : board(WithClock(options, &clock)), ctx(state) {
    const bool family = options.kind != kOlder;
    state.familyMode = family ? 1 : 0;
    state.chipFamily = options.kind == kQuen ? 1 : options.kind == kOlder ? 0 : 2;
    SetQuenBootHeader(state.chip);
    state.connection.volumes[0].path = board.VolumePath();
    state.connection.volumes[0].handle =
        std::make_unique<TapTransport>(board.OpenDisk(), &commands, keepChunks);
    ctx.progress = &progress;
    ctx.prompt = &prompt;
    ctx.clock = &clock;
  }
  static sim::BoardOptions WithClock(sim::BoardOptions o, Clock* c) {
    o.clock = c;
    return o;
  }
  std::vector<TappedCommand> Commands(uint8_t op) const {
    std::vector<TappedCommand> out;
    for (const auto& c : commands) {
      if (c.op == op) out.push_back(c);
    }
    return out;
  }
  std::string File(const std::string& name, const std::vector<uint8_t>& bytes) {
    return UseFile(ctx, dir, name, bytes);
  }

  FakeClock clock;
  sim::VirtualBoard board;
  ToolState state;
  std::vector<TappedCommand> commands;
  RecordingProgress progress;
  RecordingPrompt prompt;
  TempFolder dir;
  OperationContext ctx;
};

}  // namespace zorbel::testing

#include "link/serial_port.h"

namespace zorbel::testing {

inline sim::BoardOptions SerialOptions() {
  sim::BoardOptions o;
  o.kind = sim::BoardKind::kVcom;
  o.startInLoaderStage = true;
  o.stepDelayMs = 0;
  o.progressStep = 25;
  return o;
}

// Open descriptors of this process that are not the board's: an operation
// must leave as many as it found.
inline size_t ToolDescriptors(const sim::VirtualBoard& board) {
  return board.ForeignDescriptors([] {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
    return n;
  });
}

// A board on a pseudo-terminal, reached through the tool's own serial port.
struct VcomRig {
  explicit VcomRig(sim::BoardOptions options = SerialOptions()) : board(options), ctx(state) {
    ctx.port = &port;
    ctx.portName = board.PtyPath();
    ctx.progress = &progress;
    ctx.prompt = &prompt;
    ctx.abort = &abort;
    ctx.keptHead = &kept;
    ctx.replyWaitMs = 2000;
  }
  std::string File(const std::string& name, const std::vector<uint8_t>& bytes) {
    return UseFile(ctx, dir, name, bytes);
  }

  sim::VirtualBoard board;
  ToolState state;
  SerialPort port;
  AbortEvent abort;
  KeptHead kept;
  RecordingProgress progress;
  RecordingPrompt prompt;
  TempFolder dir;
  OperationContext ctx;
};

}  // namespace zorbel::testing
