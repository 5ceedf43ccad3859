#pragma once
// Diverts what the process writes to standard output from now on: each piece
// goes to a callback (on a reader thread of the tap's own) and on to where
// standard output went before.
#include <functional>
#include <memory>
#include <string>

namespace zorbel {

class StdoutTap {
 public:
  using Sink = std::function<void(const std::string& text)>;
  StdoutTap();
  ~StdoutTap();  // puts standard output back and ends the reader
  StdoutTap(const StdoutTap&) = delete;
  StdoutTap& operator=(const StdoutTap&) = delete;

  // False when standard output cannot be diverted.
  bool Start(Sink sink);
  void Stop();
  bool Running() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zorbel
