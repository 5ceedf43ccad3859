// System message texts on Windows and the "Result: " line built from them.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/system_error.h"

namespace zorbel {
namespace {

TEST(SystemErrorWin32, MessagesOfTheCodesTheToolCarries) {
  const uint32_t codes[] = {0, ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE,
                            ERROR_CALL_NOT_IMPLEMENTED, ERROR_OPERATION_ABORTED, ERROR_ALREADY_INITIALIZED,
                            ERROR_TIMEOUT, 0x80070057u};
  for (uint32_t code : codes) {
    SCOPED_TRACE(code);
    const std::string text = SystemMessageText(code);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.back(), '\n');
    EXPECT_NE(text.back(), '\r');
    EXPECT_EQ(text.find("Unknown error"), std::string::npos);
    const std::string line = ReportSystemError(code);
    EXPECT_EQ(line, "Result: " + text + "\n");
  }
}

TEST(SystemErrorWin32, CodeWithoutAMessageIsNamedByNumber) {
  EXPECT_EQ(SystemMessageText(0x2FFFFFFFu), "Unknown error 805306367.");
  EXPECT_EQ(ReportSystemError(0x2FFFFFFFu), "Result: Unknown error 805306367.\n");
}

}  // namespace
}  // namespace zorbel
