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

struct GlobalOptions {
  std::string port;
  std::string disk;
  int family = -1;           // -1: not given
  std::string virtualBoard;  // "KIND" or "KIND:DIR"
  std::string dir;
  bool yes = false;
  ToolFolder toolFolder;  // found once the options are read
};

struct VirtualBoardRequest {
  sim::BoardKind kind = sim::BoardKind::kVcom;
  std::string dir;
};
// Nullopt when the kind is not one of the board kinds.
std::optional<VirtualBoardRequest> ParseVirtualBoardOption(const std::string& value);

class Session {
 public:
  // abort is the run's: Ctrl+C sets it (see interrupt.h).
  Session(const GlobalOptions& options, ConsoleLine& line, ConsolePrompt& prompt, ConsoleProgress& progress,
          AbortEvent& abort);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Gets the board ready as the options say; false after saying why.
  bool Connect(bool verbose);
  bool OverDisk() const { return state_.connection.massStorageConnected != 0; }
  ToolState& State() { return state_; }
  SerialPort& Port() { return port_; }
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
  // Declared first so that it outlives the channels opened to it.
  std::unique_ptr<sim::VirtualBoard> board_;
  std::unique_ptr<DeviceBus> platformBus_;
  RealClock clock_;
  AbortEvent& abort_;
  ToolState state_;
  SerialPort port_;
};

}  // namespace zorbel::cli
