#pragma once
// The add sub-page of the media whose images carry a type (NAND, SD): burns
// an image file into the board's table and verifies it against the file.
// A medium gives its control identifiers and words in a spec.
#include <QButtonGroup>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <array>
#include <string>

#include "pages/operation_page.h"

namespace zorbel {

class ListPage;

// An image verify over the medium's wire, its outcome said.
int VerifyImage(OperationContext& ctx, Medium medium);

struct TypedAddSpec {
  const char* className;
  Medium medium;
  uint32_t progressMessage;
  const char* folderKey;  // the remembered folder in "path.ini"
  const char* numberId;
  const char* nameId;
  const char* browseId;
  // "Data", "Execute", "RomFS", "System Image", "Logo".
  std::array<const char*, 5> typeIds;
  const char* execId;
  const char* startId;
  const char* startLabel;
  const char* startNote;  // beside the start field; null: none
  const char* progressId;
  const char* burnId;
  const char* verifyId;
  const char* confirmCaption;
  // Runs after the confirmation, before anything else (the SD start sector
  // rule); null: none.
  std::string (*startRule)(const std::string& start) = nullptr;
};

class TypedAddPage : public OperationPage {
  Q_OBJECT

 public:
  TypedAddPage(ListPage& list, const TypedAddSpec& spec);
  ~TypedAddPage() override;

  QPushButton* BurnButton() const { return burn_; }
  QPushButton* VerifyButton() const { return verify_; }
  const std::string& FilePath() const { return filePath_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // Every command first brings the fields in line with the chosen type.
  void OnCommand();
  void UpdateLogo();
  void OnBrowse();
  bool CheckBurn();
  void Fill(OperationContext& ctx);
  bool SystemImage() const;

  ListPage& list_;
  TypedAddSpec spec_;
  QLineEdit* number_;
  QLineEdit* name_;
  QPushButton* browse_;
  QButtonGroup* types_;
  QRadioButton* logo_;
  QLineEdit* exec_;
  QLineEdit* start_;
  QPushButton* burn_;
  QPushButton* verify_;
  std::string filePath_;
  KeptHead kept_;
  Action burnAction_;
  Action verifyAction_;
};

}  // namespace zorbel
