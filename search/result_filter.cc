#include "search/result_filter.h"

namespace vessiko {

namespace {

constexpr uint32_t kHiddenOrSystem = 0x2 | 0x4;

// Only the date counts: a picker set to today at a later hour is not in the future.
bool LaterDay(const CalendarTime& a, const CalendarTime& b) {
  if (a.year != b.year) return a.year > b.year;
  if (a.month != b.month) return a.month > b.month;
  return a.day > b.day;
}

bool SizePasses(const FilterState& f, uint64_t size) {
  switch (f.sizeOperator) {
    case kSizeEqual:
      return size == f.threshold;
    case kSizeGreater:
      return size > f.threshold;
    case kSizeLess:
      return size < f.threshold;
    case kSizeGreaterEqual:
      return size >= f.threshold;
    case kSizeLessEqual:
      return size <= f.threshold;
  }
  return false;
}

bool TimePasses(const FilterState& f, uint64_t time) {
  switch (f.dateMode) {
    case kDateAfter:
      return time >= f.boundary;
    case kDateBefore:
      return time < f.boundary;
    case kDateBetween:
      return f.boundary <= time && time < f.intervalEnd;
  }
  return false;
}

}  // namespace

bool ResultFilter::validate(FilterPanel& panel, uint32_t fileResults, UserMessages& messages,
                            Clock& clock) {
  // Read into a copy: a refused press leaves the state of the last filter as it was.
  FilterState next = state_;
  bool result = false;

  if (next.sizeEnabled) {
    if (fileResults == 0) {
      messages.showMessage("提示", "当前结果中没有文件(非文件夹)数为0", MessageIcon::kInformation);
      return false;
    }
    uint32_t number = 0;
    if (!panel.sizeNumber(&number)) {
      ShowError(messages, "指定的文件大小数无效");
      return false;
    }
    const int op = panel.sizeOperator();
    const int unit = panel.sizeUnit();
    if (op < kSizeEqual || op > kSizeLessEqual || unit < 0 || unit > 3) return false;
    next.sizeOperator = op;
    next.sizeUnit = unit;
    // Up to 4294967295 GB: the shift needs all 64 bits.
    next.threshold = uint64_t{number} << (10 * unit);
    if (next.threshold == 0) {
      if (op == kSizeLess) {
        ShowError(messages, "不存在小于0的文件");
        return false;
      }
      if (op == kSizeLessEqual) next.sizeOperator = kSizeEqual;
    }
    result = true;
  }

  if (next.dateEnabled) {
    const int kind = panel.dateKind();
    if (kind < kByCreation || kind > kByLastAccess) return false;
    next.dateKind = kind;
    const CalendarTime today = clock.localNow();
    if (panel.radioChecked(DateRadio::kAfter)) {
      const CalendarTime after = panel.pickerTime(DatePicker::kAfter);
      if (LaterDay(after, today)) {
        ShowError(messages, "指定了一个未来时间！");
        return false;
      }
      next.dateMode = kDateAfter;
      next.boundary = clock.fromLocal(after);
    } else if (panel.radioChecked(DateRadio::kBefore)) {
      next.dateMode = kDateBefore;
      next.boundary = clock.fromLocal(panel.pickerTime(DatePicker::kBefore));
    } else {
      const CalendarTime start = panel.pickerTime(DatePicker::kStart);
      if (LaterDay(start, today)) {
        ShowError(messages, "指定了一个未来时间！");
        return false;
      }
      next.dateMode = kDateBetween;
      next.boundary = clock.fromLocal(start);
      next.intervalEnd = clock.fromLocal(panel.pickerTime(DatePicker::kEnd));
      if (next.boundary > next.intervalEnd) {
        ShowError(messages, "指定的时间区间不合法！");
        return false;
      }
    }
    result = true;
  }

  if (next.attributesEnabled) {
    next.attributeMask = (panel.boxChecked(AttributeBox::kHidden) ? 0x2u : 0u) |
                         (panel.boxChecked(AttributeBox::kSystem) ? 0x4u : 0u);
    next.wantNormal = panel.boxChecked(AttributeBox::kNormal);
    if (next.attributeMask == 0 && !next.wantNormal) {
      ShowError(messages, "必须指定一个过滤属性！");
      return false;
    }
    result = true;
  }

  if (result) state_ = next;
  return result;
}

bool ResultFilter::accepts(std::optional<uint64_t> creation, std::optional<uint64_t> lastAccess,
                           std::optional<uint64_t> recordChange, std::optional<uint64_t> size,
                           std::optional<uint32_t> attributes) const {
  const FilterState& f = state_;
  if (f.sizeEnabled && (!size || !SizePasses(f, *size))) return false;
  if (f.dateEnabled) {
    const std::optional<uint64_t>& time = f.dateKind == kByLastAccess     ? lastAccess
                                          : f.dateKind == kByRecordChange ? recordChange
                                                                          : creation;
    if (!time || !TimePasses(f, *time)) return false;
  }
  if (f.attributesEnabled) {
    if (!attributes) return false;
    const uint32_t flags = *attributes & kHiddenOrSystem;
    if (flags != 0 ? (flags & f.attributeMask) == 0 : !f.wantNormal) return false;
  }
  return true;
}

}  // namespace vessiko
