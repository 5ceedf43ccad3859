// zorbel: the command-line front end of Zorbel Flash Writer.
#include <cstdio>
#include <exception>

#include "commands.h"

int main(int argc, char** argv) {
  // Whatever goes wrong ends with a message and status 1, never an abort.
  try {
    return zorbel::cli::RunZorbel(argc, argv, stdin);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zorbel: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "zorbel: unexpected failure\n");
  }
  return zorbel::cli::kExitFailed;
}
