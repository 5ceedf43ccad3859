#include "recipe.h"

#include <filesystem>
#include <fstream>

#include "app/file_replace.h"
#include "app/paths.h"
#include "protocol/page_rules.h"

namespace zorbel::cli {
namespace {

constexpr const char* kNoSteps = "holds no command";

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Where the board was reached: its port or its disk.
std::string ReachedAt(const BoardLink& link, const GlobalOptions& global) {
  const ConnectionState& connection = link.state.connection;
  if (!connection.portPath.empty()) return connection.portPath;
  if (!connection.volumes[0].path.empty()) return connection.volumes[0].path;
  return global.virtualBoard;
}

}  // namespace

bool LoadRecipe(const std::string& path, const GlobalOptions& global, Recipe& recipe, std::string& error) {
  std::ifstream in;
  if (!OpenForReading(in, path, FileMode::kText)) {
    error = "cannot read the recipe " + path;
    return false;
  }
  recipe = {};
  std::error_code ec;
  const auto absolute = std::filesystem::absolute(Utf8Path(path), ec);
  recipe.folder = ec ? FolderPart(path) : PathText(absolute.parent_path());
  std::string text;
  for (int number = 1; std::getline(in, text); ++number) {
    text = Trim(text);
    // Only whole lines are comments: a '#' inside a line may belong to a name.
    if (text.empty() || text.front() == '#') continue;
    StepCheck check = CheckStep(text, recipe.folder, global);
    if (!check.refusal.empty()) {
      error = path + " line " + std::to_string(number) + ": " + check.refusal;
      return false;
    }
    recipe.steps.push_back({number, text, std::move(check.sent)});
  }
  if (recipe.steps.empty()) {
    error = path + " " + kNoSteps;
    return false;
  }
  return true;
}

int RunRecipe(const Recipe& recipe, const BoardRun& run, BoardRunLog& log) {
  const StepServices& services = run.services;
  BoardLink& link = *services.global.link;
  log.started = UtcTimestamp();
  int status = kExitOk;
  {
    AnswerPolicy policy;
    policy.yes = true;
    ConsolePrompt prompt(services.line, policy, nullptr);
    Session session(services.global, services.line, prompt, services.progress, services.abort);
    if (!session.Connect(false)) {
      log.result = "not connected";
      status = kExitFailed;
    }
  }
  log.loader = Trim(link.state.versionText);
  for (size_t i = 0; i < recipe.steps.size(); ++i) {
    const RecipeStep& step = recipe.steps[i];
    LoggedStep logged{step.line, step.text, "not run", {}};
    if (status == kExitOk && run.stop != nullptr && run.stop->IsSet()) {
      log.result = "stopped";
      status = kExitFailed;
    }
    if (status == kExitOk) {
      if (run.onStep) run.onStep(i, step);
      for (const std::string& file : step.sent)
        logged.files.push_back({file, recipe.digests->Of(file).value_or("")});
      status = RunStep(step.text, recipe.folder, services);
      logged.result = status == kExitOk ? "ok" : "failed";
      if (status != kExitOk) log.result = "failed";
    }
    log.steps.push_back(std::move(logged));
  }
  if (status == kExitOk) log.result = "ok";
  log.ended = UtcTimestamp();
  return status;
}

int PrepareRecipe(const RecipeOptions& options, RecipeEnv& env, Recipe& recipe) {
  std::string error;
  if (!LoadRecipe(options.recipe, env.global, recipe, error)) {
    env.line.PrintText(error);
    return kExitUsage;
  }
  // One question for the whole recipe (and a station's every board): the
  // steps then run unattended.
  return env.prompt.AskOkCancel(page_text::kConfirmOperation) ? kExitOk : kExitFailed;
}

int RunCommand(const RecipeOptions& options, RecipeEnv& env) {
  Recipe recipe;
  if (const int refused = PrepareRecipe(options, env, recipe); refused != kExitOk) return refused;
  BoardLink link(env.global);
  GlobalOptions global = env.global;
  global.link = &link;
  BoardRun run{{global, env.line, env.progress, env.interrupted, env.out},
               &env.interrupted,
               [&env](size_t, const RecipeStep& step) {
                 env.line.PrintText("line " + std::to_string(step.line) + ": " + step.text);
               }};
  BoardRunLog log;
  const int status = RunRecipe(recipe, run, log);
  log.board = ReachedAt(link, env.global);
  if (!options.log.empty() && !RunLogFile(options.log).Append(log)) {
    env.line.PrintText("cannot write the log " + options.log);
    return kExitFailed;
  }
  return status;
}

}  // namespace zorbel::cli
