// Saving the board to its folder and loading it back, so successive runs of
// the tool meet the same flash contents, tables and stage. The file is
// replaced whole: written beside, flushed, renamed.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "board_bytes.h"
#include "board_impl.h"

namespace zorbel::sim {
namespace {

constexpr char kStateFile[] = "board.state";
constexpr uint32_t kStateMagic = 0x5342565A;  // "ZVBS"
constexpr uint32_t kStateVersion = 1;
// The file keeps flash in 4 KiB blocks, whatever the store's page size, and
// leaves out blocks that read erased: a small image costs a small file.
constexpr uint64_t kSavedBlock = 4096;

void PutMedium(std::vector<uint8_t>& out, const MediumState* m) {
  out.push_back(m ? 1 : 0);
  if (!m) return;
  AppendLe32(out, static_cast<uint32_t>(m->table.size()));
  for (const ImageEntry& e : m->table) {
    for (uint32_t v : {e.recordCode, e.length, e.number, e.type, e.executeAddress, e.start, e.end}) {
      AppendLe32(out, v);
    }
    AppendLe32(out, static_cast<uint32_t>(e.name.size()));
    out.insert(out.end(), e.name.begin(), e.name.end());
  }
  size_t countAt = out.size();
  AppendLe32(out, 0);
  uint32_t count = 0;
  std::vector<uint8_t> block(kSavedBlock);
  auto erased = [&](uint8_t b) { return b == m->store.erased(); };
  for (uint64_t page : m->store.PageOffsets()) {
    for (uint64_t at = page; at < page + FlashStore::kPageSize; at += kSavedBlock) {
      // A block past the end of the medium holds nothing.
      if (!m->store.Read(at, block.data(), kSavedBlock) || std::all_of(block.begin(), block.end(), erased)) {
        continue;
      }
      AppendLe64(out, at / kSavedBlock);
      out.insert(out.end(), block.begin(), block.end());
      ++count;
    }
  }
  StoreLe32(out.data() + countAt, count);
}

bool GetMedium(ByteReader& in, MediumState* m) {
  bool present = in.U8() != 0;
  if (!present) return in.ok();
  uint32_t count = in.U32();
  std::vector<ImageEntry> table;
  for (uint32_t i = 0; i < count && in.ok(); ++i) {
    ImageEntry e;
    e.recordCode = in.U32();
    e.length = in.U32();
    e.number = in.U32();
    e.type = in.U32();
    e.executeAddress = in.U32();
    e.start = in.U32();
    e.end = in.U32();
    uint32_t nameLength = in.U32();
    if (nameLength > 32) return false;
    e.name.resize(nameLength);
    in.Bytes(e.name.data(), nameLength);
    table.push_back(e);
  }
  uint32_t blocks = in.U32();
  std::vector<uint8_t> block(kSavedBlock);
  for (uint32_t i = 0; i < blocks && in.ok(); ++i) {
    uint64_t index = in.U64();
    in.Bytes(block.data(), block.size());
    // A slot the options leave empty, or a smaller medium, drops what does not fit.
    if (m && in.ok() && index < m->store.size() / kSavedBlock) {
      m->store.Write(index * kSavedBlock, block.data(), block.size());
    }
  }
  if (!in.ok()) return false;
  if (m) m->table = std::move(table);
  return true;
}

}  // namespace

void VirtualBoard::Impl::SaveLocked() {
  if (options.stateDir.empty() || stateDirInUse || stateUnmovable) return;
  std::vector<uint8_t> out;
  AppendLe32(out, kStateMagic);
  AppendLe32(out, kStateVersion);
  AppendLe32(out, static_cast<uint32_t>(options.kind));
  AppendLe32(out, static_cast<uint32_t>(stage == Stage::kGone ? Stage::kLoader : stage));
  AppendLe32(out, model.nandReservedMb);
  AppendLe32(out, model.sdReservedMb);
  out.push_back(model.sdFormatRequested ? 1 : 0);
  out.push_back(model.sdPort);
  AppendLe32(out, model.nandIdParameters[0]);
  AppendLe32(out, model.nandIdParameters[1]);
  AppendLe32(out, static_cast<uint32_t>(model.rawNandOrder.size()));
  for (uint32_t n : model.rawNandOrder) AppendLe32(out, n);
  for (Medium medium : {Medium::kNor, Medium::kNand, Medium::kSpi}) PutMedium(out, model.Get(medium));
  for (uint8_t port = 0; port < 3; ++port) PutMedium(out, model.SdSlot(port));

  std::error_code ec;
  std::filesystem::create_directories(options.stateDir, ec);
  std::filesystem::path target = std::filesystem::path(options.stateDir) / kStateFile;
  std::filesystem::path temp = target;
  temp += ".new";
  {
    std::ofstream f(temp, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    f.flush();
    if (!f) {
      LogLocked("state: cannot write " + temp.string());
      std::filesystem::remove(temp, ec);
      return;
    }
  }
  std::filesystem::rename(temp, target, ec);
  if (ec) {
    LogLocked("state: cannot replace " + target.string());
    std::filesystem::remove(temp, ec);
  }
}

bool VirtualBoard::Impl::LoadState() {
  std::filesystem::path target = std::filesystem::path(options.stateDir) / kStateFile;
  // A state that cannot be loaded is moved aside, never saved over: it may be
  // the only copy of what a test or a user burnt.
  const auto KeepAside = [this](const std::filesystem::path& file, const std::string& why) {
    std::error_code ec;
    for (int n = 1; n < 1000; ++n) {
      std::filesystem::path aside = file;
      aside += ".damaged-" + std::to_string(n);
      if (std::filesystem::exists(std::filesystem::symlink_status(aside, ec))) continue;
      std::filesystem::rename(file, aside, ec);
      if (!ec) {
        LogLocked("state: " + file.string() + " " + why + "; kept as " + aside.string() + ", starting fresh");
        return false;
      }
      break;
    }
    // Not moved: nothing may be saved over it either.
    stateUnmovable = true;
    LogLocked("state: " + file.string() + " " + why + " and cannot be moved aside; it is not saved over");
    return false;
  };
  std::ifstream f(target, std::ios::binary);
  if (!f) return false;
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  f.close();
  ByteReader in(bytes.data(), bytes.size());
  if (in.U32() != kStateMagic || in.U32() != kStateVersion) return KeepAside(target, "is not a board state");
  if (in.U32() != static_cast<uint32_t>(options.kind)) {
    return KeepAside(target, "belongs to another kind of board");
  }
  // Parse into a scratch model first, so a damaged file changes nothing.
  BoardModel loaded(options);
  uint32_t savedStage = in.U32();
  loaded.nandReservedMb = in.U32();
  loaded.sdReservedMb = in.U32();
  loaded.sdFormatRequested = in.U8() != 0;
  loaded.sdPort = in.U8();
  loaded.nandIdParameters[0] = in.U32();
  loaded.nandIdParameters[1] = in.U32();
  uint32_t order = in.U32();
  for (uint32_t i = 0; i < order && in.ok(); ++i) loaded.rawNandOrder.push_back(in.U32());
  bool ok = in.ok();
  for (Medium medium : {Medium::kNor, Medium::kNand, Medium::kSpi})
    ok = ok && GetMedium(in, loaded.Get(medium));
  for (uint8_t port = 0; port < 3; ++port) ok = ok && GetMedium(in, loaded.SdSlot(port));
  if (!ok || savedStage > static_cast<uint32_t>(Stage::kLoader) || loaded.sdPort > 2) {
    return KeepAside(target, "is damaged");
  }
  if (!loaded.SdSlot(loaded.sdPort)) loaded.sdPort = model.sdPort;
  model = std::move(loaded);
  stage = static_cast<Stage>(savedStage);
  return true;
}

}  // namespace zorbel::sim
