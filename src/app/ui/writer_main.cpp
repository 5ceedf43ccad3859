#include <cstdio>

// The window is not built yet; say so rather than pretend to work.
int main() {
  std::fprintf(stderr, "zorbel-writer: Zorbel Flash Writer window (not yet available in this build)\n");
  return 2;
}
