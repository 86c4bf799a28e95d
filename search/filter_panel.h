// FilterPanel: what the result filter reads from the filter panel when the filter button is
// pressed. The Windows face answers from its controls; the terminal face and the tests keep the
// values in a MemoryFilterPanel.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace vessiko {

// The panel's radio buttons, date pickers and attribute boxes, by control id.
enum class DateRadio : int { kBefore = 1035, kAfter = 1036, kBetween = 1037 };
enum class DatePicker : int { kBefore = 1034, kAfter = 1038, kStart = 1039, kEnd = 1040 };
enum class AttributeBox : int { kHidden = 1024, kSystem = 1025, kNormal = 1028 };

class FilterPanel {
 public:
  virtual ~FilterPanel() = default;
  // The number in the size edit (1031) as GetDlgItemInt reads an unsigned one; false when the
  // text is not a valid unsigned 32-bit number.
  virtual bool sizeNumber(uint32_t* number) = 0;
  // The selections of the drop-down lists, -1 for none: the comparison (1030, 0-4), the unit
  // (1041, 0-3) and the time stamp (1033, 0-2).
  virtual int sizeOperator() = 0;
  virtual int sizeUnit() = 0;
  virtual int dateKind() = 0;
  virtual bool radioChecked(DateRadio radio) = 0;
  // A picker's value in local time, with the time of day it holds.
  virtual CalendarTime pickerTime(DatePicker picker) = 0;
  virtual bool boxChecked(AttributeBox box) = 0;
};

// GetDlgItemInt's unsigned reading: digits between optional blanks (spaces or tabs), at most
// 4294967295. A sign, any other character, no digits at all or overflow make it false.
bool ParseDialogUnsigned(std::u16string_view text, uint32_t* number);

// The panel's values in memory, starting at the panel's defaults: "等于", the text "0", "KB",
// "按创建时间", "在此后：" checked, every picker at the clock's local time, the boxes clear.
class MemoryFilterPanel : public FilterPanel {
 public:
  explicit MemoryFilterPanel(Clock& clock);

  bool sizeNumber(uint32_t* number) override { return ParseDialogUnsigned(sizeText, number); }
  int sizeOperator() override { return operatorSelection; }
  int sizeUnit() override { return unitSelection; }
  int dateKind() override { return dateKindSelection; }
  bool radioChecked(DateRadio radio) override { return radio == checkedRadio; }
  CalendarTime pickerTime(DatePicker picker) override;
  bool boxChecked(AttributeBox box) override;

  std::u16string sizeText = u"0";
  int operatorSelection = 0;
  int unitSelection = 1;
  int dateKindSelection = 0;
  DateRadio checkedRadio = DateRadio::kAfter;
  CalendarTime beforePicker;
  CalendarTime afterPicker;
  CalendarTime startPicker;
  CalendarTime endPicker;
  bool normal = false;
  bool hidden = false;
  bool system = false;
};

}  // namespace vessiko
