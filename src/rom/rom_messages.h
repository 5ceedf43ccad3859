#pragma once
// Texts the ROM builders and the NAND block-size check show, each written once.
namespace zorbel::rom_text {

inline constexpr const char* kCantOpenScript = "ERROR: Can't open script file !";
inline constexpr const char* kCantOpenTarget = "ERROR: Can't open  target file !";
inline constexpr const char* kCantOpenTemp = "ERROR: Can't open  temp file !";
inline constexpr const char* kCantOpenBootloader = "ERROR: Can't open bootloader file !";
inline constexpr const char* kCantOpenImage = "ERROR: Can't open image file !";
inline constexpr const char* kBootTooLarge = "ERROR: Boot image size larger than 64k\n";
inline constexpr const char* kBootSizeError = "ERROR: Bootloader size error!\n";
inline constexpr const char* kArrangementError =
    "ERROR:\nImage arrangement error.\nPlease check image size, base address and arrangement!\n";
inline constexpr const char* kBaseNotAligned = "ERROR: Image base should be in 64k boundary.";
inline constexpr const char* kExceedMaxSize = "ERROR: Exceed max target file size (50M) !";
inline constexpr const char* kCreationSuccess = "creation success !!";
inline constexpr const char* kBlockSizeError = "NAND Block Size error !";
inline constexpr const char* kUnknownBlockSize = "Unknown NAND Block Size !";
inline constexpr const char* kBlockSizeMismatch =
    "NAND Block size does not match, do you want to convert it automically ?";
inline constexpr const char* kSizeError = "ERROR: size error !";
inline constexpr const char* kConvertSuccess = "Convert success !";

// Refusals of input the layout cannot hold.
inline constexpr const char* kCantWriteTarget = "ERROR: Can't write target file !";
inline constexpr const char* kInvalidBlockSize = "ERROR: Invalid NAND block size !";
inline constexpr const char* kImageTooLarge = "ERROR: Image file too large (4G) !";
inline constexpr const char* kNandCountExceeds =
    "ERROR: NAND ROM file holds fewer images than its header counts !";
inline constexpr const char* kNandImageTruncated = "ERROR: NAND ROM image runs past the end of the file !";
inline constexpr const char* kNandTrailingData =
    "ERROR: NAND ROM file holds more data than its header counts !";
inline constexpr const char* kNandNotRomFile = "ERROR: Not a NAND ROM file !";
inline constexpr const char* kNandBadImageHeader = "ERROR: NAND ROM image header is damaged !";

}  // namespace zorbel::rom_text
