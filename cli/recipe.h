#pragma once
// Recipes: one board command per line, as typed after "zorbel", run in order
// on one board. `zorbel run` runs one on the board the options name;
// `zorbel station` (station.h) runs one on every board plugged in.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/abort_event.h"
#include "app/run_log.h"
#include "app/sha256.h"
#include "commands.h"
#include "console.h"
#include "session.h"

namespace zorbel::cli {

struct RecipeOptions {
  std::string recipe;
  std::string log;           // the JSON-lines log; empty: none
  int count = 0;             // station: end after this many board runs; 0: at Ctrl+C
  uint32_t plugEveryMs = 0;  // station, virtual boards: plugged in this far apart
};

// What run and station get from the command line.
struct RecipeEnv {
  GlobalOptions global;
  std::vector<std::string> virtualBoards;
  ConsoleLine& line;
  ConsolePrompt& prompt;
  ConsoleProgress& progress;
  AbortEvent& interrupted;  // Ctrl+C
  std::FILE* out;
  bool terminal;
};

struct RecipeStep {
  int line = 0;  // 1-based, as an editor counts
  std::string text;
  std::vector<std::string> sent;  // files the step sends, resolved
};

struct Recipe {
  std::string folder;  // relative paths of its lines start here
  std::vector<RecipeStep> steps;
  // Every board of a station sends the same files: each is hashed once.
  std::shared_ptr<FileDigests> digests = std::make_shared<FileDigests>();
};

// Reads the file and checks every line without reaching a board. False with
// `error` naming the file and line of the first refusal.
bool LoadRecipe(const std::string& path, const GlobalOptions& global, Recipe& recipe, std::string& error);

// What one board's run goes through.
struct BoardRun {
  StepServices services;             // services.global.link is the board
  const AbortEvent* stop = nullptr;  // set: no further step starts
  // Told each step before it starts (index from 0); may be empty.
  std::function<void(size_t index, const RecipeStep& step)> onStep;
};

// Connects the board when it is not yet, then runs the steps in order until
// the first that fails or `stop` is set, filling `log` (the board's location
// is the caller's to fill). The run's exit status.
int RunRecipe(const Recipe& recipe, const BoardRun& run, BoardRunLog& log);

// Reads and checks the recipe, then asks once for the whole run; kExitOk when
// it may start, else the exit status after saying why.
int PrepareRecipe(const RecipeOptions& options, RecipeEnv& env, Recipe& recipe);

int RunCommand(const RecipeOptions& options, RecipeEnv& env);

}  // namespace zorbel::cli
