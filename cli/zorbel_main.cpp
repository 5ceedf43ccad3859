// zorbel: the command-line front end of Zorbel Flash Writer.
#include <cstdio>

#include "app/guarded_main.h"
#include "commands.h"

int main(int argc, char** argv) {
  return zorbel::RunGuarded("zorbel", [&] { return zorbel::cli::RunZorbel(argc, argv, stdin); });
}
