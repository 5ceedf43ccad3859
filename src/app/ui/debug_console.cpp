#include "app/ui/debug_console.h"

#include <QFontDatabase>
#include <QMetaObject>

namespace zorbel {
namespace {

constexpr const char* kConsoleTitle = "Zorbel Flash Writer - Console";

}  // namespace

DebugConsole::DebugConsole(QWidget* parent) : QPlainTextEdit(parent) {
  setObjectName("DebugConsole");
  setWindowFlag(Qt::Window);
  setWindowTitle(QString::fromUtf8(kConsoleTitle));
  setReadOnly(true);
  setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  resize(640, 320);
}

DebugConsole::~DebugConsole() { tap_.Stop(); }

void DebugConsole::Open() {
  if (!tap_.Running()) {
    tap_.Start([this](const std::string& text) {
      const QString chunk = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
      QMetaObject::invokeMethod(
          this,
          [this, chunk] {
            moveCursor(QTextCursor::End);
            insertPlainText(chunk);
          },
          Qt::QueuedConnection);
    });
  }
  show();
  raise();
}

}  // namespace zorbel
