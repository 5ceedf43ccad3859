#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "app/append_file.h"
#include "app/paths.h"

namespace zorbel {
namespace {

bool EndsInLineEnd(const std::wstring& path) {
  const int fd = _wopen(path.c_str(), _O_RDONLY | _O_BINARY);
  if (fd < 0) return true;
  bool ends = true;
  const __int64 size = _lseeki64(fd, 0, SEEK_END);
  char last = 0;
  if (size > 0 && _lseeki64(fd, size - 1, SEEK_SET) == size - 1)
    ends = _read(fd, &last, 1) == 1 && last == '\n';
  _close(fd);
  return ends;
}

}  // namespace

bool AppendLineWhole(const std::string& path, std::string_view line) {
  const std::wstring wide = Utf8Path(path).wstring();
  std::string record;
  if (!EndsInLineEnd(wide)) record += '\n';
  record.append(line);
  if (record.empty() || record.back() != '\n') record += '\n';
  // _O_APPEND moves to the end before every write.
  const int fd = _wopen(wide.c_str(), _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (fd < 0) return false;
  bool ok =
      _write(fd, record.data(), static_cast<unsigned>(record.size())) == static_cast<int>(record.size());
  ok = _commit(fd) == 0 && ok;
  return _close(fd) == 0 && ok;
}

}  // namespace zorbel
