// Which standard streams count as someone at a keyboard.
#include "terminal.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace zorbel::cli {
namespace {

TEST(Terminal, NullDeviceAndFilesAreNobodyTyping) {
#ifdef _WIN32
  const char* nullDevice = "NUL";  // a character device, which _isatty takes for a console
#else
  const char* nullDevice = "/dev/null";
#endif
  std::FILE* streams[] = {std::fopen(nullDevice, "r"), std::tmpfile()};
  for (std::FILE* stream : streams) {
    ASSERT_NE(stream, nullptr);
    EXPECT_FALSE(IsTerminal(stream));
    std::fclose(stream);
  }
}

}  // namespace
}  // namespace zorbel::cli
