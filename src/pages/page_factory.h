#pragma once
// The page class that belongs to each page resource number; a number of no
// page gives an empty plain page.
#include <QWidget>

namespace zorbel {

class PageHost;

// Page resources of the main window, in its container's order.
inline constexpr int kSdramPageResource = 129;
inline constexpr int kNandPageResource = 136;
inline constexpr int kNandRawPageResource = 141;
inline constexpr int kNorPageResource = 130;
inline constexpr int kNorRawPageResource = 135;
inline constexpr int kSpiPageResource = 1289;
inline constexpr int kSpiRawPageResource = 134;
inline constexpr int kSdPageResource = 1294;
inline constexpr int kMainPageResources[] = {kSdramPageResource,  kNandPageResource,   kNandRawPageResource,
                                             kNorPageResource,    kNorRawPageResource, kSpiPageResource,
                                             kSpiRawPageResource, kSdPageResource};

// Null only when the page cannot be made.
QWidget* CreatePage(int resource, PageHost& host, QWidget* parent);

}  // namespace zorbel
