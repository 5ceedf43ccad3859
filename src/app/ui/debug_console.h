#pragma once
// The debug console that Alt+P opens: a window showing what the tool writes
// to standard output from then on. Opening it again keeps the one console.
#include <QPlainTextEdit>
#include <memory>

#include "app/ui/stdout_tap.h"

namespace zorbel {

class DebugConsole : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit DebugConsole(QWidget* parent = nullptr);
  ~DebugConsole() override;

  // Shows the console; the first call starts capturing standard output.
  void Open();
  bool Capturing() const { return tap_.Running(); }

 private:
  StdoutTap tap_;
};

}  // namespace zorbel
