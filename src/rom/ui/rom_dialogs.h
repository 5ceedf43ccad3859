#pragma once
// The Make ROM dialogs, their image dialogs and Add PHY Type. The list file
// (rom/rom_list.h) is their only state; these classes show it and hand the
// user's edits to it.
#include <QDialog>
#include <string>

#include "rom/rom_list.h"
#include "rom/ui/make_rom_dialogs.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace zorbel {

class IpAddressEdit;
class MaskedEdit;
class SortableList;

// Common to the three image dialogs; each medium has its class below.
class RomImageDialog : public QDialog {
  Q_OBJECT

 public:
  // previousNumber: the image being modified, -1 when adding.
  RomImageDialog(const char* className, PageHost& host, const RomList& list, const RomImage& image,
                 int previousNumber, const QString& title, QWidget* parent);
  const RomImage& Image() const { return image_; }

  void OnBrowse();
  void OnKindChosen();
  void accept() override;

 private:
  void ReadFields();
  QLineEdit* HexField(const std::string& text, const char* objectName);

  PageHost& host_;
  const RomList& list_;
  RomImage image_;
  int previousNumber_;
  QLineEdit* number_;
  QLineEdit* name_;
  QLineEdit* path_;
  // NOR
  std::vector<QCheckBox*> flags_;
  QLineEdit* base_ = nullptr;
  QLineEdit* load_ = nullptr;
  // NAND, SPI
  QButtonGroup* kinds_ = nullptr;
  QLineEdit* exec_ = nullptr;
  QLineEdit* start_ = nullptr;
};

class CNorRomImageDlg final : public RomImageDialog {
 public:
  CNorRomImageDlg(PageHost& host, const RomList& list, const RomImage& image, int previousNumber,
                  const QString& title, QWidget* parent)
      : RomImageDialog("CNorRomImageDlg", host, list, image, previousNumber, title, parent) {}
};
class CNandRomImageDlg final : public RomImageDialog {
 public:
  CNandRomImageDlg(PageHost& host, const RomList& list, const RomImage& image, int previousNumber,
                   const QString& title, QWidget* parent)
      : RomImageDialog("CNandRomImageDlg", host, list, image, previousNumber, title, parent) {}
};
class CSpiRomImageDlg final : public RomImageDialog {
 public:
  CSpiRomImageDlg(PageHost& host, const RomList& list, const RomImage& image, int previousNumber,
                  const QString& title, QWidget* parent)
      : RomImageDialog("CSpiRomImageDlg", host, list, image, previousNumber, title, parent) {}
};

class CAddPhyTypeDlg final : public QDialog {
  Q_OBJECT

 public:
  CAddPhyTypeDlg(PageHost& host, const RomList& list, const std::vector<std::string>& entries, QWidget* parent);
  std::string Name() const;
  void accept() override;

 private:
  PageHost& host_;
  const RomList& list_;
  std::vector<std::string> entries_;
  QLineEdit* name_;
};

// Common to the three Make ROM dialogs.
class MakeRomDialog : public QDialog {
  Q_OBJECT

 public:
  const MakeRomOutcome& Outcome() const { return outcome_; }
  SortableList* ImageList() const { return list_; }
  const RomList& List() const { return romList_; }

  void OnAdd();
  void OnModify();
  void OnRemove();
  virtual void OnMake() = 0;

 protected:
  MakeRomDialog(const char* className, const char* title, PageHost& host, RomListKind kind, RomListOptions options,
                QWidget* parent);
  // Builds the list and the buttons; `top` holds what a medium adds above.
  void Finish(QWidget* top);
  void keyPressEvent(QKeyEvent* event) override;
  // The save dialog for the ROM file; "" when cancelled.
  std::string ChooseRomFile();
  // After the builder ran: OK with the ROM file, or the failure added.
  void Built(int result, const std::string& romPath, int imageCount);

  PageHost& host_;
  RomList romList_;
  MakeRomOutcome outcome_;

 private:
  bool RunImageDialog(const QString& title, RomImage* image, int previousNumber);
  void AppendRow(const RomListRow& row);

  SortableList* list_ = nullptr;
};

class CMakeRomNorDlg final : public MakeRomDialog {
  Q_OBJECT

 public:
  CMakeRomNorDlg(PageHost& host, QWidget* parent);
  void OnMake() override;
  void OnChooseBootloader();
  void OnPhyAdd();
  void OnPhyDel();

 private:
  NorBootSettings ReadBoot() const;

  std::string bootloaderPath_;
  QLineEdit* bootloader_;
  QLineEdit* imageName_;
  QLineEdit* serial_;
  QLineEdit* bufferBase_;
  QLineEdit* bufferSize_;
  QComboBox* baudrate_;
  QRadioButton* turboEnable_;
  MaskedEdit* mac_;
  IpAddressEdit* ip_;
  QRadioButton* dhcpEnable_;
  QComboBox* phy_;
};

class CMakeRomNandDlg final : public MakeRomDialog {
  Q_OBJECT

 public:
  CMakeRomNandDlg(PageHost& host, uint32_t blockSize, QWidget* parent);
  void OnMake() override;

 private:
  uint32_t blockSize_;
  QComboBox* blockChoice_;
};

class CMakeRomSpiDlg final : public MakeRomDialog {
  Q_OBJECT

 public:
  CMakeRomSpiDlg(PageHost& host, QWidget* parent);
  void OnMake() override;
};

}  // namespace zorbel
