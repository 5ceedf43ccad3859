#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "app/append_file.h"

namespace zorbel {
namespace {

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

bool EndsInLineEnd(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0 || st.st_size == 0) return true;
  char last = 0;
  return pread(fd, &last, 1, st.st_size - 1) == 1 && last == '\n';
}

}  // namespace

bool AppendLineWhole(const std::string& path, std::string_view line) {
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  // O_RDWR would be needed for the look at the last byte; a second descriptor
  // keeps the writer append-only.
  const int look = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  std::string record;
  if (look >= 0 && !EndsInLineEnd(look)) record += '\n';
  if (look >= 0) close(look);
  record.append(line);
  if (record.empty() || record.back() != '\n') record += '\n';
  // O_APPEND puts the one write at the end, whoever else appends meanwhile.
  bool ok = WriteAll(fd, record);
  ok = fsync(fd) == 0 && ok;
  return close(fd) == 0 && ok;
}

}  // namespace zorbel
