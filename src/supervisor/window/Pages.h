#pragma once
// The pages of the main window's page control, by index. The window tells
// the tick what the selected page means (TTickSettings) and decides on it
// in its handlers, so the order is fixed.

namespace karvo {

enum class TPageIndex : int {
  QuickControl = 0,  // "Quick control": the program step of the tick is idle
  Instructions = 1,
  StabilitySettings = 2,
  GraphSettings = 3,
  Save = 4,
  ControllerSettings = 5,
  Debug = 6,  // "Debug": the whole tick is idle
  About = 7,
};

inline constexpr int kPageCount = 8;

}  // namespace karvo
