// The console runs control handlers on a thread of their own, so the
// handler may set the abort event directly.
#include <windows.h>

#include <mutex>

#include "interrupt.h"

namespace zorbel::cli {
namespace {

// Held while the handler uses the event, so the watch cannot end under it.
std::mutex gMutex;
AbortEvent* gAbort = nullptr;

BOOL WINAPI OnControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  std::lock_guard<std::mutex> lock(gMutex);
  // Taken once: a second Ctrl+C finds no event and ends the process.
  if (gAbort == nullptr) return FALSE;
  gAbort->Set();
  gAbort = nullptr;
  return TRUE;
}

}  // namespace

struct InterruptWatch::Impl {};

InterruptWatch::InterruptWatch(AbortEvent& abort) : impl_(nullptr) {
  {
    std::lock_guard<std::mutex> lock(gMutex);
    gAbort = &abort;
  }
  SetConsoleCtrlHandler(OnControl, TRUE);
}

InterruptWatch::~InterruptWatch() {
  SetConsoleCtrlHandler(OnControl, FALSE);
  std::lock_guard<std::mutex> lock(gMutex);
  gAbort = nullptr;
}

}  // namespace zorbel::cli
