#pragma once
// The tool's message boxes. Texts are passed exactly as the user must see
// them (trailing "\n" and " !" included); the caption is always kAppTitle.
#include <mutex>
#include <string>
#include <vector>

namespace zorbel {

inline constexpr const char* kAppTitle = "Zorbel Flash Writer";

class UserPrompt {
 public:
  virtual ~UserPrompt() = default;
  // A modal box with an OK button; returns when the user has dismissed it.
  virtual void ShowMessage(const std::string& text) = 0;
  // A modal OK/Cancel question; true for OK.
  virtual bool AskOkCancel(const std::string& text) = 0;
};

// Keeps every text it is shown, in order; answers questions with a fixed
// answer. Used by tests and by callers that report later.
class RecordingPrompt final : public UserPrompt {
 public:
  explicit RecordingPrompt(bool answer = true) : answer_(answer) {}
  void ShowMessage(const std::string& text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back(text);
  }
  bool AskOkCancel(const std::string& text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    questions_.push_back(text);
    return answer_;
  }
  std::vector<std::string> Messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
  }
  std::vector<std::string> Questions() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return questions_;
  }

 private:
  mutable std::mutex mutex_;
  bool answer_;
  std::vector<std::string> messages_;
  std::vector<std::string> questions_;
};

}  // namespace zorbel
