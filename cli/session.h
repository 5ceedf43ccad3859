#pragma once
// One run's connection to the board: a given COM port, a given disk, the
// virtual board, or the connection sequence over the platform's discovery.
#include <memory>
#include <optional>
#include <string>

#include "app/abort_event.h"
#include "app/clock.h"
#include "app/tool_folder.h"
#include "app/tool_state.h"
#include "console.h"
#include "link/device_bus.h"
#include "link/serial_port.h"
#include "protocol/operation_context.h"
#include "virtual_board.h"

namespace zorbel::cli {

struct BoardLink;

struct GlobalOptions {
  std::string port;
  std::string disk;
  int family = -1;           // -1: not given
  std::string virtualBoard;  // "KIND" or "KIND:DIR"
  std::string dir;
  bool yes = false;
  ToolFolder toolFolder;  // found once the options are read
  // Set for the steps of a recipe: the board they all run on.
  BoardLink* link = nullptr;
};

struct VirtualBoardRequest {
  sim::BoardKind kind = sim::BoardKind::kVcom;
  std::string dir;
};
// Nullopt when the kind is not one of the board kinds.
std::optional<VirtualBoardRequest> ParseVirtualBoardOption(const std::string& value);

// A board reached once and kept: a command's own, or the one a recipe run's
// steps share (a station has one per board, each with its own tool state).
struct BoardLink {
  explicit BoardLink(const GlobalOptions& options);
  ~BoardLink();
  BoardLink(const BoardLink&) = delete;
  BoardLink& operator=(const BoardLink&) = delete;

  // Declared first so that they outlive the channels opened to them.
  std::unique_ptr<sim::VirtualBoard> board;
  std::unique_ptr<DeviceBus> ownBus;
  sim::VirtualBoard* virtualBoard = nullptr;  // the board, when it is a virtual one
  DeviceBus* bus = nullptr;                   // a station's view of this one board; null: as the options say
  RealClock realClock;
  Clock* clock = &realClock;  // tests share a fake one with their boards
  ToolState state;
  SerialPort port;
  bool connected = false;
  // Checking a recipe: a command stops where it would connect, sending nothing.
  bool checking = false;
  bool reached = false;  // a checked command got as far as connecting
  // Whether connecting sets how Ctrl+C ends the process (interrupt.h), which
  // is process-wide: a station decides it once for all its boards.
  bool decidesCtrlC = true;
  // Where a NAND image verify keeps its copy; empty: beside the image file.
  std::string verifyCopyPath;
};

class Session {
 public:
  // abort is the run's: Ctrl+C sets it (see interrupt.h).
  Session(const GlobalOptions& options, ConsoleLine& line, ConsolePrompt& prompt, ConsoleProgress& progress,
          AbortEvent& abort);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Gets the board ready as the options say (at once when a shared link is
  // connected already); false after saying why.
  bool Connect(bool verbose);
  bool OverDisk() const { return link_->state.connection.massStorageConnected != 0; }
  ToolState& State() { return link_->state; }
  SerialPort& Port() { return link_->port; }
  UserPrompt& Prompt() { return prompt_; }
  // A context for one operation, with the run's services.
  OperationContext Context();

 private:
  bool ConnectToDisk();
  bool ConnectAny(bool verbose);
  bool RunSequence(bool verbose);

  GlobalOptions options_;
  ConsoleLine& line_;
  ConsolePrompt& prompt_;
  ConsoleProgress& progress_;
  AbortEvent& abort_;
  std::unique_ptr<BoardLink> own_;
  BoardLink* link_;
};

// Why a virtual board whose folder another process holds is not reached.
std::string BoardFolderInUse(const std::string& dir);

}  // namespace zorbel::cli
