#pragma once
// Ctrl+C during a run. While the run stops on its abort event (an operation
// over the COM port stops between chunks, closes its port and files and
// fails), the first one (or a termination request) sets the event and a
// second one ends the process the platform's usual way. Any other run (an
// offline build, a disk operation, which do not test the event) is ended at
// once, its unfinished working files removed.
#include "app/abort_event.h"

namespace zorbel::cli {

class InterruptWatch {
 public:
  explicit InterruptWatch(AbortEvent& abort);
  ~InterruptWatch();  // puts the earlier handling back
  // Whether the run in progress stops on its abort event (the default).
  static void SetRunStopsOnAbort(bool stops);
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

 private:
  struct Impl;
  Impl* impl_;
};

}  // namespace zorbel::cli
