#pragma once
// Holds a window's pages, places each in a frame of the window and keeps
// exactly one of them visible. Pages are owned here and destroyed in the
// order they were added.
#include <QRect>
#include <QWidget>
#include <functional>
#include <vector>

namespace zorbel {

class PageContainer {
 public:
  // Makes the page for a resource number as a child of parent; null on failure.
  using Factory = std::function<QWidget*(int resource, QWidget* parent)>;

  explicit PageContainer(Factory factory);
  ~PageContainer();
  PageContainer(const PageContainer&) = delete;
  PageContainer& operator=(const PageContainer&) = delete;

  // The frame in the parent's coordinates; centre: pages are centred in it,
  // otherwise put at its top-left corner.
  void SetFrame(const QRect& frame, bool centre);
  bool AddPage(int resource, QWidget* parent);
  // index -1: the current page, or page 0 when none is current. An index
  // past the last page (or below -1) returns false and changes nothing.
  bool Show(int index);
  // As Show, but leaves the page hidden.
  bool HideCurrent(int index);

  int Count() const { return static_cast<int>(pages_.size()); }
  int CurrentIndex() const { return current_; }
  QWidget* Page(int index) const;

 private:
  bool MakeCurrent(int index);

  Factory factory_;
  std::vector<QWidget*> pages_;
  int current_ = -1;
  QRect frame_;
  bool centre_ = false;
};

}  // namespace zorbel
