#include <cstdio>

int main() {
  std::fprintf(stderr, "zorbel-board: virtual board (not yet available in this build)\n");
  return 2;
}
