#include "rom/ui/make_rom_dialogs.h"

#include "rom/ui/rom_dialogs.h"

namespace zorbel {
namespace {

MakeRomOutcome Run(MakeRomDialog& dialog) {
  dialog.exec();
  return dialog.Outcome();
}

}  // namespace

MakeRomOutcome ExecMakeRomNorDlg(PageHost& host, QWidget* parent) {
  CMakeRomNorDlg dialog(host, parent);
  return Run(dialog);
}

MakeRomOutcome ExecMakeRomNandDlg(PageHost& host, uint32_t blockSize, QWidget* parent) {
  CMakeRomNandDlg dialog(host, blockSize, parent);
  return Run(dialog);
}

MakeRomOutcome ExecMakeRomSpiDlg(PageHost& host, QWidget* parent) {
  CMakeRomSpiDlg dialog(host, parent);
  return Run(dialog);
}

}  // namespace zorbel
