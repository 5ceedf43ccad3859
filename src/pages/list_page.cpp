#include "pages/list_page.h"

#include <QKeyEvent>
#include <QMetaObject>
#include <QShowEvent>

#include "app/tool_state.h"
#include "app/ui/dialog_units.h"
#include "controls/sortable_list.h"

namespace zorbel {
namespace {

constexpr const char* kCaptions[4] = {kAddNewCaption, kModifyCaption, kEraseCaption, kOptionCaption};

}  // namespace

QSize SubPageSize() { return DluSize(235, 238); }

ListPage::ListPage(PageHost& host, const ListPageSpec& spec, QWidget* parent)
    : QWidget(parent),
      host_(host),
      spec_(spec),
      subPages_([this](int resource, QWidget* parent) {
        return subPageFactory_ ? subPageFactory_(resource, parent) : nullptr;
      }) {
  setObjectName(QString::fromUtf8(spec_.className));
  resize(DluSize(500, 262));

  list_ = new SortableList(this);
  list_->setObjectName("list");
  list_->setAccessibleName(QString::fromUtf8(spec_.className));
  list_->setGeometry(DluRect(7, 7, 236, spec_.offersButtons ? 226 : 248));
  list_->SetColumns(TableColumnSpecification(spec_.medium));
  list_->SetGridLines(true);

  for (int i = 0; i < 4; ++i) {
    if (spec_.buttonIds[static_cast<size_t>(i)] == nullptr) continue;
    auto* button = new QPushButton(QString::fromUtf8(kCaptions[i]), this);
    button->setObjectName(QString::fromUtf8(spec_.buttonIds[static_cast<size_t>(i)]));
    button->setAutoDefault(false);
    button->setGeometry(DluRect(7 + 59 * i, 239, 55, 16));
    connect(button, &QPushButton::clicked, this, [this, i] { OnButton(static_cast<SubPageIndex>(i)); });
    buttons_[static_cast<size_t>(i)] = button;
    if (!spec_.offersButtons) {
      button->hide();
      button->setEnabled(false);
    }
  }

  frame_ = new QGroupBox(QString::fromUtf8(kAddNewCaption), this);
  frame_->setObjectName(QString::fromUtf8(spec_.frameId));
  frame_->setGeometry(DluRect(250, 3, 243, 255));
  subPages_.SetFrame(frame_->geometry(), true);
  if (!spec_.offersButtons) frame_->hide();
}

ListPage::~ListPage() { StopAndWait(); }

void ListPage::AddSubPages(const std::vector<int>& resources, const PageContainer::Factory& factory) {
  subPageFactory_ = factory;
  for (int resource : resources) subPages_.AddPage(resource, this);
  subPages_.Show(-1);
}

void ListPage::StopAndWait() {
  stopped_ = true;
  jobs_.clear();
  if (jobThread_.joinable()) {
    port_.Close();  // a read waiting on the board gives up at once
    jobThread_.join();
  }
}

void ListPage::SetOperationRunning(bool running) {
  operationsRunning_ += running ? 1 : -1;
  host_.SetOperationRunning(running);
  SetBusy();
}

void ListPage::SetBusy() {
  const bool reading = jobRunning_ || !jobs_.empty();
  for (int i = 0; i < subPages_.Count(); ++i) subPages_.Page(i)->setEnabled(!reading);
  for (QPushButton* button : buttons_) {
    if (button != nullptr && spec_.offersButtons) button->setEnabled(operationsRunning_ == 0);
  }
}

void ListPage::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // A window coming back from the task bar is no new look at the table.
  if (!event->spontaneous()) RequestRefresh();
}

