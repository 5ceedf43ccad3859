// Windows codes as text and the errno mapping of the POSIX backends.
#include "app/system_error.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace zorbel {
namespace {

TEST(SystemError, ErrnoMapsOntoTheNearestWindowsCode) {
  struct Case {
    int errnoValue;
    uint32_t code;
  };
  const Case cases[] = {
      {0, 0},
      {ENOENT, 2},
      {ENXIO, 2},
      {ENOTDIR, 2},
      {ENODEV, 1167},
      {EACCES, 5},
      {EPERM, 5},
      {EBUSY, 5},
      {EROFS, 5},
      {EBADF, 6},
      {ENOMEM, 8},
      {ENOBUFS, 8},
      {EMFILE, 4},
      {ENFILE, 4},
      {EIO, 31},
      {EPIPE, 31},
      {ECONNRESET, 64},
      {EINVAL, 87},
      {ERANGE, 87},
      {ENOTTY, 1},
      {ENOSYS, 1},
      {ENAMETOOLONG, 206},
      {ECANCELED, 995},
      {EINTR, 995},
      {ETIMEDOUT, 1460},
      {ECONNREFUSED, 1225},
      {EDOM, 31},
      {EXDEV, 31},
  };
  for (const auto& c : cases) {
    const uint32_t code = WindowsCodeFromErrno(c.errnoValue);
    EXPECT_EQ(code, c.code) << c.errnoValue;
    // Every code the mapping can give has a real message.
    EXPECT_EQ(SystemMessageText(code).find("Unknown"), std::string::npos) << code;
  }
}

TEST(SystemError, ReportFormatsTheResultLine) {
  struct Case {
    uint32_t code;
    const char* line;
  };
  const Case cases[] = {
      {6, "Result: The handle is invalid.\n"},
      {1460, "Result: This operation returned because the timeout period expired.\n"},
      {0x80070057u, "Result: The parameter is incorrect.\n"},
      {0, "Result: The operation completed successfully.\n"},
      {123456, "Result: Unknown error 123456.\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(ReportSystemError(c.code), c.line) << c.code;
  // Fits the 256-character buffer with its terminator, whatever the text.
  for (uint32_t code : {0u, 995u, 1247u}) EXPECT_LT(ReportSystemError(code).size(), 256u);
}

}  // namespace
}  // namespace zorbel
