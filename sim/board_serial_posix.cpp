// The board's virtual COM port: a pseudo-terminal whose master side this
// thread serves. The tool opens the slave path with its ordinary serial
// port. Boot stage: the "xusb.bin" stream; loader stage: the in-band flash
// method request, heads, chunks with acknowledgements, verify verdicts,
// status words and table reads.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>

#include "board_bytes.h"
#include "board_impl.h"
#include "standin_files.h"

namespace zorbel::sim {
namespace {

constexpr uint8_t kMethodRequest = 0xB0;
constexpr uint32_t kChunk = 4096;
constexpr int kHeadRestMs = 1000;   // the rest of a record follows its first byte at once
constexpr int kChunkWaitMs = 5000;  // the tool sends each chunk whole
constexpr int kVerdictWaitMs = 15000;
constexpr int kWriteWaitMs = 15000;
constexpr uint32_t kErrorBits = 0x00010000;
constexpr uint32_t kMaxStream = 64u << 20;
constexpr size_t kNorTextSize = 16;

enum class Io { kOk, kTimeout, kClosed };

class PtyServer final : public SerialServer {
 public:
  explicit PtyServer(VirtualBoard::Impl& board) : board_(board) {}

  ~PtyServer() override {
    stop_ = true;
    if (wake_[1] >= 0) {
      uint8_t b = 1;
      [[maybe_unused]] ssize_t n = write(wake_[1], &b, 1);
    }
    if (thread_.joinable()) thread_.join();
    CloseFds();
    for (int fd : wake_) {
      if (fd >= 0) close(fd);
    }
  }

  bool Start(std::string* error) {
    if (pipe(wake_) != 0) return Fail(error, "pipe");
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return Fail(error, "posix_openpt");
    char name[256];
    if (ptsname_r(master_, name, sizeof name) != 0) return Fail(error, "ptsname");
    path_ = name;
    // Raw from the start; the settings stay with the line after the slave closes.
    int slave = open(name, O_RDWR | O_NOCTTY);
    if (slave < 0) return Fail(error, "open slave");
    termios t{};
    if (tcgetattr(slave, &t) == 0) {
      cfmakeraw(&t);
      tcsetattr(slave, TCSANOW, &t);
    }
    close(slave);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    thread_ = std::thread([this] { Serve(); });
    return true;
  }

  std::string Path() const override { return path_; }
  uint32_t PortClosings() const override { return closings_; }

  size_t ForeignDescriptors(const std::function<size_t()>& count) override {
    std::lock_guard<std::mutex> lock(fdMutex_);
    const size_t own = (master_ >= 0 ? 1 : 0) + (wake_[0] >= 0 ? 1 : 0) + (wake_[1] >= 0 ? 1 : 0);
    return count() - own;
  }

  void Hangup() override {
    // Called with the board's mutex held, possibly from this server's own thread.
    hungUp_ = true;
    uint8_t b = 2;
    [[maybe_unused]] ssize_t n = write(wake_[1], &b, 1);
  }

 private:
  bool Fail(std::string* error, const char* what) {
    if (error) *error = std::string(what) + ": " + std::strerror(errno);
    return false;
  }

  void CloseFds() {
    std::lock_guard<std::mutex> lock(fdMutex_);
    if (master_ >= 0) close(master_);
    master_ = -1;
  }

  // The tool closed its end (the master reports a hang-up). What the board
  // sent and nobody read is dropped, as the PC's driver drops it for a
  // closed port, so the next opener does not read stale replies.
  void PortClosed() {
    if (closedSeen_) return;
    closedSeen_ = true;
    std::lock_guard<std::mutex> lock(fdMutex_);
    int slave = open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave >= 0) {
      tcflush(slave, TCIFLUSH);
      close(slave);
    }
    ++closings_;
  }

  // Sleeps up to ms unless the server is woken; false when woken.
  bool Nap(int ms) {
    pollfd wake{wake_[0], POLLIN, 0};
    return poll(&wake, 1, ms) <= 0;
  }

  void Log(const std::string& line) {
    std::lock_guard<std::mutex> lock(board_.mutex);
    board_.LogLocked("serial: " + line);
  }

