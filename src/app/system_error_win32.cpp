// Message texts from the system's own message tables.
#include <windows.h>

#include <cstdio>
#include <string>

#include "app/system_error.h"

namespace zorbel {

std::string SystemMessageText(uint32_t windowsCode) {
  char* text = nullptr;
  // Language 0 lets the system fall back to a language it has texts in; the
  // user's default alone fails where the regional settings name a language
  // the system's texts were not installed in.
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      windowsCode, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message;
  if (length != 0 && text != nullptr) {
    message.assign(text, length);
    LocalFree(text);
    // The system's texts end in "\r\n"; callers add their own line breaks.
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
      message.pop_back();
    }
  }
  if (message.empty()) {
    char fallback[64];
    std::snprintf(fallback, sizeof fallback, "Unknown error %lu.", static_cast<unsigned long>(windowsCode));
    message = fallback;
  }
  return message;
}

}  // namespace zorbel