void ListPage::keyPressEvent(QKeyEvent* event) {
  // Enter in the list must not reach the window's default button, Exit.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

void ListPage::RequestRefresh() {
  if (stopped_) return;
  ++refreshGeneration_;
  refreshing_ = true;
  // One waiting read serves every request made since the last job queued.
  if (jobs_.empty() || jobs_.back().kind != Job::kRefresh) jobs_.push_back({Job::kRefresh, {}, {}});
  SetBusy();
  StartNextJob();
}

void ListPage::RunOnBoard(std::function<void()> work, std::function<void()> done) {
  if (stopped_) return;
  jobs_.push_back({Job::kBoard, std::move(work), std::move(done)});
  SetBusy();
  StartNextJob();
}

void ListPage::OnButton(SubPageIndex index) {
  frame_->setTitle(buttons_[index]->text());
  ++switchGeneration_;
  if (index == kOptionSubPage && spec_.readOptionSize != nullptr) {
    jobs_.push_back({Job::kOptionSize, {}, {}});
    SetBusy();
    StartNextJob();
    return;
  }
  subPages_.Show(index);
}

void ListPage::StartNextJob() {
  if (jobRunning_ || jobs_.empty() || stopped_) return;
  if (jobThread_.joinable()) jobThread_.join();
  const Job job = jobs_.front();
  jobs_.erase(jobs_.begin());

  std::function<void()> work = job.work;
  std::function<void()> done = job.done;
  if (job.kind == Job::kRefresh) {
    auto snapshot = std::make_shared<TableSnapshot>();
    work = [this, snapshot] { *snapshot = ReadTable(host_.Prompt()); };
    done = [this, snapshot, generation = refreshGeneration_] {
      // A newer request is queued: its read shows the list.
      if (generation != refreshGeneration_) return;
      refreshing_ = false;
      ShowTable(*snapshot);
    };
  } else if (job.kind == Job::kOptionSize) {
    auto size = std::make_shared<std::optional<uint32_t>>();
    work = [this, size] { *size = spec_.readOptionSize(host_.State(), &host_.Prompt()); };
    done = [this, size, generation = switchGeneration_] {
      host_.State().*spec_.optionSize = size->value_or(0);
      // Another button pressed meanwhile has chosen its own sub-page.
      if (generation == switchGeneration_) subPages_.Show(kOptionSubPage);
    };
  }
  if (!work) work = [] {};
  if (!done) done = [] {};
  jobRunning_ = true;
  // No connection attempt may replace the connection under the read.
  host_.SetOperationRunning(true);
  jobThread_ = std::thread([this, work = std::move(work), done = std::move(done)] {
    {
      std::lock_guard<std::mutex> turn(host_.BoardTurn());
      // The page may have been stopped while another conversation ran.
      if (!stopped_.load()) work();
    }
    // The page joins this thread before it goes, so `this` is still here.
    QMetaObject::invokeMethod(this, [this, done] { JobEnded(done); }, Qt::QueuedConnection);
  });
}

void ListPage::JobEnded(const std::function<void()>& done) {
  if (jobThread_.joinable()) jobThread_.join();
  jobRunning_ = false;
  host_.SetOperationRunning(false);
  if (!stopped_) done();
  SetBusy();
  StartNextJob();
}

TableSnapshot ListPage::ReadTable(UserPrompt& prompt) {
  TableSnapshot snapshot;
  ToolState& state = host_.State();
  snapshot.overVcom = state.connection.massStorageConnected == 0;
  if (!snapshot.overVcom) {
    snapshot.outcome = ReadImageTableMs(state, spec_.medium, &prompt, snapshot.rows);
  } else {
    snapshot.outcome =
        ReadImageTableVcom(port_, state.connection.portPath, spec_.medium, &prompt, snapshot.rows,
                           spec_.medium == Medium::kNor ? &snapshot.norDeviceText : nullptr);
  }
  return snapshot;
}

void ListPage::ShowTable(const TableSnapshot& snapshot) {
  if (snapshot.outcome != TableRead::kUntouched) {
    list_->DeleteAllItems();
    for (size_t i = 0; i < snapshot.rows.size(); ++i) {
      QStringList cells;
      for (const std::string& cell : TableRowCells(snapshot.rows[i], spec_.medium, snapshot.overVcom)) {
        cells << QString::fromStdString(cell);
      }
      list_->InsertItem(list_->ItemCount(), cells, static_cast<uint32_t>(i));
    }
    // The user's sort outlives the read.
    if (list_->SortColumn() >= 0) list_->SortByColumn(list_->SortColumn(), list_->SortAscending());
    TableShown(snapshot);
  }
  emit refreshed();
}

}  // namespace zorbel