  // ---------------------------------------------------------------- wire
  // timeoutMs < 0 waits without limit (until the server stops).
  Io Read(uint8_t* out, size_t n, int timeoutMs) {
    size_t got = 0;
    uint64_t deadline = board_.realClock.NowMs() + static_cast<uint64_t>(std::max(timeoutMs, 0));
    while (got < n) {
      if (stop_ || hungUp_) return Io::kClosed;
      int wait = -1;
      if (timeoutMs >= 0) {
        uint64_t now = board_.realClock.NowMs();
        if (now >= deadline) return Io::kTimeout;
        wait = static_cast<int>(deadline - now);
      }
      pollfd fds[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
      int r = poll(fds, 2, wait);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0 || (fds[1].revents & POLLIN)) return Io::kClosed;
      if (fds[0].revents & POLLIN) {
        ssize_t k = read(master_, out + got, n - got);
        if (k > 0) {
          got += static_cast<size_t>(k);
          closedSeen_ = false;
        } else if (k < 0 && errno != EAGAIN && errno != EINTR && errno != EIO) {
          return Io::kClosed;
        }
      } else if (fds[0].revents & POLLHUP) {
        PortClosed();
        // Between operations the board waits for the next opener; within
        // one, a closed port ends it (the tool aborted).
        if (timeoutMs >= 0 || got > 0) return Io::kClosed;
        if (!Nap(10)) return Io::kClosed;
      } else if (fds[0].revents & (POLLERR | POLLNVAL)) {
        return Io::kClosed;
      }
    }
    return Io::kOk;
  }

  bool Write(const void* data, size_t n) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    size_t done = 0;
    uint64_t deadline = board_.realClock.NowMs() + kWriteWaitMs;
    while (done < n) {
      if (stop_ || hungUp_) return false;
      uint64_t now = board_.realClock.NowMs();
      if (now >= deadline) {
        Log("the tool does not read what the board sends");
        return false;
      }
      pollfd fds[2] = {{master_, POLLOUT, 0}, {wake_[0], POLLIN, 0}};
      int r = poll(fds, 2, static_cast<int>(deadline - now));
      if (r < 0 && errno == EINTR) continue;
      if (r < 0 || (fds[1].revents & POLLIN)) return false;
      if (fds[0].revents & POLLHUP) {
        PortClosed();
        return false;
      }
      if (fds[0].revents & POLLOUT) {
        ssize_t k = write(master_, p + done, n - done);
        if (k > 0) {
          done += static_cast<size_t>(k);
        } else if (k < 0 && errno != EAGAIN && errno != EINTR) {
          return false;
        }
      }
    }
    return true;
  }

  // The board's own time; on the real clock a stop or hang-up cuts it short.
  bool Sleep(uint32_t ms) {
    if (board_.clock != &board_.realClock) {
      board_.clock->SleepMs(ms);
      return !stop_ && !hungUp_;
    }
    uint64_t end = board_.realClock.NowMs() + ms;
    while (!stop_ && !hungUp_) {
      uint64_t now = board_.realClock.NowMs();
      if (now >= end) return true;
      pollfd wake{wake_[0], POLLIN, 0};
      if (poll(&wake, 1, static_cast<int>(end - now)) > 0) break;
    }
    return false;
  }

  bool WriteU32(uint32_t v) {
    uint8_t b[4];
    StoreLe32(b, v);
    return Write(b, 4);
  }

  // ---------------------------------------------------------------- stages
  void Serve() {
    while (!stop_ && !hungUp_) {
      Stage stage;
      {
        std::lock_guard<std::mutex> lock(board_.mutex);
        stage = board_.stage;
      }
      if (stage == Stage::kGone) break;
      if (stage == Stage::kBoot) {
        ServeLoaderStream();
      } else {
        ServeLoaderCommand();
      }
    }
    if (hungUp_) CloseFds();
  }

  // Per-chunk faults: true when the board answers no further (a disconnect,
  // or a short acknowledgement after which it waits for the next command).
  bool ChunkFaults(Operation operation, Medium medium, uint32_t chunkLength, bool* acked) {
    std::optional<Fault> disconnect, shortAck, wrongAck;
    {
      std::lock_guard<std::mutex> lock(board_.mutex);
      disconnect = board_.FireLocked(FaultKind::kDisconnectAtChunk, operation, medium);
      shortAck = board_.FireLocked(FaultKind::kShortChunkAck, operation, medium);
      wrongAck = board_.FireLocked(FaultKind::kWrongChunkAck, operation, medium);
      if (disconnect) {
        board_.LogLocked("fault: the pseudo-terminal closes");
        board_.Disconnect();
      }
    }
    *acked = false;
    if (disconnect) return true;
    if (shortAck) {
      uint8_t b[4];
      StoreLe32(b, chunkLength);
      Write(b, 2);
      return true;
    }
    if (wrongAck) {
      WriteU32(wrongAck->value ? wrongAck->value : chunkLength - 1);
      *acked = true;
    }
    return false;
  }

