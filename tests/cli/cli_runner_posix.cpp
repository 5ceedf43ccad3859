#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "cli_runner.h"

extern char** environ;

namespace zorbel::clitest {

int SpawnProgram(const std::string& name, const std::vector<std::string>& args,
                 const std::filesystem::path& workDir, const std::string& outPath,
                 const std::string& errPath) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  if (!errPath.empty()) {
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
  }
  posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());
  const std::string program = std::string(ZORBEL_BIN_DIR) + "/" + name;
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

Result RunZorbel(const std::vector<std::string>& args, const std::filesystem::path& workDir) {
  const auto outPath = workDir / ".zorbel.out";
  const auto errPath = workDir / ".zorbel.err";
  Result result;
  const pid_t pid = SpawnProgram("zorbel", args, workDir, outPath, errPath);
  int wstatus = 0;
  if (pid > 0 && waitpid(pid, &wstatus, 0) == pid && WIFEXITED(wstatus)) result.status = WEXITSTATUS(wstatus);
  result.out = Slurp(outPath);
  result.err = Slurp(errPath);
  std::filesystem::remove(outPath);
  std::filesystem::remove(errPath);
  return result;
}

}  // namespace zorbel::clitest
