#include "app/ui/qt_file_chooser.h"

#include <QDir>
#include <QFileDialog>

namespace zorbel {
namespace {

// A remembered folder that has gone, or the default "c:" off Windows, opens
// the home folder rather than wherever the process happens to run.
QString StartFolder(const FileChoice& choice) {
  const QString folder = QString::fromStdString(choice.startFolder);
  return !folder.isEmpty() && QDir(folder).exists() ? folder : QDir::homePath();
}

}  // namespace

std::string QtFileChooser::ChooseOpenFile(const FileChoice& choice) {
  const QString chosen =
      QFileDialog::getOpenFileName(owner_, QString::fromStdString(choice.title), StartFolder(choice),
                                   QString::fromStdString(choice.filter), nullptr, QFileDialog::ReadOnly);
  return chosen.toStdString();
}

std::string QtFileChooser::ChooseSaveFile(const FileChoice& choice) {
  QFileDialog dialog(owner_, QString::fromStdString(choice.title), StartFolder(choice),
                     QString::fromStdString(choice.filter));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  if (!choice.defaultSuffix.empty()) dialog.setDefaultSuffix(QString::fromStdString(choice.defaultSuffix));
  if (!choice.defaultName.empty()) dialog.selectFile(QString::fromStdString(choice.defaultName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().front().toStdString();
}

}  // namespace zorbel
