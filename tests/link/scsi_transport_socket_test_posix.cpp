// SCSI transports: the socket framing against a small server played by the
// test on a temporary Unix socket.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/byte_order.h"
#include "link/scsi_transport.h"
#include "link/serial_port.h"

namespace zorbel {
namespace {

using Bytes = std::vector<uint8_t>;

bool ReadExact(int fd, uint8_t* p, size_t length) {
  for (ssize_t n = 0; length > 0; p += n, length -= static_cast<size_t>(n)) {
    n = ::recv(fd, p, length, 0);
    if (n <= 0) return false;
  }
  return true;
}

void WriteExact(int fd, const Bytes& bytes) { ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL); }

// One request as it came over the wire, its outgoing data included; none
// when the client went away.
std::optional<Bytes> ReadRequest(int fd) {
  Bytes request(26);
  if (!ReadExact(fd, request.data(), request.size())) return std::nullopt;
  if (request[17] == 1) {
    request.resize(26 + LoadLe32(&request[18]));
    if (!ReadExact(fd, request.data() + 26, request.size() - 26)) return std::nullopt;
  }
  return request;
}

Bytes Reply(uint8_t status, uint32_t length, const Bytes& data = {}) {
  Bytes out = {status};
  AppendLe32(out, length);
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

class SocketServer {
 public:
  // handler runs once per accepted connection, in order.
  SocketServer(int connections, std::function<void(int, int)> handler) {
    char dir[] = "/tmp/zorbel-scsi-XXXXXX";
    EXPECT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    path_ = dir_ + "/disk.sock";
    listener_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path_.c_str());
    EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(::listen(listener_, 4), 0);
    thread_ = std::thread([this, connections, handler] {
      for (int i = 0; i < connections; ++i) {
        const int fd = ::accept(listener_, nullptr, nullptr);
        if (fd < 0) return;
        handler(i, fd);
        ::close(fd);
      }
    });
  }
  ~SocketServer() {
    thread_.join();
    ::close(listener_);
    ::unlink(path_.c_str());
    ::rmdir(dir_.c_str());
  }
  std::unique_ptr<ScsiTransport> Open() const {
    uint32_t error = 99;
    auto transport = OpenScsiTransport("unix:" + path_, &error);
    EXPECT_EQ(error, 0u);
    return transport;
  }

 private:
  std::string dir_;
  std::string path_;
  int listener_ = -1;
  std::thread thread_;
};

ScsiCommand Command(uint8_t code, ScsiDirection direction, void* data, uint32_t length, uint32_t timeout) {
  ScsiCommand c;
  c.cdb[0] = code;
  c.cdb[1] = 0x5A;
  c.cdb[9] = 0xEE;
  c.direction = direction;
  c.data = data;
  c.dataLength = length;
  c.timeoutSeconds = timeout;
  return c;
}

// cdb[16], cdb length, direction, data length, timeout, data.
Bytes Framed(uint8_t code, uint8_t direction, uint32_t length, uint32_t timeout, const Bytes& data = {}) {
  Bytes out = {code, 0x5A, 0, 0, 0, 0, 0, 0, 0, 0xEE, 0, 0, 0, 0, 0, 0, 10, direction};
  AppendLe32(out, length);
  AppendLe32(out, timeout);
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

TEST(SocketScsiTransport, CarriesEachDirectionInTheFraming) {
  std::vector<Bytes> seen;
  SocketServer server(1, [&](int, int fd) {
    while (auto r = ReadRequest(fd)) {
      seen.push_back(*r);
      if ((*r)[0] == 'c') WriteExact(fd, Reply(0, 5));
      if ((*r)[0] == 'd') WriteExact(fd, Reply(0, 4, {0xDE, 0xAD, 0xBE, 0xEF}));
      if ((*r)[0] == 'x') WriteExact(fd, Reply(0, 0));
    }
  });
  auto transport = server.Open();
  ASSERT_NE(transport, nullptr);
  Bytes out = {1, 2, 3, 4, 5};
  EXPECT_TRUE(transport->Execute(Command('c', ScsiDirection::kToDevice, out.data(), 5, 20)));
  uint8_t in[4] = {};
  EXPECT_TRUE(transport->Execute(Command('d', ScsiDirection::kFromDevice, in, 4, 0x01020304)));
  EXPECT_EQ(LoadLe32(in), 0xEFBEADDEu);
  EXPECT_TRUE(transport->Execute(Command('x', ScsiDirection::kNone, nullptr, 0, 5)));
  EXPECT_EQ(transport->LastError(), 0u);
  transport.reset();  // the server sees the end of the stream
  EXPECT_EQ(seen, (std::vector<Bytes>{Framed('c', 1, 5, 20, out), Framed('d', 2, 4, 0x01020304),
                                      Framed('x', 0, 0, 5)}));
}

// The request after each reply must still be framed right; a broken
// connection fails its request, and the next one connects again.
TEST(SocketScsiTransport, RepliesThatFailOrOverrunAreRefusedAndTheStreamStaysInStep) {
  struct Case {
    const char* name;
    Bytes reply;
    bool ok;
    uint32_t error;
    Bytes data;  // what the 4-byte buffer holds afterwards
    bool hangsUp = false;
  };
  const Case cases[] = {
      {"status set", Reply(1, 4), false, win_error::kGenFailure, {0, 0, 0, 0}},
      {"short", Reply(0, 2, {7, 8}), true, 0, {7, 8, 0, 0}},
      {"overrun", Reply(0, 6, {1, 2, 3, 4, 5, 6}), false, win_error::kGenFailure, {1, 2, 3, 4}},
      {"half a reply header, then gone", {0, 4}, false, win_error::kDeviceNotConnected, {0, 0, 0, 0}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int requests = 0;
    SocketServer server(c.hangsUp ? 2 : 1, [&](int connection, int fd) {
      if (connection == 0) {
        if (!ReadRequest(fd)) return;
        ++requests;
        WriteExact(fd, c.reply);
        if (c.hangsUp) return;
      }
      if (!ReadRequest(fd)) return;
      ++requests;
      WriteExact(fd, Reply(0, 4, {9, 9, 9, 9}));
    });
    auto transport = server.Open();
    ASSERT_NE(transport, nullptr);
    uint8_t in[4] = {};
    EXPECT_EQ(transport->Execute(Command('e', ScsiDirection::kFromDevice, in, 4, 20)), c.ok);
    EXPECT_EQ(transport->LastError(), c.error);
    EXPECT_EQ(Bytes(in, in + 4), c.data);
    EXPECT_TRUE(transport->Execute(Command('e', ScsiDirection::kFromDevice, in, 4, 20)));
    EXPECT_EQ(Bytes(in, in + 4), Bytes(4, 9));
    transport.reset();
    EXPECT_EQ(requests, 2);
  }
}

TEST(ScsiTransportOpen, FailuresGiveNoTransportAndAWindowsCode) {
  struct Case {
    const char* path;
    uint32_t error;
  };
  const Case cases[] = {
      {"unix:/nonexistent/disk.sock", win_error::kFileNotFound},
      {"unix:", win_error::kFileNotFound},
      {"/nonexistent/sdz", win_error::kFileNotFound},
      {"/dev/null", 1},  // opens, but carries no SCSI commands
  };
  for (const auto& c : cases) {
    uint32_t error = 0;
    EXPECT_EQ(OpenScsiTransport(c.path, &error), nullptr) << c.path;
    EXPECT_EQ(error, c.error) << c.path;
  }
}

}  // namespace
}  // namespace zorbel
