#include "console.h"

#include <algorithm>

namespace zorbel::cli {
namespace {

constexpr int kBarWidth = 40;

}  // namespace

void ConsoleLine::PrintText(const std::string& text) {
  if (sink_) return sink_(text, -1);
  std::lock_guard<std::mutex> lock(mutex_);
  if (barOpen_) std::fputc('\n', out_);
  barOpen_ = false;
  std::fputs(text.c_str(), out_);
  if (text.empty() || text.back() != '\n') std::fputc('\n', out_);
  std::fflush(out_);
}

void ConsoleLine::PrintBar(int percent, bool terminal) {
  percent = std::clamp(percent, 0, 100);
  if (sink_) return sink_({}, percent);
  std::lock_guard<std::mutex> lock(mutex_);
  if (!terminal) {
    std::fprintf(out_, "%d%%\n", percent);
  } else {
    const int filled = percent * kBarWidth / 100;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(kBarWidth - filled), '.');
    std::fprintf(out_, "\r[%s] %3d%%", bar.c_str(), percent);
    barOpen_ = true;
  }
  std::fflush(out_);
}

void ConsoleLine::EndBar() {
  if (sink_) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (barOpen_) std::fputc('\n', out_);
  barOpen_ = false;
  std::fflush(out_);
}

void ConsolePrompt::ShowMessage(const std::string& text) { line_.PrintText(text); }

bool ConsolePrompt::AskOkCancel(const std::string& text) {
  // An option answers it; the question still tells why the command went as it did.
  if (const auto fixed = policy_.fixed.find(text); fixed != policy_.fixed.end()) {
    line_.PrintText(text);
    return fixed->second;
  }
  if (policy_.yes) return true;
  if (!policy_.interactive) {
    line_.PrintText(text);
    line_.PrintText(kNeedYes);
    refusedUnattended_ = true;
    return false;
  }
  line_.EndBar();
  std::fprintf(line_.Stream(), "%s [y/N] ", text.c_str());
  std::fflush(line_.Stream());
  char answer[64] = {};
  if (std::fgets(answer, sizeof(answer), in_) == nullptr) return false;
  return answer[0] == 'y' || answer[0] == 'Y';
}

void ConsoleProgress::Progress(uint32_t /*messageNumber*/, int percent) {
  // The operations reset the bar with 0 between phases; a plain log only
  // needs each change once.
  if (percent == last_) return;
  last_ = percent;
  line_.PrintBar(percent, terminal_);
}

void ConsoleObserver::SetStatus(const std::string& text) {
  last_ = text;
  if (verbose_ && !text.empty()) line_.PrintText(text);
}

void ConsoleObserver::SetVersionLabel(const std::string& text) {
  if (verbose_ && !text.empty()) line_.PrintText(text);
}

}  // namespace zorbel::cli
