#pragma once
// What the three raw-data pages share: a whole file burnt into a flash
// without the board's image table, its path shown with a blank in front, the
// head of the page's last burn kept for the next verify, and the rule that
// one operation runs at a time: while it runs, every other button of the
// page is disabled (a file choice, a ROM build or a board query would use
// the port the transfer holds, or rewrite the file being sent).
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <functional>
#include <string>

#include "pages/operation_page.h"
#include "protocol/page_rules.h"

namespace zorbel {

inline constexpr const char* kBrowseCaption = "Browse";
inline constexpr const char* kMakeRomCaption = "Make Rom";

class RawDataPage : public OperationPage {
  Q_OBJECT

 public:
  ~RawDataPage() override;

  const std::string& FilePath() const { return filePath_; }

 protected:
  RawDataPage(PageHost& host, const char* className, uint32_t progressMessage, QWidget* parent);

  // Widgets named by their control identifiers.
  QPushButton* AddButton(const char* id, const char* caption, const QRect& where);
  QLineEdit* AddField(const char* id, const QRect& where, bool readOnly);
  // An edit that takes only what pattern allows, at most maxLength characters.
  QLineEdit* AddTypedField(const char* id, const QRect& where, const char* pattern, int maxLength);
  // A label that names field for keyboard and screen-reader users.
  QLabel* AddLabel(const char* text, const QRect& where, QWidget* field = nullptr);

  // The path field, Browse and the bar on the first rows, as every raw
  // page lays them out.
  void AddFileRow(const char* pathId, const char* browseId, int y);
  void PlaceBar(int y);
  // The file to burn and its shown form.
  void SetFilePath(const std::string& path);

  // A page's burn: its medium, whether it writes over the disk when that is
  // connected (with the words the page uses there), its confirmation, a
  // field rule and the page's values for the head.
  struct RawBurn {
    Medium medium = Medium::kNor;
    bool diskVariant = true;
    const char* diskOk = page_text::kBurnOk;
    const char* diskFailed = page_text::kBurnFailed;
    QString confirmCaption = QString::fromUtf8(kConfirmBoxCaption);
    std::function<bool()> fieldRule;
    std::function<void(OperationContext&)> fill;
  };
  // Burn and Verify with what every raw page does: the file must be chosen,
  // the burn keeps its head in kept_, the outcome is always said.
  void SetUpBurn(QPushButton* button, RawBurn burn);
  // Verify over the page's wire: over the disk when the burn would go there.
  void SetUpVerify(QPushButton* button, Medium medium, bool diskVariant,
                   std::function<void(OperationContext&)> fill = nullptr);
  // Read-style actions share the locking; the page sets the rest.
  void LockWhileRunning(Action& action);
  // A start of action needs the page's file; refusal is said when it is missing.
  bool FileChosen(const Action& action, const char* refusal);

  // Enables every button; then the page's own rules (EnablingRules).
  void UnlockButtons();
  virtual void EnablingRules() {}

  QLineEdit* shownPath_ = nullptr;
  QPushButton* browse_ = nullptr;
  QPushButton* burn_ = nullptr;
  QPushButton* verify_ = nullptr;
  Action burnAction_;
  Action verifyAction_;
  std::string filePath_;
  KeptHead kept_;
  // The burn ran over the disk: its failure still lets Verify run.
  bool burnOverDisk_ = false;
  // NOR and SPI: Verify stays disabled after a failed COM-port burn.
  bool failedComBurnBlocksVerify_ = false;
};

bool OverDisk(const OperationContext& ctx);

}  // namespace zorbel
