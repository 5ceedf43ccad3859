#include "app/profile_reader.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "app/file_replace.h"
#include "app/paths.h"

namespace zorbel {

namespace {

constexpr const char* kOpenError = "Unable to open ini file.";
constexpr const char* kMissingSection = "Unable to locate specified key.";
constexpr const char* kMissingEntry = "Unable to locate specified value.";
constexpr size_t kImagePrefixLength = 5;

}  // namespace

void ProfileReader::SetPath(const std::string& path) { path_ = path; }

bool ProfileReader::ReadFile() {
  std::error_code ec;
  refusal_.clear();
  if (!std::filesystem::exists(Utf8Path(path_), ec) || ec) return false;
  refusal_ = ReadSourceRefusal(path_, kMaxTextFileSize);
  if (!refusal_.empty()) {
    error_ = kOpenError;
    return false;
  }
  std::ifstream in;
  if (!OpenForReading(in, path_, FileMode::kText)) {
    error_ = kOpenError;
    return false;
  }
  // Lines are read whole rather than through a fixed buffer: an overlong line
  // is neither cut nor run past, it simply stays one entry.
  std::string current;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      const size_t first = line.find_first_not_of('[');
      const size_t last = line.find_last_not_of(']');
      current = (first == std::string::npos || last == std::string::npos || last < first)
                    ? std::string()
                    : line.substr(first, last - first + 1);
      continue;
    }
    const size_t eq = line.find('=');
    if (eq == std::string::npos) {
      SetValue(current, std::string(), line.substr(1), true);
    } else {
      SetValue(current, line.substr(0, eq), line.substr(eq + 1), true);
    }
  }
  return true;
}

bool ProfileReader::WriteFile() const {
  std::string text;
  for (size_t s = 0; s < sections_.size(); ++s) {
    const Section& section = sections_[s];
    if (section.names.empty()) continue;
    text += '[';
    text += sectionNames_[s];
    text += "]\n";
    for (size_t i = 0; i < section.names.size(); ++i) {
      text += section.names[i];
      text += '=';
      text += section.values[i];
      text += '\n';
    }
    text += '\n';
  }
  return ReplaceFileWhole(path_, text, FileMode::kText);
}

std::string ProfileReader::GetValue(const std::string& section, const std::string& name) {
  const int s = FindSection(section);
  if (s < 0) {
    error_ = kMissingSection;
    return std::string();
  }
  const int k = FindKey(s, name);
  if (k < 0) {
    error_ = kMissingEntry;
    return std::string();
  }
  return sections_[static_cast<size_t>(s)].values[static_cast<size_t>(k)];
}

bool ProfileReader::SetValue(const std::string& section, const std::string& name, const std::string& value,
                             bool create) {
  int s = FindSection(section);
  if (s < 0) {
    if (!create) return false;
    sectionNames_.push_back(section);
    sections_.emplace_back();
    s = static_cast<int>(sections_.size()) - 1;
    sectionIndex_.emplace(section, static_cast<size_t>(s));
  }
  Section& body = sections_[static_cast<size_t>(s)];
  const int k = FindKey(s, name);
  if (k >= 0) {
    body.values[static_cast<size_t>(k)] = value;
    return true;
  }
  if (!create) return false;
  body.index.emplace(name, body.names.size());
  body.names.push_back(name);
  body.values.push_back(value);
  return true;
}

bool ProfileReader::DeleteValue(const std::string& section, const std::string& name) {
  const int s = FindSection(section);
  if (s < 0) return false;
  const int k = FindKey(s, name);
  if (k < 0) return false;
  Section& body = sections_[static_cast<size_t>(s)];
  body.names.erase(body.names.begin() + k);
  body.values.erase(body.values.begin() + k);
  IndexKeys(body);
  return true;
}

bool ProfileReader::DeleteKey(const std::string& section) {
  const int s = FindSection(section);
  if (s < 0) return false;
  sections_.erase(sections_.begin() + s);
  sectionNames_.erase(sectionNames_.begin() + s);
  IndexSections();
  return true;
}

void ProfileReader::IndexSections() {
  sectionIndex_.clear();
  for (size_t i = 0; i < sectionNames_.size(); ++i) sectionIndex_.emplace(sectionNames_[i], i);
}

void ProfileReader::IndexKeys(Section& section) {
  section.index.clear();
  for (size_t i = 0; i < section.names.size(); ++i) section.index.emplace(section.names[i], i);
}

int ProfileReader::GetNumValues(const std::string& section) const {
  const int s = FindSection(section);
  return s < 0 ? 0 : static_cast<int>(sections_[static_cast<size_t>(s)].names.size());
}

std::string ProfileReader::GetValueName(const std::string& section, int index) const {
  const int s = FindSection(section);
  if (s < 0 || index < 0) return std::string();
  const auto& names = sections_[static_cast<size_t>(s)].names;
  return static_cast<size_t>(index) < names.size() ? names[static_cast<size_t>(index)] : std::string();
}

int ProfileReader::FindSection(const std::string& name) const {
  const auto it = sectionIndex_.find(name);
  return it == sectionIndex_.end() ? -1 : static_cast<int>(it->second);
}

int ProfileReader::FindKey(int sectionIndex, const std::string& name) const {
  if (sectionIndex < 0 || static_cast<size_t>(sectionIndex) >= sections_.size()) return -1;
  const auto& index = sections_[static_cast<size_t>(sectionIndex)].index;
  const auto it = index.find(name);
  return it == index.end() ? -1 : static_cast<int>(it->second);
}

uint32_t ProfileReader::ImageNumberMask(const std::string& prefix) const {
  const std::string head = prefix.substr(0, std::min(prefix.size(), kImagePrefixLength));
  uint32_t mask = 0;
  for (const std::string& name : sectionNames_) {
    if (name.compare(0, head.size(), head) != 0) continue;
    // The number may follow after blanks ("Image 3" under the prefix "Image ").
    // A section whose name carries no number, or one that does not fit the
    // mask, marks nothing rather than image 0 or an undefined bit.
    size_t pos = head.size();
    while (pos < name.size() && std::isspace(static_cast<unsigned char>(name[pos]))) ++pos;
    if (pos >= name.size() || !std::isdigit(static_cast<unsigned char>(name[pos]))) continue;
    unsigned number = 0;
    while (pos < name.size() && std::isdigit(static_cast<unsigned char>(name[pos])) && number < 32) {
      number = number * 10 + static_cast<unsigned>(name[pos] - '0');
      ++pos;
    }
    if (number < 32) mask |= 1u << number;
  }
  return mask;
}

}  // namespace zorbel
