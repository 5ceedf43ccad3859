#pragma once
// The board operations' own message-box and debug texts, letter for letter.
namespace zorbel::texts {

// Both wires.
inline constexpr const char* kFileLengthZero = "File length is zero\n";
inline constexpr const char* kModifyOk = "Modify OK";
inline constexpr const char* kModifyError = "Modify Error";
// A NAND ROM file starts with a 12-byte header that is not sent.
inline constexpr const char* kNandRomTooShort = "File is shorter than the 12-byte NAND ROM header\n";
// A verify must ask the board for exactly what the file holds.
inline constexpr const char* kVerifyLengthDiffers =
    "File length differs from the last burn on this page, burn it first\n";
inline constexpr const char* kFileReadError = "File read error !\n";
inline constexpr const char* kLoaderTooShort = "Loader file is shorter than its header\n";
inline constexpr const char* kFileTooLarge = "File is larger than 4 GB\n";

// Over the COM port.
inline constexpr const char* kFailedToOpenFormat = "Failed to open %s";
inline constexpr const char* kSdramOpen = "File Open error1\n";
inline constexpr const char* kSdramHeadShort = "Write SDRAM head error\n";
inline constexpr const char* kSdramHeadAck = "SDRAM head ACK error !";
inline constexpr const char* kAckError = "ACK error !";
inline constexpr const char* kDataWriteShort = "Write data error !";
inline constexpr const char* kBurnError = "Burn error";
inline constexpr const char* kEraseError = "Erase error";
inline constexpr const char* kCopyFileOpen = "Open file failed in cpoy file";
inline constexpr const char* kNorEraseHeadShort = "Write NOR Erase head error";
inline constexpr const char* kNorModifyHeadShort = "NOR write modify head error !!!";
inline constexpr const char* kRawNorHeadShort = "Write RAW NOR head error";
inline constexpr const char* kRawNandHeadShort = "Write RAW NAND head error";
inline constexpr const char* kSpiHeadShort = "Write SPI head error";
inline constexpr const char* kNorHeadShort = "Write NOR head error";
inline constexpr const char* kNandHeadShort = "Write NAND head error";

// Over the disk.
inline constexpr const char* kNoDeviceHandle = "No Device Handle";
inline constexpr const char* kUpdateError = "Update error !";
inline constexpr const char* kUpdateLengthError = "Update length error !";
inline constexpr const char* kMsOpen = "Open file failed in write file";
inline constexpr const char* kMsSdramOpen = "Open file failed in write file(2)";
inline constexpr const char* kMsLoaderOpen = "Open file failed in write file(3)";
inline constexpr const char* kMsRawNorWriteOpen = "Open file failed in write file(4)";
inline constexpr const char* kMsRawNorVerifyOpen = "Open file failed in write file(5)";
inline constexpr const char* kMsSpiWriteOpen = "Open file failed in write file(7)";
inline constexpr const char* kMsSpiVerifyOpen = "Open file failed in write file(8)";
inline constexpr const char* kMsRawSpiWriteOpen = "Open file failed in write file(9)";
// Debug output only.
inline constexpr const char* kGetFileDataFailed = "Get File Data Failed !\n";
inline constexpr const char* kCompareError = "Compare Error !\n";
inline constexpr const char* kSdFormatError = "SD format error\n";

}  // namespace zorbel::texts
