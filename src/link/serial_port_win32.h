#pragma once
// Pieces of the Win32 serial backend that its tests reach: the control
// block's flag word as one value (the shared flag-word logic works on it),
// and the driver's flash-method control code. Included by Windows files only.
#include <windows.h>

#include <cstdint>

namespace zorbel::serial_win32 {

// The board driver's flash-method request: device type 0x1B (serial port),
// function 0x64, buffered, any access.
constexpr DWORD kChooseMethodControlCode = 0x001B0190;

// The DCB's bit fields (fBinary ... fAbortOnError) as the flag word.
uint32_t FlagWord(const DCB& dcb);
void SetFlagWord(DCB& dcb, uint32_t flags);

}  // namespace zorbel::serial_win32
