#pragma once
// Ctrl+C during a run. The first one (or a termination request) sets the
// run's abort event: an operation over the COM port stops between chunks,
// closes its port and files and fails; the disk operations do not test the
// event and run to their end. A second one ends the process the platform's
// usual way.
#include "app/abort_event.h"

namespace zorbel::cli {

class InterruptWatch {
 public:
  explicit InterruptWatch(AbortEvent& abort);
  ~InterruptWatch();  // puts the earlier handling back
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

 private:
  struct Impl;
  Impl* impl_;
};

}  // namespace zorbel::cli
