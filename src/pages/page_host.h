#pragma once
// What an operation page needs of the window that holds it. The main window
// implements it; tests may too.
#include <mutex>
#include <string>

namespace zorbel {

class Clock;
class FileChooser;
class ProfileReader;
class UserPrompt;
struct ToolState;

class PageHost {
 public:
  virtual ~PageHost() = default;
  virtual ToolState& State() = 0;
  // Safe from workers: boxes appear modally on the UI thread.
  virtual UserPrompt& Prompt() = 0;
  // Every wait of an operation.
  virtual Clock& WorkerClock() = 0;
  // File choices of the pages and dialogs; UI thread only.
  virtual FileChooser& Files() = 0;
  // Bound to "path.ini" beside the executable; UI thread only.
  virtual ProfileReader& PathProfile() = 0;
  // UI thread only.
  virtual void SetSelectorEnabled(bool enabled) = 0;
  virtual void SetStatusText(const std::string& text) = 0;
  // An operation starts or ends: no connection attempt may change the
  // connection under it.
  virtual void SetOperationRunning(bool running) = 0;
  // The board serves one conversation at a time, and each page reaches it
  // through a port of its own: every table read and operation holds this
  // while it talks, so a read left running by a page the user switched away
  // from finishes before the next page's read starts. The window's own host
  // keeps the one mutex; a list page forwards to it.
  virtual std::mutex& BoardTurn() { return boardTurn_; }

 private:
  std::mutex boardTurn_;
};

}  // namespace zorbel
