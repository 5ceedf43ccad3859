#include <cstdio>

int main() {
  std::fprintf(stderr, "zorbel: Zorbel Flash Writer command-line tool (not yet available in this build)\n");
  return 2;
}
