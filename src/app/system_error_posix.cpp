// Message texts and errno mapping for platforms without the Windows message
// tables. The tool reasons in Windows codes everywhere, so POSIX failures are
// first mapped onto the nearest Windows code (table below), then worded here.
#include <cerrno>
#include <cstdio>
#include <iterator>

#include "app/system_error.h"

namespace zorbel {

namespace {

struct MessageEntry {
  uint32_t code;
  const char* text;
};

// Every Windows code the tool can produce or pass on.
constexpr MessageEntry kMessages[] = {
    {0, "The operation completed successfully."},
    {1, "Incorrect function."},
    {2, "The system cannot find the file specified."},
    {4, "The system cannot open the file."},
    {5, "Access is denied."},
    {6, "The handle is invalid."},
    {8, "Not enough memory resources are available to process this command."},
    {31, "A device attached to the system is not functioning."},
    {32, "The process cannot access the file because it is being used by another process."},
    {64, "The specified network name is no longer available."},
    {87, "The parameter is incorrect."},
    {120, "This function is not supported on this system."},
    {206, "The filename or extension is too long."},
    {995, "The I/O operation has been aborted because of either a thread exit or an application request."},
    {997, "Overlapped I/O operation is in progress."},
    {1167, "The device is not connected."},
    {1225, "The remote computer refused the network connection."},
    {1247,
     "An attempt was made to perform an initialization operation when initialization has already been "
     "completed."},
    {1460, "This operation returned because the timeout period expired."},
    {0x80070057u, "The parameter is incorrect."},
};

struct ErrnoEntry {
  int errnoValue;
  uint32_t windowsCode;
};

// errno -> nearest Windows code:
//   ENOENT ENOTDIR ENXIO         -> 2    file not found (what an absent port gives)
//   ENODEV                       -> 1167 device not connected
//   EACCES EPERM EROFS EBUSY     -> 5    access denied (a port in use elsewhere)
//   EBADF                        -> 6    invalid handle
//   ENOMEM ENOBUFS               -> 8    not enough memory
//   EMFILE ENFILE                -> 4    cannot open the file
//   EIO EPIPE                    -> 31   device not functioning (line hung up)
//   ECONNRESET                   -> 64   network name no longer available
//   EINVAL ERANGE                -> 87   invalid parameter
//   ENOTTY ENOSYS EOPNOTSUPP     -> 1    incorrect function (not a serial device)
//   ENAMETOOLONG                 -> 206  file name too long
//   ECANCELED EINTR              -> 995  operation aborted
//   ETIMEDOUT                    -> 1460 time-out
//   ECONNREFUSED                 -> 1225 connection refused
//   anything else                -> 31
constexpr ErrnoEntry kErrnoTable[] = {
    {0, 0},          {ENOENT, 2},         {ENOTDIR, 2},
    {ENXIO, 2},      {ENODEV, 1167},      {EACCES, 5},
    {EPERM, 5},      {EROFS, 5},          {EBUSY, 5},
    {EBADF, 6},      {ENOMEM, 8},         {ENOBUFS, 8},
    {EMFILE, 4},     {ENFILE, 4},         {EIO, 31},
    {EPIPE, 31},     {ECONNRESET, 64},    {EINVAL, 87},
    {ERANGE, 87},    {ENOTTY, 1},         {ENOSYS, 1},
    {EOPNOTSUPP, 1}, {ENAMETOOLONG, 206}, {ECANCELED, 995},
    {EINTR, 995},    {ETIMEDOUT, 1460},   {ECONNREFUSED, 1225},
};

constexpr uint32_t kUnmappedErrno = 31;

}  // namespace

std::string SystemMessageText(uint32_t windowsCode) {
  for (const auto& entry : kMessages) {
    if (entry.code == windowsCode) return entry.text;
  }
  char text[64];
  std::snprintf(text, sizeof text, "Unknown error %u.", windowsCode);
  return text;
}

uint32_t WindowsCodeFromErrno(int errnoValue) {
  for (const auto& entry : kErrnoTable) {
    if (entry.errnoValue == errnoValue) return entry.windowsCode;
  }
  return kUnmappedErrno;
}

}  // namespace zorbel
