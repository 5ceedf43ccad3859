// zorbel: the command-line front end of Zorbel Flash Writer.
#include <cstdio>

#include "commands.h"

int main(int argc, char** argv) { return zorbel::cli::RunZorbel(argc, argv, stdin); }
