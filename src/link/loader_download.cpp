#include "link/loader_download.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <vector>

#include "app/file_replace.h"
#include "app/byte_order.h"
#include "app/text_fill.h"
#include "app/user_prompt.h"
#include "link/serial_port.h"
#include "protocol/protocol_texts.h"
#include "protocol/records.h"

namespace zorbel {
namespace {

constexpr const char* kFileOpenError = " xusb.bin File Open error \n";
constexpr const char* kInvalidImage = "Invalid Image !";

constexpr uint32_t kQueueSize = 2048;
constexpr uint32_t kBaudRate = 9600;
constexpr uint32_t kAckTimeoutMs = 1000;  // the port's blocking read time-out
constexpr uint32_t kStartRecordSize = 8;

// Closes the port on every way out of the download.
class PortCloser {
 public:
  explicit PortCloser(SerialPort& port) : port_(port) {}
  ~PortCloser() { port_.Close(); }
  PortCloser(const PortCloser&) = delete;
  PortCloser& operator=(const PortCloser&) = delete;

 private:
  SerialPort& port_;
};

bool WriteAll(SerialPort& port, const uint8_t* data, uint32_t length) {
  uint32_t written = 0;
  const uint32_t error = port.Write(data, length, &written, nullptr, kInfinite);
  return error == win_error::kSuccess && written == length;
}

bool ReadAck(SerialPort& port, uint32_t expected) {
  std::array<uint8_t, 4> ack{};
  uint32_t got = 0;
  const uint32_t error = port.Read(ack.data(), static_cast<uint32_t>(ack.size()), &got, nullptr, kInfinite);
  return error == win_error::kSuccess && got == ack.size() && LoadLe32(ack.data()) == expected;
}

// Bytes a board sent for an earlier exchange and nobody read would be taken
// for the next reply.
void DropUnread(SerialPort& port) {
  std::array<uint8_t, 256> unread{};
  port.SetupReadTimeouts(0, 0);  // returns at once with what is there
  uint32_t got = 0;
  do {
    got = 0;
    if (port.Read(unread.data(), static_cast<uint32_t>(unread.size()), &got, nullptr, kInfinite) !=
        win_error::kSuccess) {
      return;
    }
  } while (got > 0);
}

// Percent is posted only at multiples of 5, as the dialog's bar moves in such steps.
void PostPercent(ProgressSink& progress, uint32_t percent) {
  if (percent % 5 == 0) progress.Progress(kLoaderPercentMessage, static_cast<int>(percent));
}

}  // namespace

LoaderDownloadResult DownloadComLoader(SerialPort& port, const std::string& portPath,
                                       const std::string& filePath, UserPrompt& prompt,
                                       ProgressSink& progress) {
  LoaderDownloadResult result;
  if (portPath.empty()) return result;
  if (port.Open(portPath, kQueueSize, kQueueSize) != win_error::kSuccess) {
    prompt.ShowMessage(FillText(texts::kFailedToOpenFormat, portPath));
    return result;
  }
  PortCloser closer(port);
  port.Setup(kBaudRate, 8, 0, 0);
  port.SetupReadTimeouts(1, kAckTimeoutMs);

  std::ifstream file;
  if (!OpenForReading(file, filePath, FileMode::kBinary)) {
    prompt.ShowMessage(kFileOpenError);
    return result;
  }
  file.seekg(0, std::ios::end);
  const std::streamoff fileSize = file.tellg();
  file.seekg(0, std::ios::beg);
  if (fileSize <= 0) {
    prompt.ShowMessage(texts::kFileLengthZero);
    return result;
  }
  std::array<uint8_t, kLoaderHeaderSize> headerBytes{};
  LoaderImageHeader header;
  // The start record announces a 32-bit length; a file without a whole
  // header or beyond that length is no loader.
  if (fileSize < static_cast<std::streamoff>(kLoaderHeaderSize) || fileSize > 0xFFFFFFFFll ||
      !file.read(reinterpret_cast<char*>(headerBytes.data()), headerBytes.size()) ||
      !ParseLoaderImageHeader(headerBytes, &header)) {
    prompt.ShowMessage(kInvalidImage);
    return result;
  }
  result.versionText = header.VersionText();
  if (!header.HasRomMagic()) {
    prompt.ShowMessage(kInvalidImage);
    return result;
  }

  const auto total = static_cast<uint32_t>(fileSize);
  std::array<uint8_t, kStartRecordSize> start{};
  StoreLe32(start.data(), total);
  StoreLe32(start.data() + 4, header.address);
  if (!WriteAll(port, start.data(), kStartRecordSize)) return result;

  // The announced length counts the header, which the stream leaves out: the
  // file holds 16 bytes fewer than are sent. The missing tail goes as zeros,
  // and nothing is read past the file's end.
  std::vector<uint8_t> chunk(kVcomChunkSize);
  uint32_t sent = 0;
  uint32_t percent = 0;
  while (sent < total) {
    const uint32_t length = std::min<uint32_t>(static_cast<uint32_t>(kVcomChunkSize), total - sent);
    std::fill(chunk.begin(), chunk.end(), 0);
    file.read(reinterpret_cast<char*>(chunk.data()), length);
    file.clear();  // a short last read is expected; the rest stays zero
    // A chunk the port did not take whole would leave the board's count and
    // ours apart: the loader could only arrive damaged.
    if (!WriteAll(port, chunk.data(), length)) return result;
    if (!ReadAck(port, length)) return result;
    sent += length;
    percent = static_cast<uint32_t>(static_cast<uint64_t>(sent) * 100 / total);
    PostPercent(progress, std::min<uint32_t>(percent, 100));
  }
  result.ok = true;
  return result;
}

bool LoaderAnswers(SerialPort& port, const std::string& portPath) {
  if (portPath.empty() || port.Open(portPath, kQueueSize, kQueueSize) != win_error::kSuccess) return false;
  PortCloser closer(port);
  port.Setup(kBaudRate, 8, 0, 0);
  DropUnread(port);
  port.SetupReadTimeouts(1, kAckTimeoutMs);
  port.ChooseMethod(FlashMethod::kNandRaw, nullptr);
  return port.LastError() == win_error::kSuccess;
}

LoaderDownloadResult RunLoaderDownload(SerialPort& port, const std::string& portPath,
                                       const std::string& filePath, UserPrompt& prompt,
                                       ProgressSink& progress) {
  progress.SetBarColour(kLoaderBarColour);
  LoaderDownloadResult result = DownloadComLoader(port, portPath, filePath, prompt, progress);
  progress.Progress(kLoaderDoneMessage, 0);
  return result;
}

}  // namespace zorbel
