#include "app/system_error.h"

#include <cstddef>
#include <cstdio>

namespace zorbel {

namespace {
// The line is made in a fixed buffer, as callers have always had it: a long
// system message is cut, never overruns.
constexpr size_t kReportBufferSize = 256;
}  // namespace

std::string ReportSystemError(uint32_t windowsCode) {
  char buffer[kReportBufferSize];
  std::snprintf(buffer, sizeof buffer, "Result: %s\n", SystemMessageText(windowsCode).c_str());
  return buffer;
}

}  // namespace zorbel
