#pragma once
// The NAND add sub-page: burns an image file into the board's NAND table
// and verifies it against the file, over whichever wire is connected.
#include <QButtonGroup>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <string>

#include "pages/operation_page.h"

namespace zorbel {

class ListPage;

class CNandAddPage : public OperationPage {
  Q_OBJECT

 public:
  explicit CNandAddPage(ListPage& list);
  ~CNandAddPage() override;

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
  bool FileChosen(const char* missingText);
  void Fill(OperationContext& ctx);
  bool SystemImage() const;

  ListPage& list_;
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
