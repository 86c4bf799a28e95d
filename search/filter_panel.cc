#include "search/filter_panel.h"

namespace vessiko {

namespace {

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t';
}

}  // namespace

bool ParseDialogUnsigned(std::u16string_view text, uint32_t* number) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i]))
    ++i;
  const size_t digitsStart = i;
  uint64_t value = 0;
  while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
    value = value * 10 + static_cast<uint64_t>(text[i] - u'0');
    if (value > UINT32_MAX) return false;
    ++i;
  }
  if (i == digitsStart) return false;
  while (i < text.size() && IsBlank(text[i]))
    ++i;
  if (i != text.size()) return false;
  *number = static_cast<uint32_t>(value);
  return true;
}

MemoryFilterPanel::MemoryFilterPanel(Clock& clock) {
  const CalendarTime now = clock.localNow();
  beforePicker = now;
  afterPicker = now;
  startPicker = now;
  endPicker = now;
}

CalendarTime MemoryFilterPanel::pickerTime(DatePicker picker) {
  switch (picker) {
    case DatePicker::kBefore:
      return beforePicker;
    case DatePicker::kAfter:
      return afterPicker;
    case DatePicker::kStart:
      return startPicker;
    case DatePicker::kEnd:
      return endPicker;
  }
  return {};
}

bool MemoryFilterPanel::boxChecked(AttributeBox box) {
  switch (box) {
    case AttributeBox::kHidden:
      return hidden;
    case AttributeBox::kSystem:
      return system;
    case AttributeBox::kNormal:
      return normal;
  }
  return false;
}

}  // namespace vessiko
