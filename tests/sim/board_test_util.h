#pragma once
// The test's own encoding of what the tool would send: command blocks and
// heads built byte by byte, so the board is checked against the wire
// contract and not against either side's code.
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/clock.h"
#include "link/scsi_transport.h"
#include "protocol/protocol_fixture.h"
#include "virtual_board.h"

namespace zorbel::sim::test {

using Bytes = std::vector<uint8_t>;
using Cdb = std::array<uint8_t, 16>;
using zorbel::testing::Le32;
using zorbel::testing::LeWords;
using zorbel::testing::Pattern;

inline Cdb BootCdb(uint8_t letter, uint32_t value = 0) {
  Cdb c{0x06, letter};
  for (int i = 0; i < 4; ++i) c[2 + i] = static_cast<uint8_t>(value >> (8 * i));
  return c;
}

inline Cdb LoaderCdb(uint8_t op, uint8_t unit, uint8_t byte6) {
  Cdb c{op, unit};
  c[6] = byte6;
  return c;
}

// The 60-byte image head {command, length, number, name[32], type, exec, start, 0}.
inline Bytes ImageHead(uint32_t command, uint32_t length, uint32_t number, const std::string& name,
                       uint32_t type, uint32_t exec, uint32_t start) {
  Bytes h = LeWords({command, length, number, 0, 0, 0, 0, 0, 0, 0, 0, type, exec, start, 0});
  std::memcpy(&h[12], name.data(), std::min<size_t>(name.size(), 32));
  return h;
}

// Null clock: the real one.
inline BoardOptions BoardOn(BoardKind kind, FakeClock* clock = nullptr, bool loader = true) {
  BoardOptions o;
  o.kind = kind;
  o.clock = clock;
  o.startInLoaderStage = loader;
  return o;
}

inline ImageEntry Entry(uint32_t number, const std::string& name, uint32_t start) {
  return {.number = number, .name = name, .start = start};
}

class Disk {
 public:
  explicit Disk(std::unique_ptr<ScsiTransport> t) : t_(std::move(t)) {}
  bool Out(const Cdb& cdb, Bytes data) { return Run(cdb, ScsiDirection::kToDevice, data); }
  std::optional<Bytes> In(const Cdb& cdb, uint32_t length) {
    Bytes data(length, 0xCC);
    if (!Run(cdb, ScsiDirection::kFromDevice, data)) return std::nullopt;
    return data;
  }

  // Loader-stage conveniences.
  bool Head(uint8_t unit, uint8_t method, const Bytes& head) {
    return Out(LoaderCdb('a', unit, method), head);
  }
  bool Send(uint8_t unit, const Bytes& data, size_t chunk = 65536) {
    for (size_t at = 0; at < data.size(); at += chunk) {
      Bytes part(data.begin() + static_cast<std::ptrdiff_t>(at),
                 data.begin() + static_cast<std::ptrdiff_t>(std::min(at + chunk, data.size())));
      if (part.size() == 1) part.push_back(0);  // the channel sends a one-byte chunk as two bytes
      if (!Out(LoaderCdb('c', unit, 0), part)) return false;
    }
    return true;
  }
  std::optional<uint32_t> Status(uint8_t selector) {
    const auto r = In(LoaderCdb('e', 0, selector), 4);
    if (!r) return std::nullopt;
    return Le32(*r, 0);
  }

 private:
  bool Run(const Cdb& cdb, ScsiDirection direction, Bytes& data) {
    ScsiCommand c{.cdb = cdb,
                  .direction = direction,
                  .data = data.data(),
                  .dataLength = static_cast<uint32_t>(data.size())};
    return t_->Execute(c);
  }
  std::unique_ptr<ScsiTransport> t_;
};

// A disk board on a fake clock with the test's channel to it.
struct DiskBoard {
  explicit DiskBoard(BoardOptions o)
      : board(zorbel::testing::DiskRig::WithClock(o, &clock)), disk(board.OpenDisk()) {}
  // A head and its data on unit 0, time to program them, then the verdict
  // (0: stored, 1: refused); none when a command failed.
  std::optional<uint32_t> Write(uint8_t method, const Bytes& head, const Bytes& data, size_t chunk = 65536) {
    if (!disk.Head(0, method, head) || !disk.Send(0, data, chunk)) return std::nullopt;
    clock.Advance(1000);
    return disk.Status(3);
  }

  FakeClock clock;
  VirtualBoard board;
  Disk disk;
};

}  // namespace zorbel::sim::test
