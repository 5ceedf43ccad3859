// Windows codes as text and the errno mapping of the POSIX backends.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <utility>

#include "app/system_error.h"

namespace zorbel {
namespace {

// The codes callers act on must come out as on Windows; for any other errno
// the user reads a worded message, never "Unknown error".
TEST(SystemError, ErrnoMapsOntoACodeWithAMessage) {
  const std::pair<int, uint32_t> actedOn[] = {
      {0, 0},         {ENOENT, 2},        {EACCES, 5},   {EBUSY, 5},
      {ENODEV, 1167}, {ETIMEDOUT, 1460},  {EINTR, 995},  {ECANCELED, 995},
  };
  for (const auto& [errnoValue, code] : actedOn) EXPECT_EQ(WindowsCodeFromErrno(errnoValue), code) << errnoValue;
  for (int e = 0; e < 256; ++e) {
    const uint32_t code = WindowsCodeFromErrno(e);
    EXPECT_EQ(SystemMessageText(code).find("Unknown"), std::string::npos) << e << " -> " << code;
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
