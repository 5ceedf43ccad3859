#pragma once
// A program's body run so that whatever escapes it (an exception of the
// library, memory running out) ends the process with a message on standard
// error and status 1, never with an abort and a core dump.
#include <cstdio>
#include <exception>

namespace zorbel {

template <typename Body>
int RunGuarded(const char* program, Body&& body) {
  try {
    return body();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", program, e.what());
  } catch (...) {
    std::fprintf(stderr, "%s: unexpected failure\n", program);
  }
  return 1;
}

}  // namespace zorbel
