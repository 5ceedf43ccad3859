#pragma once
// What the command line needs to know about its standard streams.
#include <cstdio>

namespace zorbel::cli {

bool IsTerminal(std::FILE* stream);

// The operations' debug lines are written to standard output, which carries
// the commands' data here: they go to standard error with debug set and
// nowhere otherwise, and the returned stream gets the old standard output
// to itself.
std::FILE* DataStream(bool debug);

}  // namespace zorbel::cli
