// SerialPort over a real pseudo-terminal: the termios code runs for real and
// the test answers on the master side as the board would.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <numeric>
#include <sstream>
#include <string>
#include <thread>

#include "app/test_table.h"
#include "app/user_prompt.h"
#include "link/refusing_port.h"
#include "link/serial_port.h"

namespace zorbel {
namespace {

using std::chrono::milliseconds;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kWinInvalidArg = 0x80070057u;

// A pseudo-terminal pair: the port opens the slave by its path, the test plays
// the board on the master.
class SerialPortPty : public ::testing::Test {
 protected:
  SerialPortPty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0 && ptsname(master_) != nullptr) {
      slave_ = ptsname(master_);
    }
  }
  ~SerialPortPty() override {
    port_.Close();
    CloseMaster();
  }
  void SetUp() override {
    ASSERT_FALSE(slave_.empty());
    ASSERT_EQ(port_.Open(slave_, 2048, 2048), 0u);
  }
  void CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }
  bool Send(const Bytes& bytes) const {
    return ::write(master_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }
  // Up to count bytes, waiting at most timeoutMs for them all.
  Bytes Receive(size_t count, int timeoutMs = 2000) const {
    Bytes out;
    const auto deadline = std::chrono::steady_clock::now() + milliseconds(timeoutMs);
    while (out.size() < count) {
      const auto left = std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd pfd{master_, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) break;
      uint8_t buffer[4096];
      const ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, count - out.size()));
      if (n <= 0) break;
      out.insert(out.end(), buffer, buffer + n);
    }
    return out;
  }
  // The slave's line settings as the kernel holds them.
  termios SlaveTermios() {
    termios tio{};
    const int fd = ::open(slave_.c_str(), O_RDWR | O_NOCTTY);
    EXPECT_EQ(tcgetattr(fd, &tio), 0);
    ::close(fd);
    return tio;
  }
  // Baud rate, data bits, parity and stop bits as the port reports them.
  std::vector<int> Line() {
    return {port_.GetBaudrate(), port_.GetDataBits(), port_.GetParity(), port_.GetStopBits()};
  }
  // Reads into a fresh buffer: the result and the bytes got.
  std::pair<uint32_t, Bytes> Read(uint32_t size, uint32_t timeoutMs) {
    Bytes buffer(size);
    uint32_t got = 99;
    const uint32_t error = port_.Read(buffer.data(), size, &got, nullptr, timeoutMs);
    buffer.resize(std::min(got, size));  // a count never written shows as zeros
    return {error, buffer};
  }

  int master_ = -1;
  std::string slave_;
  SerialPort port_;
};

TEST_F(SerialPortPty, OpenWhileOpenIsRefusedAndKeepsTheFirstHandle) {
  SerialPort other;
  EXPECT_EQ(other.Open(slave_, 2048, 2048), win_error::kAccessDenied);
  EXPECT_FALSE(other.IsOpen());
  EXPECT_EQ(port_.Open(slave_, 2048, 2048), win_error::kAlreadyInitialized);
  EXPECT_EQ(port_.LastError(), win_error::kAlreadyInitialized);
  uint32_t written = 0;
  EXPECT_EQ(port_.Write("ok", &written, nullptr, 1000), 0u);
  EXPECT_EQ(written, 2u);
  EXPECT_EQ(Receive(2), (Bytes{'o', 'k'}));
}

TEST_F(SerialPortPty, OpenSetsTheDefaultLine) {
  EXPECT_EQ(Line(), std::vector<int>({9600, 8, 0, 0}));
  EXPECT_EQ(port_.GetHandshaking(), 0);
  EXPECT_EQ(port_.GetEventMask(), 0xC1u);
  const termios tio = SlaveTermios();
  EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B9600));
  EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), static_cast<tcflag_t>(CS8));
  EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | INPCK), 0u);
  EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);  // raw: binary bytes pass untouched
}

