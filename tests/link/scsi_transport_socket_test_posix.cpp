// SCSI transports: the socket framing against a small server played by the
// test on a temporary Unix socket.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/byte_order.h"
#include "app/test_table.h"
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

ScsiCommand Command(uint8_t code, int direction, void* data, uint32_t length, uint32_t timeout) {
  ScsiCommand c;
  c.cdb[0] = code;
  c.cdb[1] = 0x5A;
  c.cdb[9] = 0xEE;
  c.direction = static_cast<ScsiDirection>(direction);  // numbered as on the wire
  c.data = data;
  c.dataLength = length;
  c.timeoutSeconds = timeout;
  return c;
}

Bytes Cell(const std::string& cell) { return Bytes(cell.begin(), cell.end()); }

TEST(SocketScsiTransport, CarriesEachDirectionInTheFraming) {
  const auto rows = testing::LoadTable("link/socket_framing.tsv");
  std::vector<Bytes> seen;
  SocketServer server(1, [&](int, int fd) {
    for (auto r = ReadRequest(fd); r; r = ReadRequest(fd)) {
      seen.push_back(*r);
      for (const auto& row : rows) {
        if (row[0][0] == (*r)[0]) WriteExact(fd, Cell(row[4]));
      }
    }
  });
  auto transport = server.Open();
  ASSERT_NE(transport, nullptr);
  std::vector<Bytes> expected;
  for (const auto& row : rows) {
    Bytes data = {1, 2, 3, 4, 5};
    data.resize(std::stoul(row[2]));
    const ScsiCommand command =
        Command(static_cast<uint8_t>(row[0][0]), std::stoi(row[1]), data.empty() ? nullptr : data.data(),
                std::stoul(row[2]), std::stoul(row[3], nullptr, 0));
    EXPECT_TRUE(transport->Execute(command)) << row[0];
    if (row[1] == "2") {
      EXPECT_EQ(data, Bytes(row[4].begin() + 5, row[4].end()));
    }
    expected.push_back(Cell(row[5]));
  }
  EXPECT_EQ(transport->LastError(), 0u);
  transport.reset();  // the server sees the end of the stream
  EXPECT_EQ(seen, expected);
}

// The request after each reply must still be framed right; a broken
// connection fails its request, and the next one connects again.
TEST(SocketScsiTransport, RepliesThatFailOrOverrunAreRefusedAndTheStreamStaysInStep) {
  const std::map<std::string, uint32_t> errors = {
      {"0", 0}, {"failure", win_error::kGenFailure}, {"not connected", win_error::kDeviceNotConnected}};
  for (const auto& row : testing::LoadTable("link/socket_replies.tsv")) {
    SCOPED_TRACE(row[0]);
    const bool hangsUp = row[5] == "1";
    int requests = 0;
    const std::vector<Bytes> replies = {Cell(row[1]), {0, 4, 0, 0, 0, 9, 9, 9, 9}};
    SocketServer server(hangsUp ? 2 : 1, [&](int connection, int fd) {
      // A server that hangs up takes one request per connection.
      const int last = hangsUp ? connection : 1;
      for (int i = connection; i <= last && ReadRequest(fd); ++i) WriteExact(fd, replies[requests++]);
    });
    auto transport = server.Open();
    ASSERT_NE(transport, nullptr);
    Bytes in(4);
    EXPECT_EQ(transport->Execute(Command('e', 2, in.data(), 4, 20)), row[2] == "1");
    EXPECT_EQ(transport->LastError(), errors.at(row[3]));
    EXPECT_EQ(in, Cell(row[4]));
    EXPECT_TRUE(transport->Execute(Command('e', 2, in.data(), 4, 20)));
    EXPECT_EQ(in, Bytes(4, 9));
    transport.reset();
    EXPECT_EQ(requests, 2);
  }
}

TEST(ScsiTransportOpen, FailuresGiveNoTransportAndAWindowsCode) {
  const std::pair<const char*, uint32_t> cases[] = {
      {"unix:/nonexistent/disk.sock", win_error::kFileNotFound},
      {"unix:", win_error::kFileNotFound},
      {"/nonexistent/sdz", win_error::kFileNotFound},
      {"/dev/null", 1},  // opens, but carries no SCSI commands
  };
  for (const auto& [path, expected] : cases) {
    uint32_t error = 0;
    EXPECT_EQ(OpenScsiTransport(path, &error), nullptr) << path;
    EXPECT_EQ(error, expected) << path;
  }
}

}  // namespace
}  // namespace zorbel
