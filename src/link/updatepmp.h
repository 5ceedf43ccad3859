#pragma once
// MassStorageLink: the vendor commands sent to the board's USB disk.
// Boot-stage commands (block byte 0 = 0x06, byte 1 = letter) are answered by
// the chip's boot code; loader-stage commands (byte 0 = command letter) by the
// resident loader. Every command goes through the ScsiTransport handle it is
// given; a null handle fails like an invalid handle would. No function looks
// at the SCSI status or sense data: true means the request was carried out.
#include <cstdint>
#include <memory>
#include <string>

#include "link/scsi_transport.h"

namespace zorbel {

class DeviceBus;

namespace MassStorageLink {

// The boot code's data phase of 'Q', 'R', 'S' and 'U'; its contents are not used.
constexpr uint32_t kBootDataLength = 3583;
// What the run command reads back when familyMode is 0.
constexpr uint32_t kRunDataLength = 8;
// CMD_GetLastStatus reads this many bytes for the NAND ID selector, 4 otherwise.
constexpr uint8_t kNandIdSelector = 6;
constexpr uint32_t kNandIdLength = 5;
constexpr uint32_t kStatusLength = 4;

// Source label of the console error lines.
inline constexpr const char* kLibrarySource = "J:\\Release\\Lib\\updatepmp";
constexpr int kOpenVolumeLine = 78;
constexpr int kWriterProcessLine = 356;
constexpr int kWriteFileLine = 409;
constexpr int kSetParameterLine = 594;

// Writes "\n<source> <line> Result: <system message of code>\n" to standard output.
void LibraryErrorLine(uint32_t errorCode, const char* source, int line);

// Opens a volume ("unix:PATH", a device node, or a Windows volume path); with
// a bus, through bus->OpenVolume (the virtual board's bus, for instance).
// On failure writes the line-78 error line and "No device !\n" to standard
// output and returns null; error (when given) gets the system error code
// (kAccessDenied: another program holds the board).
std::unique_ptr<ScsiTransport> OpenVolume(const std::string& path, DeviceBus* bus = nullptr,
                                          uint32_t* error = nullptr);

// --- Command blocks. Each command function sends exactly the block built
// here; `data` is the caller's buffer (read for kToDevice, filled otherwise).
ScsiCommand BootStageBlock(uint8_t letter, uint32_t value, void* data);  // 'Q','R','S','U'
ScsiCommand WriteFirstStageBlock(const void* data, uint32_t length);     // 'r'
ScsiCommand RunBlock(uint32_t familyMode, void* data);  // 0x60; no data phase (kNone) for familyMode 1
ScsiCommand WriterProcessBlock(uint8_t unit, uint8_t flashMethod, const void* data, uint32_t length);
ScsiCommand ReadTableBlock(uint8_t unit, uint8_t medium, uint8_t part, void* data, uint32_t length);
// A length of 1 gives a 2-byte data phase: data must then hold 2 bytes.
ScsiCommand WriteFileBlock(uint8_t unit, const void* data, uint32_t length);
ScsiCommand GetFileDataBlock(uint8_t unit, void* data, uint32_t length);
ScsiCommand GetLastStatusBlock(uint8_t selector, void* data);
ScsiCommand SetParameterBlock(uint8_t selector, const void* data, uint32_t length);  // as WriteFileBlock

// --- Boot stage. `buffer` holds kBootDataLength bytes.
bool QueryBootStage(ScsiTransport* handle, uint8_t parameter, void* buffer);      // 'Q'
bool SendSettingFirstWord(ScsiTransport* handle, uint32_t value, void* buffer);   // 'R'
bool SendSettingSecondWord(ScsiTransport* handle, uint32_t value, void* buffer);  // 'S'
bool SetLoadAddress(ScsiTransport* handle, uint32_t loadAddress, void* buffer);   // 'U'
// 'r': the block carries the low 16 bits of length; the data phase is all of it.
bool WriteFirstStage(ScsiTransport* handle, const void* data, uint32_t length);
// 0x60: no data phase when familyMode is 1, else kRunDataLength bytes into
// buffer. Always true: the board may drop off the bus as the code starts.
bool RunLoadedCode(ScsiTransport* handle, uint32_t familyMode, void* buffer);

// --- Loader stage.
bool CMD_WriterProcess(ScsiTransport* handle, uint8_t unit, uint8_t flashMethod, const void* data,
                       uint32_t length);
bool CMD_ReadTable(ScsiTransport* handle, uint8_t unit, uint8_t medium, uint8_t part, void* data,
                   uint32_t length);
// A length of 1 sends 2 bytes (the byte and a 0); *transferred (may be null)
// gets length on success, 0 on failure.
bool CMD_WriteFile(ScsiTransport* handle, uint8_t unit, const void* data, uint32_t length,
                   uint32_t* transferred);
bool CMD_GetFileData(ScsiTransport* handle, uint8_t unit, void* data, uint32_t length);
// Reads kNandIdLength bytes for kNandIdSelector, else kStatusLength.
bool CMD_GetLastStatus(ScsiTransport* handle, uint8_t selector, void* data);
// Same length-1 rule and transferred count as CMD_WriteFile.
bool CMD_SetParameter(ScsiTransport* handle, uint8_t selector, const void* data, uint32_t length,
                      uint32_t* transferred);

}  // namespace MassStorageLink
}  // namespace zorbel
