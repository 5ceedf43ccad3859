#include "app/ui/page_container.h"

namespace zorbel {

PageContainer::PageContainer(Factory factory) : factory_(std::move(factory)) {}

PageContainer::~PageContainer() {
  for (QWidget* page : pages_) delete page;
}

void PageContainer::SetFrame(const QRect& frame, bool centre) {
  frame_ = frame;
  centre_ = centre;
}

bool PageContainer::AddPage(int resource, QWidget* parent) {
  QWidget* page = factory_ ? factory_(resource, parent) : nullptr;
  if (page == nullptr) return false;
  pages_.push_back(page);
  page->hide();
  const QSize size = page->size();
  if (centre_) {
    page->move(frame_.left() + (frame_.width() - size.width()) / 2,
               frame_.top() + (frame_.height() - size.height()) / 2);
  } else {
    page->move(frame_.topLeft());
  }
  return true;
}

QWidget* PageContainer::Page(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return pages_[static_cast<size_t>(index)];
}

bool PageContainer::MakeCurrent(int index) {
  if (index >= Count() || index < -1 || Count() == 0) return false;
  if (index != -1) {
    if (current_ != -1) {
      QWidget* old = Page(current_);
      if (old == nullptr) return false;
      old->hide();
    }
    current_ = index;
  } else if (current_ == -1) {
    current_ = 0;
  }
  return true;
}

bool PageContainer::Show(int index) {
  if (!MakeCurrent(index)) return false;
  QWidget* page = Page(current_);
  if (page == nullptr) return false;
  page->show();
  page->raise();
  page->repaint();
  return true;
}

bool PageContainer::HideCurrent(int index) {
  if (!MakeCurrent(index)) return false;
  QWidget* page = Page(current_);
  if (page == nullptr) return false;
  page->hide();
  return true;
}

}  // namespace zorbel
