// The console runs control handlers on a thread of their own, so the
// handler may set the abort event directly.
#include <windows.h>

#include <atomic>
#include <mutex>

#include "app/file_replace.h"
#include "interrupt.h"

namespace zorbel::cli {
namespace {

// Held while the handler uses the event, so the watch cannot end under it.
std::mutex gMutex;
AbortEvent* gAbort = nullptr;
std::atomic<bool> gRunStopsOnAbort{true};

BOOL WINAPI OnControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  std::lock_guard<std::mutex> lock(gMutex);
  // Taken once: a second Ctrl+C finds no event and ends the process.
  if (gAbort == nullptr) return FALSE;
  gAbort->Set();
  if (!gRunStopsOnAbort) {
    // The default handling ends the process.
    RemoveUnfinishedFiles();
    return FALSE;
  }
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

void InterruptWatch::SetRunStopsOnAbort(bool stops) { gRunStopsOnAbort = stops; }

InterruptWatch::~InterruptWatch() {
  SetConsoleCtrlHandler(OnControl, FALSE);
  std::lock_guard<std::mutex> lock(gMutex);
  gAbort = nullptr;
}

}  // namespace zorbel::cli
