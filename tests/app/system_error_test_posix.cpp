// Windows codes as text and the errno mapping of the POSIX backends.
#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "app/system_error.h"

namespace zorbel {
namespace {

TEST(SystemError, ErrnoMapsOntoTheNearestWindowsCode) {
  struct Case {
    uint32_t code;
    std::vector<int> errnoValues;
  };
  const Case cases[] = {
      {0, {0}},
      {1, {ENOTTY, ENOSYS}},
      {2, {ENOENT, ENXIO, ENOTDIR}},
      {4, {EMFILE, ENFILE}},
      {5, {EACCES, EPERM, EBUSY, EROFS}},
      {6, {EBADF}},
      {8, {ENOMEM, ENOBUFS}},
      {31, {EIO, EPIPE, EDOM, EXDEV}},
      {64, {ECONNRESET}},
      {87, {EINVAL, ERANGE}},
      {206, {ENAMETOOLONG}},
      {995, {ECANCELED, EINTR}},
      {1167, {ENODEV}},
      {1225, {ECONNREFUSED}},
      {1460, {ETIMEDOUT}},
  };
  for (const auto& c : cases) {
    for (int e : c.errnoValues) EXPECT_EQ(WindowsCodeFromErrno(e), c.code) << e;
    // Every code the mapping can give has a real message.
    EXPECT_EQ(SystemMessageText(c.code).find("Unknown"), std::string::npos) << c.code;
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
