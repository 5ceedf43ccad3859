// SCSI transports: the socket framing against a small server played by the
// test on a temporary Unix socket.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/byte_order.h"
#include "link/scsi_transport.h"
#include "link/serial_port.h"

namespace zorbel {
namespace {

// --- A socket server that takes a fixed number of connections in turn.

bool ReadExact(int fd, void* buffer, size_t length) {
  auto* p = static_cast<uint8_t*>(buffer);
  while (length > 0) {
    const ssize_t n = ::recv(fd, p, length, 0);
    if (n <= 0) return false;
    p += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

bool WriteExact(int fd, const std::vector<uint8_t>& bytes) {
  return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

struct Request {
  std::vector<uint8_t> cdb;  // 16 bytes
  uint8_t cdbLength = 0;
  uint8_t direction = 0;
  uint32_t dataLength = 0;
  uint32_t timeoutSeconds = 0;
  std::vector<uint8_t> data;
};

// Decodes one request from the wire; false when the client went away.
bool ReadRequest(int fd, Request& request) {
  uint8_t header[26];
  if (!ReadExact(fd, header, sizeof header)) return false;
  request.cdb.assign(header, header + 16);
  request.cdbLength = header[16];
  request.direction = header[17];
  request.dataLength = LoadLe32(header + 18);
  request.timeoutSeconds = LoadLe32(header + 22);
  request.data.clear();
  if (request.direction == 1) {
    request.data.resize(request.dataLength);
    if (!ReadExact(fd, request.data.data(), request.dataLength)) return false;
  }
  return true;
}

std::vector<uint8_t> Reply(uint8_t status, uint32_t length, const std::vector<uint8_t>& data = {}) {
  std::vector<uint8_t> out = {status};
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
  std::string volume() const { return "unix:" + path_; }

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

TEST(SocketScsiTransport, CarriesEachDirectionInTheFraming) {
  std::vector<Request> seen;
  SocketServer server(1, [&](int, int fd) {
    Request r;
    while (ReadRequest(fd, r)) {
      seen.push_back(r);
      if (r.cdb[0] == 'c') WriteExact(fd, Reply(0, r.dataLength));
      if (r.cdb[0] == 'd') WriteExact(fd, Reply(0, 4, {0xDE, 0xAD, 0xBE, 0xEF}));
      if (r.cdb[0] == 'x') WriteExact(fd, Reply(0, 0));
    }
  });
  uint32_t error = 99;
  auto transport = OpenScsiTransport(server.volume(), &error);
  ASSERT_NE(transport, nullptr);
  EXPECT_EQ(error, 0u);

  std::vector<uint8_t> out = {1, 2, 3, 4, 5};
  EXPECT_TRUE(transport->Execute(Command('c', ScsiDirection::kToDevice, out.data(), 5, 20)));
  uint8_t in[4] = {};
  EXPECT_TRUE(transport->Execute(Command('d', ScsiDirection::kFromDevice, in, 4, 0x01020304)));
  EXPECT_EQ(LoadLe32(in), 0xEFBEADDEu);
  EXPECT_TRUE(transport->Execute(Command('x', ScsiDirection::kNone, nullptr, 0, 5)));
  EXPECT_EQ(transport->LastError(), 0u);
  transport.reset();  // the server sees the end of the stream

  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].cdb, (std::vector<uint8_t>{'c', 0x5A, 0, 0, 0, 0, 0, 0, 0, 0xEE, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(seen[0].cdbLength, 10);
  EXPECT_EQ(seen[0].direction, 1);
  EXPECT_EQ(seen[0].dataLength, 5u);
  EXPECT_EQ(seen[0].timeoutSeconds, 20u);
  EXPECT_EQ(seen[0].data, out);
  EXPECT_EQ(seen[1].direction, 2);
  EXPECT_EQ(seen[1].timeoutSeconds, 0x01020304u);
  EXPECT_TRUE(seen[1].data.empty());
  EXPECT_EQ(seen[2].direction, 0);
  EXPECT_EQ(seen[2].dataLength, 0u);
}

TEST(SocketScsiTransport, RepliesThatFailOrOverrunAreRefusedAndTheStreamStaysInStep) {
  struct Case {
    const char* name;
    std::vector<uint8_t> reply;
    bool ok;
    uint32_t error;
    std::vector<uint8_t> data;  // what the 4-byte buffer holds afterwards
  };
  const Case cases[] = {
      {"status set", Reply(1, 4), false, win_error::kGenFailure, {0, 0, 0, 0}},
      {"short", Reply(0, 2, {7, 8}), true, 0, {7, 8, 0, 0}},
      {"overrun", Reply(0, 6, {1, 2, 3, 4, 5, 6}), false, win_error::kGenFailure, {1, 2, 3, 4}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SocketServer server(1, [&](int, int fd) {
      Request r;
      if (!ReadRequest(fd, r)) return;
      WriteExact(fd, c.reply);
      if (!ReadRequest(fd, r)) return;  // the follow-up must still be framed right
      WriteExact(fd, Reply(0, 4, {9, 9, 9, 9}));
    });
    uint32_t error = 0;
    auto transport = OpenScsiTransport(server.volume(), &error);
    ASSERT_NE(transport, nullptr);
    uint8_t in[4] = {};
    EXPECT_EQ(transport->Execute(Command('e', ScsiDirection::kFromDevice, in, 4, 20)), c.ok);
    EXPECT_EQ(transport->LastError(), c.error);
    EXPECT_EQ(std::vector<uint8_t>(in, in + 4), c.data);
    EXPECT_TRUE(transport->Execute(Command('e', ScsiDirection::kFromDevice, in, 4, 20)));
    EXPECT_EQ(in[0], 9);
  }
}

TEST(SocketScsiTransport, ABrokenConnectionFailsTheRequestAndTheNextOneConnectsAgain) {
  int requests = 0;
  SocketServer server(2, [&](int connection, int fd) {
    Request r;
    if (!ReadRequest(fd, r)) return;
    ++requests;
    if (connection == 0) {
      WriteExact(fd, {0, 4});  // half a reply header, then gone
      return;
    }
    WriteExact(fd, Reply(0, 4, {1, 1, 1, 1}));
  });
  uint32_t error = 0;
  auto transport = OpenScsiTransport(server.volume(), &error);
  ASSERT_NE(transport, nullptr);
  uint8_t in[4] = {};
  EXPECT_FALSE(transport->Execute(Command('e', ScsiDirection::kFromDevice, in, 4, 20)));
  EXPECT_EQ(transport->LastError(), win_error::kDeviceNotConnected);
  EXPECT_TRUE(transport->Execute(Command('e', ScsiDirection::kFromDevice, in, 4, 20)));
  EXPECT_EQ(in[3], 1);
  transport.reset();
  EXPECT_EQ(requests, 2);
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