TEST(SerialPortClosed, OpenOfAMissingOrNonSerialPathFails) {
  // /dev/null is no terminal: "incorrect function".
  for (const auto& [path, error] :
       {std::pair{"/nonexistent/tty", win_error::kFileNotFound}, {"/dev/null", 1u}}) {
    SerialPort port;
    EXPECT_EQ(port.Open(path, 2048, 2048), error) << path;
    EXPECT_FALSE(port.IsOpen()) << path;
    EXPECT_EQ(port.GetBaudrate(), -1) << path;
  }
}

TEST_F(SerialPortPty, HandshakingModesAreKeptAsTheControlBlockWould) {
  for (const auto& row : testing::LoadTable("link/handshaking.tsv")) {
    SCOPED_TRACE(row[0]);
    std::istringstream modes(row[0]);
    for (int mode; modes >> mode;) {
      const uint32_t expected = mode >= 0 && mode <= 2 ? 0u : kWinInvalidArg;
      ASSERT_EQ(port_.SetupHandshaking(mode), expected);
      EXPECT_EQ(port_.LastError(), expected);
    }
    EXPECT_EQ(port_.GetHandshaking(), std::stoi(row[1]));
    const termios tio = SlaveTermios();
    EXPECT_EQ((tio.c_cflag & CRTSCTS) != 0, row[2] == "1");
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), row[3] == "1" ? IXON | IXOFF : 0u);
  }
}

TEST_F(SerialPortPty, SetupChangesTheLineOrRefusesAndKeepsIt) {
  const std::map<int, speed_t> speeds = {
      {115200, B115200}, {57600, B57600}, {38400, B38400}, {19200, B19200}, {9600, B9600}};
  for (const auto& row : testing::LoadTable("link/line_setup.tsv")) {
    SCOPED_TRACE(row[0] + " " + row[1] + row[2] + row[3]);
    const std::vector<int> setting = {std::stoi(row[0]), std::stoi(row[1]), std::stoi(row[2]),
                                      std::stoi(row[3])};
    const std::vector<int> old = Line();
    const termios before = SlaveTermios();
    const uint32_t result = port_.Setup(setting[0], setting[1], setting[2], setting[3]);
    const termios tio = SlaveTermios();
    if (row[4] == "1") {
      EXPECT_EQ(result, win_error::kInvalidParameter);
      EXPECT_EQ(Line(), old);
      EXPECT_EQ(tio.c_cflag, before.c_cflag);
      continue;
    }
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(Line(), setting);
    EXPECT_EQ(cfgetospeed(&tio), speeds.at(setting[0]));
    const tcflag_t parity = (row[5].find("PARODD") != std::string::npos ? PARODD : 0) |
                            (row[5].find("CMSPAR") != std::string::npos ? CMSPAR : 0);
    EXPECT_EQ(tio.c_cflag & (PARODD | CMSPAR), parity);
    EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, row[6] == "1");
    EXPECT_EQ((tio.c_iflag & INPCK) != 0, setting[2] != 0);
  }
}

TEST_F(SerialPortPty, BlockingReadEndsAtThePortOrTheCallTimeoutAndLeavesNothingPending) {
  ASSERT_EQ(port_.SetupReadTimeouts(1, 10000), 0u);
  EXPECT_EQ(Read(4, 100), std::pair(win_error::kTimeout, Bytes{}));
  EXPECT_EQ(port_.LastError(), win_error::kTimeout);
  EXPECT_EQ(port_.WaitEvent(nullptr, 50), win_error::kTimeout);
  // Bytes sent afterwards all reach the next read: no earlier read took them.
  ASSERT_TRUE(Send({0xA1, 0xA2, 0xA3, 0xA4}));
  EXPECT_EQ(Read(4, 2000), std::pair(0u, Bytes{0xA1, 0xA2, 0xA3, 0xA4}));

  // Some bytes do not end the wait: a call time-out before the port's runs out.
  ASSERT_EQ(port_.SetupReadTimeouts(1, 200), 0u);
  ASSERT_TRUE(Send({1, 2, 3}));
  EXPECT_EQ(Read(10, 100), std::pair(win_error::kTimeout, Bytes{1, 2, 3}));
  ASSERT_TRUE(Send({4, 5}));
  EXPECT_EQ(Read(10, kInfinite), std::pair(0u, Bytes{4, 5}));
  EXPECT_EQ(port_.LastError(), 0u);

  CloseMaster();  // the board hangs up
  EXPECT_EQ(Read(4, 2000).first, win_error::kGenFailure);
}

