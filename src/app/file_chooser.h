#pragma once
// The user's choice of a file to read or to write. The window asks with the
// platform's file dialogs; tests answer from a script, so no test ever
// drives a platform dialog.
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace zorbel {

struct FileChoice {
  std::string title;
  // Qt's form: "Bin,Img Files  (*.bin *.img *.gz);;All Files (*.*)".
  std::string filter;
  // Where the dialog opens; empty or missing: the user's home folder.
  std::string startFolder;
  // Save choices: the name proposed, and the extension added to a name
  // typed without one (no dot).
  std::string defaultName;
  std::string defaultSuffix;
};

class FileChooser {
 public:
  virtual ~FileChooser() = default;
  // The chosen full path, or "" when the user cancelled. UI thread only.
  // An open choice names an existing file.
  virtual std::string ChooseOpenFile(const FileChoice& choice) = 0;
  // A save choice may name a file that does not exist yet; the caller asks
  // no further question before writing it (the dialog confirmed overwriting).
  virtual std::string ChooseSaveFile(const FileChoice& choice) = 0;
};

// Answers each choice with the next scripted path ("" = cancelled, also when
// the script has run out) and keeps every choice it was asked.
class ScriptedFileChooser final : public FileChooser {
 public:
  struct Request {
    bool save;
    FileChoice choice;
  };
  void Answer(std::string path) {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_.push_back(std::move(path));
  }
  std::string ChooseOpenFile(const FileChoice& choice) override { return Next(false, choice); }
  std::string ChooseSaveFile(const FileChoice& choice) override { return Next(true, choice); }
  std::vector<Request> Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }

 private:
  std::string Next(bool save, const FileChoice& choice) {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back({save, choice});
    if (answers_.empty()) return {};
    std::string path = std::move(answers_.front());
    answers_.pop_front();
    return path;
  }
  mutable std::mutex mutex_;
  std::deque<std::string> answers_;
  std::vector<Request> requests_;
};

}  // namespace zorbel
