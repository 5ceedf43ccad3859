// MassStorageLink: one command block builder per command, one sender per
// command, and the console lines the library writes on the way.
#include "link/updatepmp.h"

#include <cstdio>

#include "app/byte_order.h"
#include "app/system_error.h"
#include "link/device_bus.h"
#include "link/serial_port.h"

namespace zorbel::MassStorageLink {

namespace {

constexpr uint8_t kBootStageMark = 0x06;
constexpr uint8_t kWriteFirstStage = 'r';
constexpr uint8_t kRun = 0x60;
constexpr uint8_t kWriterProcess = 'a';
constexpr uint8_t kReadTable = 'b';
constexpr uint8_t kWriteFile = 'c';
constexpr uint8_t kGetFileData = 'd';
constexpr uint8_t kGetLastStatus = 'e';
constexpr uint8_t kSetParameter = 'f';

constexpr uint32_t kBootTimeoutSeconds = 20;
constexpr uint32_t kFirstStageTimeoutSeconds = 50;
constexpr uint32_t kRunTimeoutSeconds = 5;
constexpr uint32_t kWriterProcessTimeoutSeconds = 100;
constexpr uint32_t kReadTableTimeoutSeconds = 50;
constexpr uint32_t kTransferTimeoutSeconds = 20;
constexpr uint32_t kSetParameterTimeoutSeconds = 100;

constexpr const char* kNoDevice = "No device !\n";

ScsiCommand Block(ScsiDirection direction, const void* data, uint32_t length, uint32_t timeoutSeconds) {
  ScsiCommand command;
  command.cdbLength = 10;
  command.direction = direction;
  // The transport only reads the buffer of a to-device command.
  command.data = const_cast<void*>(data);
  command.dataLength = length;
  command.timeoutSeconds = timeoutSeconds;
  return command;
}

ScsiCommand LoaderBlock(uint8_t code, uint8_t byte1, uint8_t byte6, uint8_t byte7, ScsiDirection direction,
                        const void* data, uint32_t length, uint32_t timeoutSeconds) {
  ScsiCommand command = Block(direction, data, length, timeoutSeconds);
  command.cdb[0] = code;
  command.cdb[1] = byte1;
  command.cdb[6] = byte6;
  command.cdb[7] = byte7;
  return command;
}

// The thread's last error as the console line reports it: the transport's
// code after a failed request, 0 after a good one.
bool Send(ScsiTransport* handle, const ScsiCommand& command, uint32_t* error) {
  if (handle == nullptr) {
    *error = win_error::kInvalidHandle;
    return false;
  }
  const bool ok = handle->Execute(command);
  *error = ok ? win_error::kSuccess : handle->LastError();
  return ok;
}

bool Send(ScsiTransport* handle, const ScsiCommand& command) {
  uint32_t error = 0;
  return Send(handle, command, &error);
}

// A one-byte transfer goes out as two bytes: the board takes no one-byte
// data phase.
constexpr uint32_t SentLength(uint32_t length) { return length == 1 ? 2 : length; }

// The two bytes sent for a one-byte transfer: the caller's byte and a 0, so
// that only the caller's one byte is read.
struct PaddedData {
  uint8_t pair[2] = {0, 0};
  const void* data;
  explicit PaddedData(const void* callerData, uint32_t callerLength) : data(callerData) {
    if (callerLength == 1 && callerData != nullptr) {
      pair[0] = *static_cast<const uint8_t*>(callerData);
      data = pair;
    }
  }
  PaddedData(const PaddedData&) = delete;  // data may point into this object
  PaddedData& operator=(const PaddedData&) = delete;
};

bool SendReported(ScsiTransport* handle, const ScsiCommand& command, int line, uint32_t length,
                  uint32_t* transferred) {
  uint32_t error = 0;
  const bool ok = Send(handle, command, &error);
  LibraryErrorLine(error, kLibrarySource, line);
  if (transferred != nullptr) *transferred = ok ? length : 0;
  return ok;
}

}  // namespace

void LibraryErrorLine(uint32_t errorCode, const char* source, int line) {
  std::printf("\n%s %d Result: %s\n", source, line, SystemMessageText(errorCode).c_str());
  std::fflush(stdout);
}

std::unique_ptr<ScsiTransport> OpenVolume(const std::string& path, DeviceBus* bus, uint32_t* errorOut) {
  uint32_t error = win_error::kGenFailure;
  std::unique_ptr<ScsiTransport> handle =
      bus != nullptr ? bus->OpenVolume(path, &error) : OpenScsiTransport(path, &error);
  if (errorOut != nullptr) *errorOut = handle == nullptr ? error : win_error::kSuccess;
  if (handle == nullptr) {
    LibraryErrorLine(error, kLibrarySource, kOpenVolumeLine);
    std::fputs(kNoDevice, stdout);
    std::fflush(stdout);
  }
  return handle;
}

ScsiCommand BootStageBlock(uint8_t letter, uint32_t value, void* data) {
  ScsiCommand command = Block(ScsiDirection::kFromDevice, data, kBootDataLength, kBootTimeoutSeconds);
  command.cdb[0] = kBootStageMark;
  command.cdb[1] = letter;
  StoreLe32(&command.cdb[2], value);
  return command;
}

ScsiCommand WriteFirstStageBlock(const void* data, uint32_t length) {
  ScsiCommand command = Block(ScsiDirection::kToDevice, data, length, kFirstStageTimeoutSeconds);
  command.cdb[0] = kBootStageMark;
  command.cdb[1] = kWriteFirstStage;
  // Only 16 bits of the length fit: a 65 536-byte stage carries 0.
  StoreLe16(&command.cdb[2], static_cast<uint16_t>(length & 0xFFFF));
  return command;
}

ScsiCommand RunBlock(uint32_t familyMode, void* data) {
  // The family loaders' run has no data phase at all.
  ScsiCommand command = familyMode == 1
                            ? Block(ScsiDirection::kNone, nullptr, 0, kRunTimeoutSeconds)
                            : Block(ScsiDirection::kFromDevice, data, kRunDataLength, kRunTimeoutSeconds);
  command.cdb[0] = kBootStageMark;
  command.cdb[1] = kRun;
  command.senseLength = 0;
  return command;
}

ScsiCommand WriterProcessBlock(uint8_t unit, uint8_t flashMethod, const void* data, uint32_t length) {
  return LoaderBlock(kWriterProcess, unit, flashMethod, 0, ScsiDirection::kToDevice, data, length,
                     kWriterProcessTimeoutSeconds);
}

ScsiCommand ReadTableBlock(uint8_t unit, uint8_t medium, uint8_t part, void* data, uint32_t length) {
  return LoaderBlock(kReadTable, unit, medium, part, ScsiDirection::kFromDevice, data, length,
                     kReadTableTimeoutSeconds);
}

ScsiCommand WriteFileBlock(uint8_t unit, const void* data, uint32_t length) {
  return LoaderBlock(kWriteFile, unit, 0, 0, ScsiDirection::kToDevice, data, SentLength(length),
                     kTransferTimeoutSeconds);
}

ScsiCommand GetFileDataBlock(uint8_t unit, void* data, uint32_t length) {
  return LoaderBlock(kGetFileData, unit, 0, 0, ScsiDirection::kFromDevice, data, length,
                     kTransferTimeoutSeconds);
}

ScsiCommand GetLastStatusBlock(uint8_t selector, void* data) {
  const uint32_t length = selector == kNandIdSelector ? kNandIdLength : kStatusLength;
  return LoaderBlock(kGetLastStatus, 0, selector, 0, ScsiDirection::kFromDevice, data, length,
                     kTransferTimeoutSeconds);
}

ScsiCommand SetParameterBlock(uint8_t selector, const void* data, uint32_t length) {
  return LoaderBlock(kSetParameter, 0, selector, 0, ScsiDirection::kToDevice, data, SentLength(length),
                     kSetParameterTimeoutSeconds);
}

bool QueryBootStage(ScsiTransport* handle, uint8_t parameter, void* buffer) {
  return Send(handle, BootStageBlock('Q', parameter, buffer));
}

bool SendSettingFirstWord(ScsiTransport* handle, uint32_t value, void* buffer) {
  return Send(handle, BootStageBlock('R', value, buffer));
}

bool SendSettingSecondWord(ScsiTransport* handle, uint32_t value, void* buffer) {
  return Send(handle, BootStageBlock('S', value, buffer));
}

bool SetLoadAddress(ScsiTransport* handle, uint32_t loadAddress, void* buffer) {
  return Send(handle, BootStageBlock('U', loadAddress, buffer));
}

bool WriteFirstStage(ScsiTransport* handle, const void* data, uint32_t length) {
  return Send(handle, WriteFirstStageBlock(data, length));
}

bool RunLoadedCode(ScsiTransport* handle, uint32_t familyMode, void* buffer) {
  Send(handle, RunBlock(familyMode, buffer));
  return true;
}

bool CMD_WriterProcess(ScsiTransport* handle, uint8_t unit, uint8_t flashMethod, const void* data,
                       uint32_t length) {
  return SendReported(handle, WriterProcessBlock(unit, flashMethod, data, length), kWriterProcessLine, length,
                      nullptr);
}

bool CMD_ReadTable(ScsiTransport* handle, uint8_t unit, uint8_t medium, uint8_t part, void* data,
                   uint32_t length) {
  return Send(handle, ReadTableBlock(unit, medium, part, data, length));
}

bool CMD_WriteFile(ScsiTransport* handle, uint8_t unit, const void* data, uint32_t length,
                   uint32_t* transferred) {
  const PaddedData padded(data, length);
  return SendReported(handle, WriteFileBlock(unit, padded.data, length), kWriteFileLine, length, transferred);
}

bool CMD_GetFileData(ScsiTransport* handle, uint8_t unit, void* data, uint32_t length) {
  return Send(handle, GetFileDataBlock(unit, data, length));
}

bool CMD_GetLastStatus(ScsiTransport* handle, uint8_t selector, void* data) {
  return Send(handle, GetLastStatusBlock(selector, data));
}

bool CMD_SetParameter(ScsiTransport* handle, uint8_t selector, const void* data, uint32_t length,
                      uint32_t* transferred) {
  const PaddedData padded(data, length);
  return SendReported(handle, SetParameterBlock(selector, padded.data, length), kSetParameterLine, length,
                      transferred);
}

}  // namespace zorbel::MassStorageLink