TEST_F(SerialPortPty, NonBlockingReadReturnsWhatIsThere) {
  ASSERT_EQ(port_.SetupReadTimeouts(0, 0), 0u);
  // A refused mode keeps reads non-blocking: a blocking read would run into
  // the call's time-out instead.
  EXPECT_EQ(port_.SetupReadTimeouts(2, 5000), kWinInvalidArg);
  EXPECT_EQ(Read(4, 100), std::pair(0u, Bytes{}));
  ASSERT_TRUE(Send({5, 6}));
  ASSERT_EQ(port_.WaitEvent(nullptr, 2000), 0u);
  EXPECT_EQ(port_.GetEventMask(), 0x01u);  // the event seen, as the wait reports it
  Bytes total;
  for (int i = 0; i < 100 && total.size() < 2; ++i) {
    const auto [error, got] = Read(8, kInfinite);
    ASSERT_EQ(error, 0u);
    total.insert(total.end(), got.begin(), got.end());
    if (got.empty()) std::this_thread::sleep_for(milliseconds(5));
  }
  EXPECT_EQ(total, (Bytes{5, 6}));
}

TEST_F(SerialPortPty, CallerRecordIsCompletedBeforeReturning) {
  ASSERT_TRUE(Send({1, 2, 3, 4}));
  SerialOverlapped ov;
  ov.pending = true;
  uint8_t buffer[4];
  EXPECT_EQ(port_.Read(buffer, 4, nullptr, &ov, 2000), 0u);
  EXPECT_FALSE(ov.pending);
  EXPECT_EQ(ov.transferred, 4u);
  EXPECT_EQ(ov.error, 0u);
}

// The test answers the in-band request on the master.
TEST_F(SerialPortPty, ChooseMethodAnswersAsksAgainOnAMismatchAndGivesUp) {
  const std::map<std::string, uint32_t> outcomes = {
      {"ok", 0}, {"failure", win_error::kGenFailure}, {"timeout", win_error::kTimeout}};
  for (const auto& row : testing::LoadTable("link/choose_method.tsv")) {
    SCOPED_TRACE(row[0] + " " + row[3]);
    const auto method = static_cast<uint8_t>(std::stoi(row[0]));
    const uint32_t error = outcomes.at(row[3]);
    std::vector<std::string> replies;
    for (int i = 0; i < std::stoi(row[4]); ++i) replies.insert(replies.end(), row.begin() + 5, row.end());
    ASSERT_EQ(port_.SetupReadTimeouts(1, std::stoul(row[1])), 0u);
    std::vector<Bytes> requests;
    std::thread board([&] {
      for (const auto& reply : replies) {
        Bytes request = Receive(2, 3000);
        if (request.size() != 2) return;
        requests.push_back(request);
        if (!reply.empty()) Send(Bytes(reply.begin(), reply.end()));
      }
    });
    RecordingPrompt prompt;
    EXPECT_EQ(port_.ChooseMethod(method, &prompt), std::stoi(row[2], nullptr, 16));
    board.join();
    EXPECT_EQ(port_.LastError(), error);
    EXPECT_EQ(prompt.Messages(), error == 0
                                     ? std::vector<std::string>{}
                                     : std::vector<std::string>{"ChooseMethod - Unable to set flash method"});
    EXPECT_EQ(requests, std::vector<Bytes>(replies.size(), Bytes{0xB0, static_cast<uint8_t>(0x80 + method)}));
    EXPECT_TRUE(Receive(1, 100).empty());
  }
  EXPECT_EQ(port_.ChooseMethod(3, nullptr), 0);  // no prompt: fails quietly
}

