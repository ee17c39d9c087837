// The test dialog's controls in template order (which is also the tab order), with their
// positions in dialog units. The terminal front end lays them out on a character grid.
#pragma once

#include <string>
#include <vector>

namespace polecheck {

struct ControlSpec {
  enum class Type { Button, Edit, Static, Group, Device };
  int id;  // -1 for labels and the group box
  Type type;
  std::u16string text;
  int x, y, w, h;
  bool visible;
  bool tabStop;
};

const std::vector<ControlSpec>& DialogTemplate();

// Size of the dialog in dialog units.
inline constexpr int kDialogWidthDlu = 211;
inline constexpr int kDialogHeightDlu = 197;

// Character cells for dialog units: four horizontal units and eight vertical units per cell.
inline int CellColumn(int x) { return (x + 2) / 4; }
inline int CellRow(int y) { return (y + 4) / 8; }
inline int CellWidth(int w) { return w < 4 ? 1 : w / 4; }

// The terminal row (inside the dialog's frame, from 1) of a vertical position of the template.
// Rows are those of CellRow with the empty stretches between controls cut to one blank row, so
// that the dialog, its frame and the key-hint line fit a terminal of 24 rows.
int ScreenRow(int y);
// Rows of the dialog with its frame.
int DialogScreenRows();

}  // namespace polecheck
