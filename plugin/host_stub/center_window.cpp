#include "plugin/host_stub/host_sdk.h"

#include <algorithm>

namespace {

// Moves start so that a span of length size starting there lies within
// [low, high]; a span longer than the range starts at low.
int KeepInside(int start, int size, int low, int high) {
  return std::max(low, std::min(start, high - size));
}

}  // namespace

BOOL CenterWindow(HWND window, HWND parent) {
  RECT box;
  if (!window || !GetWindowRect(window, &box)) return FALSE;

  const bool overParent = parent && IsWindowVisible(parent) && !IsIconic(parent);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoA(MonitorFromWindow(overParent ? parent : window, MONITOR_DEFAULTTOPRIMARY),
                  &monitor);
  const RECT& work = monitor.rcWork;

  RECT around = work;
  if (overParent) GetWindowRect(parent, &around);

  const int width = box.right - box.left;
  const int height = box.bottom - box.top;
  int x = around.left + (around.right - around.left - width) / 2;
  int y = around.top + (around.bottom - around.top - height) / 2;
  x = KeepInside(x, width, work.left, work.right);
  y = KeepInside(y, height, work.top, work.bottom);
  return SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
