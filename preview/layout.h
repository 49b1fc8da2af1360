// Where the parts of a preview go: a caption line at the top, the panels in a
// grid below it, and the material legend at the bottom. Works on counts only,
// so tests can find a panel without drawing anything.
#pragma once

#include <vector>

namespace kw::preview {

struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
};

struct Layout {
  Rect caption;
  Rect legend;
  int legendColumns = 1;     // entries per legend line
  int legendEntries = 0;     // entries shown; the last says how many more there are when cut
  std::vector<Rect> panels;  // row by row
};

// The picture's size when none is asked for: a 2 x 2 grid for a reference
// alone, a row of four panels per frame with a sequence.
void DefaultSize(int rows, int columns, int* width, int* height);

Layout MakeLayout(int width, int height, int rows, int columns, int materials);

}  // namespace kw::preview