  // Receives `length` bytes in acknowledged chunks. False when the transfer broke off.
  // `beforeLastAck` takes the whole data before the last chunk is acknowledged,
  // so a tool that has its last acknowledgement finds the data in place.
  bool ReceiveChunks(uint32_t length, Operation operation, Medium medium, std::vector<uint8_t>& out,
                     const std::function<void(const std::vector<uint8_t>&)>& beforeLastAck = {}) {
    out.clear();
    out.reserve(length);
    uint8_t chunk[kChunk];
    while (out.size() < length) {
      uint32_t n = std::min<uint32_t>(kChunk, length - static_cast<uint32_t>(out.size()));
      Io io = Read(chunk, n, kChunkWaitMs);
      if (io != Io::kOk) {
        if (io == Io::kTimeout) {
          Log("chunk cut short after " + std::to_string(out.size()) + " of " + std::to_string(length) +
              " bytes");
        }
        return false;
      }
      out.insert(out.end(), chunk, chunk + n);
      if (out.size() == length && beforeLastAck) beforeLastAck(out);
      bool acked = false;
      if (ChunkFaults(operation, medium, n, &acked)) return false;
      if (!acked && !WriteU32(n)) return false;
    }
    return true;
  }

  void ServeLoaderStream() {
    uint8_t start[8];
    if (Read(start, 1, -1) != Io::kOk) return;
    if (Read(start + 1, 7, kHeadRestMs) != Io::kOk) {
      Log("loader start record cut short");
      return;
    }
    uint32_t length = LoadLe32(start);
    uint32_t address = LoadLe32(start + 4);
    if (length <= kStageHeaderSize || length > kMaxStream) {
      Log("loader start record announces " + std::to_string(length) + " bytes");
      return;
    }
    std::vector<uint8_t> stream;
    if (!ReceiveChunks(length, Operation::kLoaderStream, Medium::kSdram, stream)) return;
    // The file holds 16 bytes fewer than announced; the stage is what precedes them.
    std::vector<uint8_t> stage(stream.begin(), stream.end() - kStageHeaderSize);
    std::lock_guard<std::mutex> lock(board_.mutex);
    if (board_.options.checkLoaderTag) {
      std::string why =
          CheckStage(stage, kSerialStageTag, length - kStageHeaderSize, address, BoardKind::kVcom);
      if (!why.empty()) {
        board_.LogLocked("serial: loader refused: " + why);
        return;
      }
    }
    board_.lastLoader = stage;
    board_.loadAddress = address;
    board_.model.WriteRaw(Medium::kSdram, address, stage);
    board_.SetStageLocked(Stage::kLoader);
  }

  void ServeLoaderCommand() {
    uint8_t first;
    if (Read(&first, 1, -1) != Io::kOk) return;
    if (first == kMethodRequest) {
      ChooseMethod();
      return;
    }
    if (!method_) {
      Log("byte " + std::to_string(first) + " before any flash method was chosen");
      return;
    }
    uint8_t method = *method_;
    size_t headSize = method == 1 || method == 3 || method == 5 ? 60 : 12;
    if (method > 6) {
      Log("byte " + std::to_string(first) + " after a table read");
      return;
    }
    std::vector<uint8_t> head(headSize);
    head[0] = first;
    if (Read(head.data() + 1, headSize - 1, kHeadRestMs) != Io::kOk) {
      Log("head shorter than " + std::to_string(headSize) + " bytes for method " + std::to_string(method));
      return;
    }
    {
      std::lock_guard<std::mutex> lock(board_.mutex);
      board_.lastHead = head;
    }
    if (headSize == 60) {
      ImageHead(method, head);
    } else {
      RawHead(method, head);
    }
  }

  void ChooseMethod() {
    uint8_t code;
    if (Read(&code, 1, kHeadRestMs) != Io::kOk) {
      Log("flash method request cut short");
      return;
    }
    if (code < 0x80 || code > 0x80 + 10) {
      Log("flash method request " + std::to_string(code));
      return;
    }
    uint8_t method = static_cast<uint8_t>(code - 0x80);
    bool fail;
    {
      std::lock_guard<std::mutex> lock(board_.mutex);
      fail = board_.FireLocked(FaultKind::kFailCommand, Operation::kChooseMethod, Medium::kAny).has_value();
      if (!fail) board_.lastMethod = method;
    }
    if (fail) {
      uint8_t wrong[2] = {static_cast<uint8_t>(code ^ 0x40), 0};
      Write(wrong, 2);
      return;
    }
    uint8_t answer = method == 4 ? board_.options.nandBlockSizeCode : 1;
    uint8_t reply[2] = {code, answer};
    if (!Write(reply, 2)) return;
    method_ = method;
    if (method >= 7) SendTable(method);
  }

