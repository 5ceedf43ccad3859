#pragma once
// Reads an INI-style file whole, answers and changes values in memory, and
// writes it back. Lookups are exact and case-sensitive; the file's order of
// sections and entries is kept.
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace zorbel {

class ProfileReader {
 public:
  void SetPath(const std::string& path);
  const std::string& Path() const { return path_; }
  bool ReadFile();
  // Lines of any length are read whole; one trailing '\r' is dropped so that
  // files with Windows line ends read the same everywhere.
  // Replaces the file whole (written beside it, then renamed over it). False
  // when it could not be written; the old file is then untouched.
  bool WriteFile() const;
  std::string GetValue(const std::string& section, const std::string& name);
  bool SetValue(const std::string& section, const std::string& name, const std::string& value, bool create);
  bool DeleteValue(const std::string& section, const std::string& name);
  bool DeleteKey(const std::string& section);
  int GetNumValues(const std::string& section) const;
  std::string GetValueName(const std::string& section, int index) const;
  int FindSection(const std::string& name) const;
  int FindKey(int sectionIndex, const std::string& name) const;
  uint32_t ImageNumberMask(const std::string& prefix) const;
  const std::string& ErrorText() const { return error_; }
  // Why ReadFile refused the file (no regular file, larger than
  // kMaxTextFileSize); empty when it was not refused.
  const std::string& Refusal() const { return refusal_; }
  int SectionCount() const { return static_cast<int>(sectionNames_.size()); }
  const std::string& SectionName(int index) const { return sectionNames_[static_cast<size_t>(index)]; }

 private:
  // Lookups go through the indexes (the first entry of a name), so a list of
  // a hundred thousand keys reads in well under a second; the vectors keep
  // the file's order.
  struct Section {
    std::vector<std::string> values;
    std::vector<std::string> names;
    std::unordered_map<std::string, size_t> index;
  };
  void IndexSections();
  static void IndexKeys(Section& section);
  std::string path_;
  std::vector<Section> sections_;
  std::vector<std::string> sectionNames_;
  std::unordered_map<std::string, size_t> sectionIndex_;
  std::string error_;
  std::string refusal_;
};

}  // namespace zorbel
