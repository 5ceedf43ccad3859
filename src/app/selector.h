#pragma once
// The medium selector's entries for the current connection, as plain data:
// the window fills its drop-down list from it and the command line lists it.
#include <string>
#include <vector>

#include "app/tool_state.h"

namespace zorbel {

// Positions of the main window's pages in its page container.
inline constexpr int kPageSdram = 0;
inline constexpr int kPageNand = 1;
inline constexpr int kPageNandRaw = 2;
inline constexpr int kPageNor = 3;
inline constexpr int kPageNorRaw = 4;
inline constexpr int kPageSpi = 5;
inline constexpr int kPageSpiRaw = 6;
inline constexpr int kPageSdCard = 7;

// Show(-1): the current page, or page 0 when none is current.
inline constexpr int kCurrentPage = -1;

struct SelectorEntry {
  std::string text;
  int page = kPageSdram;  // the page this entry shows
  bool operator==(const SelectorEntry&) const = default;
};

enum class SelectorConnection { kNone, kMassStorage, kComPort, kBoth };

SelectorConnection SelectorConnectionOf(const ConnectionState& connection);

// The entries, in order, for a connection kind. familyMode 1 leaves out the
// NOR entry of either list.
std::vector<SelectorEntry> SelectorEntries(SelectorConnection kind, uint32_t familyMode);

// What RebuildSelector leaves behind. An entry is always selected, so the
// selector never shows an empty choice.
struct SelectorLayout {
  std::vector<SelectorEntry> entries;
  int selection = 0;  // entry to select
  // false: no page is made visible (none is before the first connection),
  // but a page that is visible becomes `page`, so it matches the selection.
  bool showPage = false;
  int page = kCurrentPage;  // the selected entry's page
  // The selector's text, copied to the page frame's caption: the selected
  // entry's text, empty when nothing is selected.
  std::string FrameCaption() const;
  bool operator==(const SelectorLayout&) const = default;
};

// Rebuilds the list for the connection. previousSelection is the selector's
// index before the rebuild (negative counts as 0); a COM-port connection
// keeps it when it still exists, and otherwise selects the first entry.
SelectorLayout RebuildSelector(const ConnectionState& connection, uint32_t familyMode, int previousSelection);

}  // namespace zorbel
