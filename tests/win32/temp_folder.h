#pragma once
// A fresh folder under the system's temporary folder, removed with what it
// holds when the test ends. Paths use backslashes, as Windows gives them.
#include <windows.h>

#include <filesystem>
#include <string>

namespace zorbel::test {

class TempFolder {
 public:
  TempFolder() {
    char base[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, base);
    char name[MAX_PATH] = {};
    GetTempFileNameA(base, "zfw", 0, name);  // creates a file of that name
    DeleteFileA(name);
    CreateDirectoryA(name, nullptr);
    path_ = name;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& Path() const { return path_; }
  // An empty file in the folder: something that opens but is no device.
  std::string EmptyFile(const std::string& name) const {
    const std::string file = path_ + "\\" + name;
    CloseHandle(CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    return file;
  }

 private:
  std::string path_;
};

}  // namespace zorbel::test
