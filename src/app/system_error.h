#pragma once
// Windows error codes as text. The tool carries Windows codes everywhere
// (serial port, SCSI transports); each platform provides the message texts
// (system_error_posix.cpp: a fixed table; system_error_win32.cpp: the system's).
#include <cstdint>
#include <string>

namespace zorbel {

// The system message of a Windows error code, without a trailing line break.
std::string SystemMessageText(uint32_t windowsCode);

// "Result: <message>\n", cut to fit a 256-character buffer. Shown nowhere:
// failure paths build it and go on with their own result.
std::string ReportSystemError(uint32_t windowsCode);

// The nearest Windows code for a POSIX errno value (POSIX backends only;
// the table is in system_error_posix.cpp).
uint32_t WindowsCodeFromErrno(int errnoValue);

}  // namespace zorbel
