#include "app/run_log.h"

#include <chrono>
#include <cstdio>
#include <fstream>

#include "app/append_file.h"
#include "app/file_replace.h"
#include "app/json.h"

namespace zorbel {
namespace {

std::string Member(const char* key, const std::string& value) {
  return JsonString(key) + ":" + JsonString(value);
}

}  // namespace

std::string FormatRunLog(const BoardRunLog& run) {
  std::string out = "{" + Member("board", run.board) + "," + Member("loader", run.loader) + "," +
                    Member("start", run.started) + "," + Member("end", run.ended) + ",\"steps\":[";
  for (size_t s = 0; s < run.steps.size(); ++s) {
    const LoggedStep& step = run.steps[s];
    out += s == 0 ? "{" : ",{";
    out += "\"line\":" + std::to_string(step.line) + "," + Member("command", step.command) + "," +
           Member("result", step.result) + ",\"files\":[";
    for (size_t f = 0; f < step.files.size(); ++f) {
      out += (f == 0 ? "{" : ",{") + Member("path", step.files[f].path) + "," +
             Member("sha256", step.files[f].sha256) + "}";
    }
    out += "]}";
  }
  return out + "]," + Member("result", run.result) + "}";
}

bool ParseRunLog(const std::string& line, BoardRunLog& run) {
  const auto value = ParseJson(line);
  if (!value || value->kind != JsonValue::Kind::kObject) return false;
  const JsonValue* steps = value->Find("steps");
  if (steps == nullptr || steps->kind != JsonValue::Kind::kArray || value->Text("result").empty())
    return false;
  run = {value->Text("board"), value->Text("loader"), value->Text("start"), value->Text("end"), {},
         value->Text("result")};
  for (const JsonValue& s : steps->items) {
    LoggedStep step;
    const JsonValue* number = s.Find("line");
    step.line = number != nullptr ? static_cast<int>(number->number) : 0;
    step.command = s.Text("command");
    step.result = s.Text("result");
    if (const JsonValue* files = s.Find("files"); files != nullptr) {
      for (const JsonValue& f : files->items) step.files.push_back({f.Text("path"), f.Text("sha256")});
    }
    run.steps.push_back(std::move(step));
  }
  return true;
}

std::vector<BoardRunLog> ReadRunLog(const std::string& path) {
  std::vector<BoardRunLog> runs;
  std::ifstream in;
  if (!OpenForReading(in, path, FileMode::kBinary)) return runs;
  std::string line;
  while (std::getline(in, line)) {
    BoardRunLog run;
    if (ParseRunLog(line, run)) runs.push_back(std::move(run));
  }
  return runs;
}

std::string UtcTimestamp() {
  using namespace std::chrono;
  const auto now = floor<milliseconds>(system_clock::now());
  const auto days = floor<std::chrono::days>(now);
  const year_month_day date{days};
  const hh_mm_ss time{now - days};
  char text[40];
  std::snprintf(text, sizeof(text), "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()), static_cast<int>(time.subseconds().count()));
  return text;
}

bool RunLogFile::Append(const BoardRunLog& run) {
  const std::string line = FormatRunLog(run);
  std::lock_guard<std::mutex> lock(mutex_);
  return AppendLineWhole(path_, line);
}

}  // namespace zorbel
