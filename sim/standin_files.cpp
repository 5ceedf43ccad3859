#include "standin_files.h"

#include <cstring>
#include <filesystem>
#include <fstream>

#include "board_bytes.h"

namespace zorbel::sim {
namespace {

constexpr uint8_t kRomMagic[4] = {'Q', 'K', 0x5A, 0xA5};
constexpr uint32_t kSerialPayload = 20000;
constexpr uint32_t kOlderFirstStage = 12288;
constexpr uint32_t kOlderSecondStage = 40000;

// A made-up, reproducible byte pattern (a small linear congruential sequence).
void FillPattern(uint8_t* p, size_t n, uint32_t seed) {
  uint32_t x = seed;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1664525u + 1013904223u;
    p[i] = static_cast<uint8_t>(x >> 24);
  }
}

bool WriteWhole(const std::filesystem::path& path, const std::vector<uint8_t>& bytes, std::string* error) {
  std::filesystem::path temp = path;
  temp += ".new";
  {
    std::ofstream f(temp, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    f.flush();
    if (!f) {
      if (error) *error = "cannot write " + temp.string();
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  if (ec) {
    if (error) *error = "cannot replace " + path.string() + ": " + ec.message();
    std::filesystem::remove(temp, ec);
    return false;
  }
  return true;
}

std::vector<uint8_t> Text(const char* s) { return std::vector<uint8_t>(s, s + std::strlen(s)); }

}  // namespace

uint32_t FamilyLoadAddress(BoardKind kind) {
  switch (kind) {
    case BoardKind::kQuen:
      return 0x00C08000;
    case BoardKind::kRast:
      return 0x00C10000;
    case BoardKind::kPilk:
      return 0x00C18000;
    default:
      return kOlderLoadAddress;
  }
}

uint8_t KindCode(BoardKind kind) {
  switch (kind) {
    case BoardKind::kVcom:
      return 'v';
    case BoardKind::kOlder:
      return 'o';
    case BoardKind::kQuen:
      return 'q';
    case BoardKind::kRast:
      return 'r';
    case BoardKind::kPilk:
      return 'p';
  }
  return 0;
}

std::vector<uint8_t> MakeStage(const char (&tag)[4], uint32_t length, uint32_t address, BoardKind kind) {
  std::vector<uint8_t> s(std::max(length, kStageHeaderSize), 0);
  std::memcpy(s.data(), tag, 4);
  StoreLe32(s.data() + 4, length);
  StoreLe32(s.data() + 8, address);
  s[12] = KindCode(kind);
  FillPattern(s.data() + kStageHeaderSize, s.size() - kStageHeaderSize, length ^ address ^ s[12]);
  return s;
}

std::vector<uint8_t> MakeLoaderHeader(uint32_t address, uint32_t length, uint8_t version, uint8_t day,
                                      uint8_t month, uint8_t year) {
  std::vector<uint8_t> h(16, 0);
  std::memcpy(h.data(), kRomMagic, 4);
  StoreLe32(h.data() + 4, address);
  StoreLe32(h.data() + 8, length);
  h[12] = version;
  h[13] = day;
  h[14] = month;
  h[15] = year;
  return h;
}

std::vector<uint8_t> MakeSerialLoader(uint32_t payloadLength) {
  std::vector<uint8_t> file = MakeLoaderHeader(kSerialLoaderAddress, payloadLength, 0x12, 0x15, 0x06, 0x24);
  std::vector<uint8_t> stage =
      MakeStage(kSerialStageTag, payloadLength, kSerialLoaderAddress, BoardKind::kVcom);
  file.insert(file.end(), stage.begin(), stage.end());
  return file;
}

std::vector<uint8_t> MakeDiskLoader(BoardKind kind, uint32_t firstStageLength, uint32_t secondStageLength) {
  uint32_t address = FamilyLoadAddress(kind);
  std::vector<uint8_t> file = MakeLoaderHeader(address, firstStageLength, 0x07, 0x28, 0x02, 0x25);
  std::vector<uint8_t> first = MakeStage(kFirstStageTag, firstStageLength, address, kind);
  file.insert(file.end(), first.begin(), first.end());
  if (secondStageLength > 0) {
    std::vector<uint8_t> second = MakeStage(kSecondStageTag, secondStageLength, 0x00E00000, kind);
    file.insert(file.end(), second.begin(), second.end());
  }
  return file;
}

bool WriteStandIns(const std::string& dir, std::string* error) {
  std::filesystem::path d(dir);
  std::error_code ec;
  std::filesystem::create_directories(d, ec);

  std::vector<uint8_t> templ(4096);
  FillPattern(templ.data(), templ.size(), 0x7B1);
  static constexpr uint8_t kMarker[11] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  std::memcpy(templ.data() + 0x400, kMarker, sizeof kMarker);

  const std::pair<const char*, std::vector<uint8_t>> files[] = {
      {"xusb.bin", MakeSerialLoader(kSerialPayload)},
      {"musb.bin", MakeDiskLoader(BoardKind::kOlder, kOlderFirstStage, kOlderSecondStage)},
      {"Quen_musb.bin", MakeDiskLoader(BoardKind::kQuen, 16384, 0)},
      {"Rast_musb.bin", MakeDiskLoader(BoardKind::kRast, 20480, 0)},
      {"Pilk_musb.bin", MakeDiskLoader(BoardKind::kPilk, 24576, 0)},
      {"Zorbel.ini",
       Text("[ADDRESS]\r\nADDRESS=30000000\r\n"
            "[CLOCK_SKEW]\r\nDQSODS=00000A0B\r\nCKDQSDS=00000C0D\r\n"
            "[USER_DEFINE]\r\nB8001000=00010203\r\nB8001004=04050607\r\nB8001008=08090A0B\r\n")},
      {"NAND ID.ini", Text("; NAND flash identification: five ID bytes, then two board parameters\r\n"
                           "[1stID]\r\n"
                           "EC 76 5A 3F 00 512 32\r\n"
                           "AD 76 00 00 00 512 32\r\n"
                           "5A D3 51 95 58 2048 64\r\n"
                           "5A DC 10 95 54 2048 64\r\n")},
      {"t.bin", templ},
  };
  for (const auto& [name, bytes] : files) {
    if (!WriteWhole(d / name, bytes, error)) return false;
  }
  return true;
}

}  // namespace zorbel::sim