  void SendTable(uint8_t method) {
    std::vector<uint8_t> out;
    {
      std::lock_guard<std::mutex> lock(board_.mutex);
      if (method == 10) {
        out.assign(kNorTextSize, 0);
        std::memcpy(out.data(), board_.options.norDeviceText.data(),
                    std::min(board_.options.norDeviceText.size(), kNorTextSize));
      } else {
        Medium medium = method == 7 ? Medium::kNor : method == 8 ? Medium::kNand : Medium::kSpi;
        if (auto f = board_.FireLocked(FaultKind::kHugeTableCount, Operation::kReadTable, medium)) {
          AppendLe32(out, f->value ? f->value : 0x7FFFFFFF);
        } else {
          AppendLe32(out, static_cast<uint32_t>(board_.model.Get(medium)->table.size()));
          std::vector<uint8_t> entries = board_.model.TableBytes(medium, 60);
          out.insert(out.end(), entries.begin(), entries.end());
        }
      }
    }
    Write(out.data(), out.size());
    method_.reset();
  }

  // Status words while the board programs or erases: steps up to 100, or the failure.
  void Program(const std::string& why, Operation operation, Medium medium, bool rawWord) {
    uint32_t step, delay;
    {
      std::lock_guard<std::mutex> lock(board_.mutex);
      if (!why.empty()) board_.LogLocked("refused: " + why);
      board_.SaveLocked();
      step = std::max<uint32_t>(1, board_.options.progressStep);
      delay = board_.StepDelayLocked(operation, medium);
    }
    uint32_t percent = 0;
    while (percent < 100) {
      if (!Sleep(delay)) return;
      percent = std::min<uint32_t>(100, percent + step);
      uint32_t word = percent;
      if (!why.empty()) word = kErrorBits | percent;
      {
        std::lock_guard<std::mutex> lock(board_.mutex);
        if (auto f = board_.FireLocked(FaultKind::kStatusErrorBits, operation, medium)) {
          word |= f->value ? f->value : kErrorBits;
        }
      }
      (void)rawWord;
      if (!WriteU32(word) || (word & 0xFFFF0000u)) return;
    }
  }

  void SendForVerify(const std::vector<uint8_t>& data, Operation operation, Medium medium) {
    size_t sent = 0;
    while (sent < data.size()) {
      uint32_t n = static_cast<uint32_t>(std::min<size_t>(kChunk, data.size() - sent));
      {
        std::lock_guard<std::mutex> lock(board_.mutex);
        if (board_.FireLocked(FaultKind::kDisconnectAtChunk, operation, medium)) {
          board_.LogLocked("fault: the pseudo-terminal closes");
          board_.Disconnect();
          return;
        }
      }
      if (!Write(data.data() + sent, n)) return;
      uint8_t verdict[4];
      if (Read(verdict, 4, kVerdictWaitMs) != Io::kOk) {
        Log("no verdict for a verify chunk");
        return;
      }
      uint32_t v = LoadLe32(verdict);
      if (v == 0) return;  // the tool found a difference and stops
      if (v != n) {
        Log("verify verdict " + std::to_string(v) + " for a chunk of " + std::to_string(n));
        return;
      }
      sent += n;
    }
  }

  static Medium MediumOf(uint8_t method) {
    switch (method) {
      case 1:
      case 2:
        return Medium::kNor;
      case 3:
      case 4:
        return Medium::kNand;
      case 5:
      case 6:
        return Medium::kSpi;
      default:
        return Medium::kSdram;
    }
  }

