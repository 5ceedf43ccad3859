#pragma once
// The modify, erase and reserved-area sub-pages every medium with an image
// table shares; a medium gives its control identifiers, texts and wording
// of the outcome in a spec.
#include <QButtonGroup>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <array>
#include <vector>

#include "pages/operation_page.h"
#include "protocol/vcom_operations.h"

namespace zorbel {

class ListPage;

// How a failed operation of a sub-page is worded beyond what the operation said.
enum class FailureWording {
  kAlways,        // the page's failure text after every failure
  kWhenUnworded,  // only when nothing else was shown, so no failure ends in silence
};

// The six NOR flag check boxes, in flag bit order, in two rows of three
// from top (dialog units); and the flag byte they make.
std::vector<QCheckBox*> AddNorFlagBoxes(QWidget* page, const std::vector<const char*>& ids, int top);
uint32_t CheckedFlags(const std::vector<QCheckBox*>& boxes);

struct ModifySpec {
  const char* className;
  Medium medium;
  const char* numberId;
  // NAND, SPI, SD: the "Data", "Execute", "RomFS" radios; NOR: the six flag
  // check boxes in flag bit order.
  std::vector<const char*> typeIds;
  const char* applyId;
  FailureWording failure = FailureWording::kWhenUnworded;
};

// Changes the type (or NOR flags) of an image on the board.
class ImageModifyPage : public OperationPage {
  Q_OBJECT

 public:
  ImageModifyPage(ListPage& list, const ModifySpec& spec);
  ~ImageModifyPage() override;
  QPushButton* ApplyButton() const { return apply_; }

 private:
  uint32_t TypeValue() const;

  QLineEdit* number_;
  QButtonGroup* types_ = nullptr;
  std::vector<QCheckBox*> flags_;
  QPushButton* apply_;
  Action applyAction_;
};

struct EraseSpec {
  const char* className;
  Medium medium;
  uint32_t progressMessage;
  // "Erase image No", "Erase all Flash" and, NAND only, "Erase System Area".
  std::vector<const char*> choiceIds;
  const char* numberId;
  const char* applyId;
  const char* progressId;
  FailureWording failure = FailureWording::kAlways;
};

// Erases one image, the whole flash or (NAND) the system area.
class ImageErasePage : public OperationPage {
  Q_OBJECT

 public:
  ImageErasePage(ListPage& list, const EraseSpec& spec);
  ~ImageErasePage() override;
  QPushButton* ApplyButton() const { return apply_; }

 private:
  QButtonGroup* choices_;
  QLineEdit* number_;
  QPushButton* apply_;
  EraseChoice choice_ = EraseChoice::kImage;  // the running erase's
  Action applyAction_;
};

struct ReservedAreaSpec {
  const char* className;
  Medium medium;
  uint32_t progressMessage;
  const char* totalId;
  const char* totalLabel;
  const char* reservedId;
  const char* applyId;
  const char* progressId;
  uint32_t ToolState::*totalSize;  // the medium's size in MB, as the Option button read it
};

// The size of the medium's system reserved area.
class ReservedAreaPage : public OperationPage {
  Q_OBJECT

 public:
  ReservedAreaPage(ListPage& list, const ReservedAreaSpec& spec);
  ~ReservedAreaPage() override;
  QPushButton* ApplyButton() const { return apply_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void ShowTotal();
  // The SD card page's format request; false elsewhere.
  virtual bool FormatRequested() const { return false; }

  QLineEdit* total_;
  QLineEdit* reserved_;
  QPushButton* apply_;

 private:
  ReservedAreaSpec spec_;
  Action applyAction_;
};

}  // namespace zorbel
