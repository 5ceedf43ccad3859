// Windows codes as text and the errno mapping of the POSIX backends.
#include <gtest/gtest.h>

#include <cerrno>
#include <utility>

#include "app/system_error.h"
#include "app/test_table.h"

namespace zorbel {
namespace {

// The codes callers act on must come out as on Windows; for any other errno
// the user reads a worded message, never "Unknown error".
TEST(SystemError, ErrnoMapsOntoACodeWithAMessage) {
  const std::pair<int, uint32_t> actedOn[] = {
      {0, 0},         {ENOENT, 2},       {EACCES, 5},  {EBUSY, 5},
      {ENODEV, 1167}, {ETIMEDOUT, 1460}, {EINTR, 995}, {ECANCELED, 995},
  };
  for (const auto& [errnoValue, code] : actedOn)
    EXPECT_EQ(WindowsCodeFromErrno(errnoValue), code) << errnoValue;
  for (int e = 0; e < 256; ++e) {
    const uint32_t code = WindowsCodeFromErrno(e);
    EXPECT_EQ(SystemMessageText(code).find("Unknown"), std::string::npos) << e << " -> " << code;
  }
}

TEST(SystemError, ReportFormatsTheResultLine) {
  // code, the line reported
  for (const auto& row : testing::LoadTable("app/system_error.tsv")) {
    EXPECT_EQ(ReportSystemError(std::stoul(row[0], nullptr, 0)), row[1]) << row[0];
  }
  // Fits the 256-character buffer with its terminator, whatever the text.
  for (uint32_t code : {0u, 995u, 1247u}) EXPECT_LT(ReportSystemError(code).size(), 256u);
}

}  // namespace
}  // namespace zorbel
