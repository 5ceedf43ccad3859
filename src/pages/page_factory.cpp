#include "pages/page_factory.h"

#include "app/ui/dialog_units.h"
#include "pages/nand/nand_page.h"
#include "pages/nor/nor_page.h"
#include "pages/raw/nand_raw_page.h"
#include "pages/raw/nor_raw_page.h"
#include "pages/raw/spi_raw_page.h"
#include "pages/sd/sd_page.h"
#include "pages/sdram_page.h"
#include "pages/spi/spi_page.h"

namespace zorbel {
namespace {

struct PageClass {
  int resource;
  const char* className;
};

// Pages whose operations are not in this build yet: empty, but named after
// their classes so the container and the selector treat them like the rest.
constexpr PageClass kPlaceholderPages[] = {
    {131, "CNorAddPage"},     {132, "CNorModifyPage"},  {133, "CNorErasePage"},   {137, "CNandAddPage"},
    {138, "CNandErasePage"},  {139, "CNandModifyPage"}, {1290, "CSpiDetailPage"}, {1291, "CSpiErasePage"},
    {1292, "CSpiModifyPage"},
    {1295, "CSdAddPage"},     {1296, "CSdModifyPage"},  {1297, "CSdErasePage"},   {1298, "CNandOptionPage"},
    {1299, "CSdOptionPage"},
};

constexpr const char* kPlainPageClass = "CDialog";

QWidget* PlainPage(const char* className, QWidget* parent) {
  auto* page = new QWidget(parent);
  page->setObjectName(className);
  page->resize(DluSize(500, 262));
  return page;
}

}  // namespace

QWidget* CreatePage(int resource, PageHost& host, QWidget* parent) {
  if (resource == kSdramPageResource) return new CSdramPage(host, parent);
  if (resource == kNorRawPageResource) return new CNorRawPage(host, parent);
  if (resource == kNandRawPageResource) return new CNandRawPage(host, parent);
  if (resource == kSpiRawPageResource) return new CSpiRawPage(host, parent);
  if (resource == kNandPageResource) return new CNandPage(host, parent);
  if (resource == kNorPageResource) return new CNorPage(host, parent);
  if (resource == kSpiPageResource) return new CSpiPage(host, parent);
  if (resource == kSdPageResource) return new CSdPage(host, parent);
  for (const PageClass& page : kPlaceholderPages) {
    if (page.resource == resource) return PlainPage(page.className, parent);
  }
  return PlainPage(kPlainPageClass, parent);
}

}  // namespace zorbel
