#include "testutility/terminal/dialog_layout.h"

#include <algorithm>
#include <map>

#include "testutility/core/resource_ids.h"

namespace polecheck {

const std::vector<ControlSpec>& DialogTemplate() {
  using T = ControlSpec::Type;
  static const std::vector<ControlSpec> controls = {
      {IDOK, T::Button, u"OK", 191, 178, 13, 12, false, true},
      {IDCANCEL, T::Button, u"Exit", 154, 174, 50, 16, true, true},
      {IDC_TEXT_EDIT, T::Edit, u"", 7, 7, 158, 14, true, true},
      {IDC_DISPLAY_TEXT, T::Button, u"Display Text", 7, 22, 93, 14, true, true},
      {IDC_EURO, T::Button, u"\u20AC", 108, 22, 28, 14, true, true},
      {IDC_POUND, T::Button, u"\u00A3", 137, 22, 28, 14, true, true},
      {IDC_DISPLAY_TEXT_AT, T::Button, u"Display Text At", 7, 61, 93, 14, true, true},
      {IDC_BLINK, T::Button, u"Blink Characters", 7, 93, 93, 14, true, true},
      {IDC_SCROLL_LINE1, T::Button, u"Scrolling Text Line 1", 7, 115, 93, 14, true, true},
      {IDC_SCROLL_LINE2, T::Button, u"Scrolling Text Line 2", 7, 129, 93, 14, true, true},
      {IDC_CHARACTER_DELAY, T::Button, u"Character Delay Time", 7, 150, 93, 14, true, true},
      {IDC_CLEAR_TEXT, T::Button, u"Clear Text", 7, 173, 93, 14, true, true},
      {IDC_COLUMN, T::Edit, u"", 107, 61, 22, 14, true, true},
      {IDC_ROW, T::Edit, u"", 138, 61, 22, 14, true, true},
      {-1, T::Static, u"Column", 106, 51, 26, 8, true, false},
      {-1, T::Static, u"Row", 138, 51, 15, 8, true, false},
      {-1, T::Group, u"Display Text At", 7, 43, 163, 43, true, false},
      {IDC_DELAY, T::Edit, u"", 102, 150, 18, 14, true, true},
      {-1, T::Static, u"x 100 ms", 121, 155, 30, 8, true, false},
      {-1, T::Static, u"1~20", 107, 75, 17, 8, true, false},
      {-1, T::Static, u"1~2", 138, 75, 13, 8, true, false},
      {IDC_LINEDISPLAY, T::Device, u"", 169, 182, 10, 8, true, true},
  };
  return controls;
}

namespace {

// CellRow of every row the template uses (control tops, group bottoms) to its compact row.
const std::map<int, int>& CompactRows() {
  static const std::map<int, int> rows = [] {
    std::vector<int> used;
    for (const auto& c : DialogTemplate()) {
      if (!c.visible) continue;
      used.push_back(CellRow(c.y));
      if (c.type == ControlSpec::Type::Group) used.push_back(CellRow(c.y + c.h));
    }
    std::sort(used.begin(), used.end());
    used.erase(std::unique(used.begin(), used.end()), used.end());
    std::map<int, int> map;
    int row = 1;
    for (size_t i = 0; i < used.size(); ++i) {
      if (i > 0) row += std::min(used[i] - used[i - 1], 2);
      map[used[i]] = row;
    }
    return map;
  }();
  return rows;
}

}  // namespace

int ScreenRow(int y) {
  const auto& rows = CompactRows();
  auto it = rows.upper_bound(CellRow(y));
  if (it == rows.begin()) return 1;
  --it;
  return it->second + (CellRow(y) - it->first);
}

int DialogScreenRows() { return CompactRows().rbegin()->second + 2; }

}  // namespace polecheck
