// Writes the stand-in product files into the folder given on the command line.
#include <cstdio>
#include <string>

#include "standin_files.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_standins DIR\n");
    return 2;
  }
  std::string error;
  if (!zorbel::sim::WriteStandIns(argv[1], &error)) {
    std::fprintf(stderr, "make_standins: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