// A caller takes a failed Open for a closed port: the object must be usable
// for the next Open, and the line free for others.
TEST_F(SerialPortPty, RefusedDefaultSettingLeavesThePortClosed) {
  port_.Close();
  for (int refuse = 0; refuse < 4; ++refuse) {
    SCOPED_TRACE(refuse);
    testing::RefusingPort port;
    port.refuse = refuse;
    EXPECT_EQ(port.Open(slave_, 2048, 2048), win_error::kGenFailure);
    EXPECT_EQ(port.LastError(), win_error::kGenFailure);
    EXPECT_FALSE(port.IsOpen());
    std::vector<int> upToRefused(refuse + 1);
    std::iota(upToRefused.begin(), upToRefused.end(), 0);
    EXPECT_EQ(port.calls, upToRefused);
    port.refuse = -1;
    EXPECT_EQ(port.Open(slave_, 2048, 2048), win_error::kSuccess);
    EXPECT_EQ(port.Close(), win_error::kSuccess);
    EXPECT_EQ(port.LastError(), win_error::kSuccess);
  }
}
// --- Close from another thread (also run under ThreadSanitizer, by name).

class SerialPortThreads : public SerialPortPty {};

TEST_F(SerialPortThreads, CloseWakesAReadOrAWriteAtOnce) {
  for (bool reading : {true, false}) {
    SCOPED_TRACE(reading ? "read" : "write");
    uint32_t result = win_error::kInvalidHandle;
    // A close that comes before the call has blocked proves nothing (the call
    // then finds the port closed), so such a round is tried again.
    for (int attempt = 0; attempt < 5 && result == win_error::kInvalidHandle; ++attempt) {
      if (!port_.IsOpen()) {
        ASSERT_EQ(port_.Open(slave_, 2048, 2048), 0u);
      }
      ASSERT_EQ(port_.SetupReadTimeouts(1, 10000), 0u);
      std::atomic<bool> started{false};
      std::atomic<uint32_t> outcome{0};
      std::thread call([&] {
        // Nobody reads the master: the line fills and the write waits.
        std::vector<uint8_t> buffer(1 << 20, 0x55);
        uint32_t count = 0;
        started = true;
        outcome = reading ? port_.Read(buffer.data(), 16, &count, nullptr, kInfinite)
                          : port_.Write(buffer.data(), static_cast<uint32_t>(buffer.size()), &count, nullptr,
                                        kInfinite);
      });
      while (!started) std::this_thread::yield();
      std::this_thread::sleep_for(milliseconds(50 << attempt));  // let it block in the wait
      EXPECT_EQ(port_.Close(), 0u);
      call.join();
      result = outcome.load();
    }
    // A read the close did not wake would end only at the port's time-out, with success.
    EXPECT_EQ(result, win_error::kOperationAborted);
    EXPECT_FALSE(port_.IsOpen());
  }
}

TEST_F(SerialPortThreads, ConcurrentClosesAndCallsEndCleanly) {
  for (int round = 0; round < 20; ++round) {
    if (round > 0) {
      ASSERT_EQ(port_.Open(slave_, 2048, 2048), 0u);
    }
    ASSERT_EQ(port_.SetupReadTimeouts(1, 10000), 0u);
    std::thread reader([&] {
      uint8_t buffer[4];
      uint32_t got = 0;
      // Either closed before it starts (6) or woken by the close (995).
      const uint32_t r = port_.Read(buffer, sizeof buffer, &got, nullptr, kInfinite);
      EXPECT_TRUE(r == win_error::kInvalidHandle || r == win_error::kOperationAborted) << r;
    });
    std::thread closer([&] { port_.Close(); });
    port_.Close();
    closer.join();
    reader.join();
    EXPECT_FALSE(port_.IsOpen());
  }
}

}  // namespace
}  // namespace zorbel
