#pragma once
// The list page of a medium that keeps a numbered image table on the board
// (NAND, NOR, SPI, SD): the board's table in a sortable list, and the
// medium's sub-pages (add, modify, erase, option) in a frame of their own,
// switched by the Add New / Modify / Erase / Option buttons. A medium's page
// gives its identifiers and sub-pages; this class does the rest:
//
// - The table is read again each time the page becomes visible and after
//   each successful burn, erase or modify of a sub-page (RequestRefresh).
//   Reads run off the UI thread, one at a time; a read that a newer request
//   has superseded is thrown away, so it never overwrites a newer list.
// - While a read runs the sub-pages take no input, and while a sub-page's
//   operation runs the sub-page buttons do not switch: the board serves one
//   conversation at a time.
// - The sub-pages reach the window through this page (it is their
//   PageHost), which is how it learns that one of them is busy.
// - The current sub-page stays current while the user is on other media.
#include <QGroupBox>
#include <QPushButton>
#include <QWidget>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/ui/page_container.h"
#include "link/serial_port.h"
#include "pages/page_host.h"
#include "protocol/operation_context.h"
#include "protocol/table_read.h"

namespace zorbel {

class SortableList;

inline constexpr const char* kAddNewCaption = "Add New";
inline constexpr const char* kModifyCaption = "Modify";
inline constexpr const char* kEraseCaption = "Erase";
inline constexpr const char* kOptionCaption = "Option";

// Where a list page puts its sub-pages: each sub-page has this size.
QSize SubPageSize();

// Sub-page indexes, as the buttons select them.
enum SubPageIndex { kAddSubPage = 0, kModifySubPage = 1, kEraseSubPage = 2, kOptionSubPage = 3 };

struct ListPageSpec {
  const char* className;  // the page's object name, e.g. "CNandPage"
  Medium medium;
  const char* frameId;  // the group box that frames the sub-pages
  // Add New, Modify, Erase, Option; null where the medium has no such button.
  std::array<const char*, 4> buttonIds;
  // The Option button reads the medium's size into this field of the tool
  // state before it shows the option sub-page; null: no size read.
  std::optional<uint32_t> (*readOptionSize)(ToolState&, UserPrompt*) = nullptr;
  uint32_t ToolState::*optionSize = nullptr;
  // False: the buttons stay hidden and disabled and the frame hidden; the
  // list takes the page's full height and the first sub-page stays.
  bool offersButtons = true;
};

// What one table read gave.
struct TableSnapshot {
  TableRead outcome = TableRead::kUntouched;
  std::vector<TableEntry> rows;
  bool overVcom = false;
  std::string norDeviceText;  // NOR over the COM port
};

class ListPage : public QWidget, public PageHost {
  Q_OBJECT

 public:
  ListPage(PageHost& host, const ListPageSpec& spec, QWidget* parent);
  ~ListPage() override;

  // Reads the table again (UI thread). Safe to call at any time.
  void RequestRefresh();
  // True from a request until its list is shown.
  bool Refreshing() const { return refreshing_; }
  // A read, a size read or a sub-page's operation is under way or waiting.
  bool Busy() const { return refreshing_ || jobRunning_ || !jobs_.empty() || operationsRunning_ > 0; }
  // Stops a running read (its port is closed) and waits for it; used when
  // the window closes.
  void StopAndWait();
  // Runs work on the reading thread, in turn with the reads (a refresh
  // requested after it reads what it left), then done on the UI thread
  // unless the page was stopped meanwhile.
  void RunOnBoard(std::function<void()> work, std::function<void()> done);

  SortableList* List() const { return list_; }
  QGroupBox* Frame() const { return frame_; }
  PageContainer& SubPages() { return subPages_; }
  QPushButton* Button(SubPageIndex index) const { return buttons_[index]; }
  const ListPageSpec& Spec() const { return spec_; }

  // PageHost, for the sub-pages: everything goes to the window's host.
  ToolState& State() override { return host_.State(); }
  UserPrompt& Prompt() override { return host_.Prompt(); }
  Clock& WorkerClock() override { return host_.WorkerClock(); }
  FileChooser& Files() override { return host_.Files(); }
  ProfileReader& PathProfile() override { return host_.PathProfile(); }
  void SetSelectorEnabled(bool enabled) override { host_.SetSelectorEnabled(enabled); }
  void SetStatusText(const std::string& text) override { host_.SetStatusText(text); }
  void SetOperationRunning(bool running) override;
  std::mutex& BoardTurn() override { return host_.BoardTurn(); }

 signals:
  // A read's list is shown (or left as it was).
  void refreshed();

 protected:
  // Creates the sub-pages, in index order, from their resource numbers;
  // the medium's constructor calls it once.
  void AddSubPages(const std::vector<int>& resources, const PageContainer::Factory& factory);
  // The same with one page class per resource, in index order; each is
  // made as Page(*this).
  template <typename... Pages>
  void AddSubPagesOf(const std::array<int, sizeof...(Pages)>& resources) {
    const std::vector<std::function<QWidget*()>> makers{[this]() -> QWidget* { return new Pages(*this); }...};
    AddSubPages({resources.begin(), resources.end()}, [resources, makers](int resource, QWidget*) -> QWidget* {
      for (size_t i = 0; i < resources.size(); ++i) {
        if (resources[i] == resource) return makers[i]();
      }
      return nullptr;
    });
  }
  // The read itself, on the read's thread. The default reads over the disk
  // when massStorageConnected is set, else over the COM port. A medium's
  // page calls StopAndWait() in its destructor, so no read is under way
  // while the page is half gone.
  virtual TableSnapshot ReadTable(UserPrompt& prompt);
  // UI thread, after a read's rows were put into the list.
  virtual void TableShown(const TableSnapshot& /*snapshot*/) {}

  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

  PageHost& host_;
  SerialPort port_;  // the COM-port reads'

 private:
  void OnButton(SubPageIndex index);
  void StartNextJob();
  void JobEnded(const std::function<void()>& done);
  void ShowTable(const TableSnapshot& snapshot);
  void SetBusy();

  struct Job {
    enum Kind { kRefresh, kOptionSize, kBoard } kind;
    std::function<void()> work;  // kBoard
    std::function<void()> done;
  };

  ListPageSpec spec_;
  SortableList* list_;
  QGroupBox* frame_;
  std::array<QPushButton*, 4> buttons_{};
  PageContainer::Factory subPageFactory_;
  PageContainer subPages_;

  std::vector<Job> jobs_;  // waiting, in order
  std::thread jobThread_;
  bool jobRunning_ = false;
  std::atomic<bool> stopped_{false};  // read by the job thread too
  bool refreshing_ = false;
  uint64_t refreshGeneration_ = 0;
  uint64_t switchGeneration_ = 0;
  int operationsRunning_ = 0;
};

}  // namespace zorbel
