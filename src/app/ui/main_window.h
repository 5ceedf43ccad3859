#pragma once
// The main window: Connect and Exit, the medium selector, the status line,
// the loader version label, the help pane and the page frame with the eight
// medium pages. It runs the connection sequence on a thread of its own and
// shows what the sequence reports.
#include <QDialog>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/abort_event.h"
#include "app/profile_reader.h"
#include "app/selector.h"
#include "app/ui/page_container.h"
#include "app/ui/qt_file_chooser.h"
#include "app/ui/qt_user_prompt.h"
#include "pages/page_host.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace zorbel {

class Clock;
class DebugConsole;
class DeviceBus;
class LoaderDownloadDialog;
struct ToolState;

inline constexpr const char* kMainWindowTitle = "Kolvex 底层设置工具，版本1.0.1";
inline constexpr const char* kConnectCaption = "连接";
inline constexpr const char* kExitCaption = "退出";
inline constexpr const char* kAboutMenuItem = "&About ...";
inline constexpr const char* kNoVersion = " No Version";
inline constexpr const char* kPlugBoardIn = " Please plug board in";
inline constexpr const char* kConnectHelp =
    "提示：\r\n\r\n1.用usb线连接电脑usb口\r\n  和Kolvex。\r\n\r\n2.把Kolvex后面的开关2向下。\r\n\r\n"
    "3.给Kolvex通电，\r\n  这个时候只有电源灯亮。\r\n\r\n4.通电后5秒内点击连接按钮。\r\n\r\n"
    "如果连接没有成功，\r\n拔掉Kolvex电源，\r\n关闭全部杀毒及防火墙\r\n重复第一步。";
inline constexpr const char* kConnectedHelp =
    "提示：\r\n\r\n连接成功。\r\n\r\n请正确填写内容，\r\n然后点击写入。\r\n\r\n详细说明请查看附带的\r\n"
    "使用说明.doc。\r\n\r\n设置完成后usb连接线\r\n可以拔掉。";

class MainWindow : public QDialog, public PageHost {
  Q_OBJECT

 public:
  // state.moduleDirectory must be set. bus and clock serve the connection
  // sequence and the operations; all three outlive the window.
  MainWindow(ToolState& state, DeviceBus& bus, Clock& clock, QWidget* parent = nullptr);
  ~MainWindow() override;

  // PageHost
  ToolState& State() override { return state_; }
  UserPrompt& Prompt() override { return prompt_; }
  Clock& WorkerClock() override { return clock_; }
  FileChooser& Files() override { return *files_; }
  ProfileReader& PathProfile() override { return pathProfile_; }
  void SetSelectorEnabled(bool enabled) override;
  void SetStatusText(const std::string& text) override;
  void SetOperationRunning(bool running) override;

  PageContainer& Pages() { return pages_; }
  // Replaces the platform's file dialogs (tests); the chooser outlives the window.
  void SetFileChooser(FileChooser& chooser) { files_ = &chooser; }
  // True from Connect until the attempt's last report has been shown.
  bool Connecting() const { return connecting_; }
  // The selector rebuilt for the current connection.
  void RebuildSelector();
  DebugConsole* Console() const { return console_; }
  LoaderDownloadDialog* LoaderDialog() const { return loaderDialog_; }

  // Aborts whatever runs and waits for every thread the window started.
  void Shutdown();

 public slots:
  void OnConnect();
  void OnExit();
  void OnSelectorPicked(int index);
  void ShowAbout();
  void OpenDebugConsole();

 protected:
  void done(int result) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;

 private:
  class Observer;

  void ShowConnectedHelp();
  // Pages take no input while a connection attempt changes the connection.
  void SetPagesEnabled(bool enabled);
  void ConnectAttemptEnded();
  void SetHelpText(const char* text);

  bool aboutInSystemMenu_ = false;
  ToolState& state_;
  DeviceBus& bus_;
  Clock& clock_;
  QtUserPrompt prompt_;
  QtFileChooser qtFiles_{this};
  FileChooser* files_ = &qtFiles_;
  ProfileReader pathProfile_;
  PageContainer pages_;
  std::vector<SelectorEntry> entries_;

  QPushButton* connect_;
  QPushButton* exit_;
  QComboBox* selector_;
  QGroupBox* frame_;
  QLabel* status_;
  QLabel* version_;
  QPlainTextEdit* help_;
  LoaderDownloadDialog* loaderDialog_;
  DebugConsole* console_ = nullptr;

  std::unique_ptr<Observer> observer_;
  AbortEvent connectAbort_;
  std::thread connectThread_;
  bool connecting_ = false;  // UI thread only
  int operationsRunning_ = 0;
  bool shutDown_ = false;
};

}  // namespace zorbel
