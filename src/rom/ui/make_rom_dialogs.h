// src/rom/ui/make_rom_dialogs.h
#pragma once
#include <cstdint>
#include <string>
class QWidget;
namespace zorbel {
class PageHost;
struct MakeRomOutcome {
  bool ok = false;       // the dialog ended with OK after a successful Make
  std::string romPath;   // the ROM file it made
  int imageCount = 0;    // NAND: the image count written into the file header
};
// Modal; returns when the dialog has closed.
MakeRomOutcome ExecMakeRomNorDlg(PageHost& host, QWidget* parent);
// blockSize in bytes: 0x4000, 0x20000 or 0x40000.
MakeRomOutcome ExecMakeRomNandDlg(PageHost& host, uint32_t blockSize, QWidget* parent);
MakeRomOutcome ExecMakeRomSpiDlg(PageHost& host, QWidget* parent);
}  // namespace zorbel
