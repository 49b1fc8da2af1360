#include "preview/layout.h"

#include <algorithm>

namespace kw::preview {
namespace {

constexpr int kCaptionHeight = 26;
constexpr int kLegendSlot = 200;
constexpr int kLegendLine = 20;
constexpr int kLegendLines = 3;

}  // namespace

void DefaultSize(int rows, int columns, int* width, int* height) {
  const int panelWidth = columns > 2 ? 400 : 560;
  const int panelHeight = columns > 2 ? 380 : 480;
  *width = panelWidth * columns;
  *height = kCaptionHeight + panelHeight * rows + kLegendLine * 2 + 8;
}

Layout MakeLayout(int width, int height, int rows, int columns, int materials) {
  Layout layout;
  layout.caption = Rect{0, 0, width, kCaptionHeight};
  layout.legendColumns = std::max(1, (width - 16) / kLegendSlot);
  // At most a quarter of the picture, so a small one still shows its views.
  const int fitLines = std::min(kLegendLines, height / 4 / kLegendLine);
  const int capacity = layout.legendColumns * fitLines;
  layout.legendEntries = std::min(materials, capacity);
  const int lines = (layout.legendEntries + layout.legendColumns - 1) / layout.legendColumns;
  const int legendHeight = lines > 0 ? lines * kLegendLine + 8 : 0;
  layout.legend = Rect{0, height - legendHeight, width, legendHeight};

  const int top = kCaptionHeight;
  const int panelWidth = std::max(1, width / std::max(1, columns));
  const int panelHeight = std::max(1, (height - top - legendHeight) / std::max(1, rows));
  for (int row = 0; row < rows; ++row) {
    for (int column = 0; column < columns; ++column) {
      layout.panels.push_back(
          Rect{column * panelWidth, top + row * panelHeight, panelWidth, panelHeight});
    }
  }
  return layout;
}

}  // namespace kw::preview
