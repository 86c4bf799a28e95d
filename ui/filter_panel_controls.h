// FilterPanelControls: the filter panel, 18 controls of the main dialog with which the user
// narrows the current results by size, by a time stamp and by the hidden and system
// attributes. It fills the drop-down lists, sets the defaults, shows the panel centred on its
// filter button or hides it (keeping what the user entered), and answers the result filter's
// questions about the panel (FilterPanel) from the controls.
//
// Interface thread only.
#pragma once

#include <windows.h>

#include <array>

#include "search/filter_panel.h"
#include "ui/window_geometry.h"

namespace vessiko {

class FilterPanelControls : public FilterPanel {
 public:
  // The controls in the order in which layout and hiding walk them.
  static constexpr std::array<int, 18> kControlIds = {1029, 1030, 1031, 1041, 1032, 1033,
                                                      1035, 1034, 1036, 1038, 1037, 1039,
                                                      1040, 1045, 1028, 1024, 1025, 1027};

  // Takes the panel's controls of the dialog and resets them to the defaults: "等于", "0",
  // "KB", "按创建时间", "在此后：" checked, every box clear, the pickers at today.
  void attach(HWND dialog);
  // Shows the panel moved sideways as one block, so that the filter button (1027) is centred in
  // the client width; every control keeps its height and its place relative to the others.
  // Sideways only: the panel's bottom is the same before and after the moves are made.
  void layout(int clientWidth, WindowMoves& moves);
  void hide();
  // The lowest edge of the panel in client coordinates.
  int bottom() const;

  bool sizeNumber(uint32_t* number) override;
  int sizeOperator() override;
  int sizeUnit() override;
  int dateKind() override;
  bool radioChecked(DateRadio radio) override;
  CalendarTime pickerTime(DatePicker picker) override;
  bool boxChecked(AttributeBox box) override;

 private:
  void reset();
  int selection(int id) const;

  HWND dialog_ = nullptr;
  std::array<HWND, kControlIds.size()> controls_ = {};
};

}  // namespace vessiko
