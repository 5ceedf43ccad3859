#pragma once
// File choices through Qt's file dialogs, owned by a widget of the window.
#include <QPointer>
#include <QWidget>

#include "app/file_chooser.h"

namespace zorbel {

class QtFileChooser final : public FileChooser {
 public:
  explicit QtFileChooser(QWidget* owner) : owner_(owner) {}
  std::string ChooseOpenFile(const FileChoice& choice) override;
  std::string ChooseSaveFile(const FileChoice& choice) override;

 private:
  QPointer<QWidget> owner_;
};

}  // namespace zorbel