  void ImageHead(uint8_t method, const std::vector<uint8_t>& h) {
    Medium medium = MediumOf(method);
    uint32_t command = LoadLe32(h.data());
    uint32_t length = LoadLe32(h.data() + 4);
    ImageEntry e;
    e.number = LoadLe32(h.data() + 8);
    e.name = FieldText(h.data() + 12, 32);
    e.type = LoadLe32(h.data() + 44);
    e.executeAddress = LoadLe32(h.data() + 48);
    e.start = LoadLe32(h.data() + 52);
    if (LoadLe32(h.data() + 56) != 0) Log("image head with a non-zero last word");
    switch (command) {
      case 0: {
        if (length == 0 || length > kMaxStream) {
          Log("image burn of " + std::to_string(length) + " bytes");
          WriteU32(kErrorBits);
          return;
        }
        if (!WriteU32(length)) return;
        std::vector<uint8_t> data;
        if (!ReceiveChunks(length, Operation::kBurn, medium, data)) return;
        std::string why;
        {
          std::lock_guard<std::mutex> lock(board_.mutex);
          why = board_.model.StoreImage(medium, e, data);
        }
        Program(why, Operation::kBurn, medium, false);
        return;
      }
      case 1: {
        if (length != 0) Log("modify head with a length");
        std::string why;
        {
          std::lock_guard<std::mutex> lock(board_.mutex);
          why = board_.model.ModifyImage(medium, e.number, e.type);
          if (!why.empty()) board_.LogLocked("refused: " + why);
          board_.SaveLocked();
        }
        WriteU32(why.empty() ? 100 : kErrorBits);
        return;
      }
      case 2: {
        std::string why;
        {
          std::lock_guard<std::mutex> lock(board_.mutex);
          why = board_.model.EraseImage(medium, e.number);
        }
        Program(why, Operation::kErase, medium, true);
        return;
      }
      case 3: {
        std::vector<uint8_t> data;
        {
          std::lock_guard<std::mutex> lock(board_.mutex);
          auto found = board_.model.Find(medium, e.number);
          uint32_t n = length ? length : (found ? found->length : 0);
          if (!found)
            board_.LogLocked("serial: verify of image " + std::to_string(e.number) + ", which is not there");
          const MediumState* m = board_.model.Get(medium);
          uint64_t offset = found ? board_.model.ImageOffset(medium, *found) : 0;
          data = m->store.Read(offset, std::min<uint64_t>(n, m->store.size() - offset));
        }
        if (!WriteU32(static_cast<uint32_t>(data.size()))) return;
        SendForVerify(data, Operation::kVerify, medium);
        return;
      }
      default:
        Log("image head with command " + std::to_string(command));
    }
  }

  void RawHead(uint8_t method, const std::vector<uint8_t>& h) {
    Medium medium = MediumOf(method);
    uint32_t command = LoadLe32(h.data());
    uint32_t length = LoadLe32(h.data() + 4);
    uint32_t address = LoadLe32(h.data() + 8);
    if (length == 0 || length > kMaxStream) {
      Log("raw head with " + std::to_string(length) + " bytes");
      return;
    }
    if (method == 6 && address != 0) Log("raw SPI head with an offset");
    if (method == 0) {
      if (command != 0) Log("SDRAM head with command " + std::to_string(command));
      if (!WriteU32(length)) return;
      std::vector<uint8_t> data;
      ReceiveChunks(length, Operation::kDownload, Medium::kSdram, data, [&](const std::vector<uint8_t>& all) {
        std::lock_guard<std::mutex> lock(board_.mutex);
        std::string why = board_.model.WriteRaw(Medium::kSdram, address & 0x7FFFFFFF, all);
        if (!why.empty()) board_.LogLocked("refused: " + why);
        if (why.empty() && (address & 0x80000000u)) board_.ranAddress = address & 0x7FFFFFFF;
      });
      return;
    }
    if (command == 0) {
      if (!WriteU32(length)) return;
      std::vector<uint8_t> data;
      if (!ReceiveChunks(length, Operation::kBurn, medium, data)) return;
      std::string why;
      {
        std::lock_guard<std::mutex> lock(board_.mutex);
        why = method == 4 ? board_.model.BurnNandRom(data, address)
                          : board_.model.WriteRaw(medium, method == 6 ? 0 : address, data);
      }
      Program(why, Operation::kBurn, medium, true);
      return;
    }
    if (command == 3) {
      std::vector<uint8_t> data;
      {
        std::lock_guard<std::mutex> lock(board_.mutex);
        if (method == 4) {
          data = board_.model.NandRomBody();
          data.resize(length, 0xFF);
        } else {
          const MediumState* m = board_.model.Get(medium);
          uint64_t offset = method == 6 ? 0 : address;
          if (offset <= m->store.size())
            data = m->store.Read(offset, std::min<uint64_t>(length, m->store.size() - offset));
        }
      }
      if (!WriteU32(static_cast<uint32_t>(data.size()))) return;
      SendForVerify(data, Operation::kVerify, medium);
      return;
    }
    Log("raw head with command " + std::to_string(command));
  }

  VirtualBoard::Impl& board_;
  std::string path_;
  int master_ = -1;
  bool closedSeen_ = false;  // serving thread only
  int wake_[2] = {-1, -1};
  std::mutex fdMutex_;  // held while the server opens or closes a descriptor
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> hungUp_{false};
  std::atomic<uint32_t> closings_{0};
  std::optional<uint8_t> method_;
};

}  // namespace

std::unique_ptr<SerialServer> StartSerialServer(VirtualBoard::Impl& board, std::string* error) {
  auto server = std::make_unique<PtyServer>(board);
  if (!server->Start(error)) return nullptr;
  return server;
}

}  // namespace zorbel::sim
