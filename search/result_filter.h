// ResultFilter: narrows the current results by size, by one of three time stamps and by the
// hidden and system attributes. The three groups are switched on by the panel's check boxes;
// validate reads the rest of the panel when the filter button is pressed, and accepts judges
// one entry by the values its file record gave.
//
// Used on the interface thread only.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/clock.h"
#include "platform/user_messages.h"
#include "search/filter_panel.h"

namespace vessiko {

// The comparisons of list 1030.
enum SizeOperator : int32_t {
  kSizeEqual = 0,         // "等于"
  kSizeGreater = 1,       // "大于"
  kSizeLess = 2,          // "小于"
  kSizeGreaterEqual = 3,  // "大于等于"
  kSizeLessEqual = 4,     // "小于等于"
};

// The time stamps of list 1033.
enum DateKind : int32_t {
  kByCreation = 0,      // "按创建时间"
  kByRecordChange = 1,  // "按最近修改时间"
  kByLastAccess = 2,    // "按最近访问时间"
};

enum DateMode : int32_t {
  kDateAfter = 0,    // time >= boundary
  kDateBefore = 1,   // time < boundary
  kDateBetween = 2,  // boundary <= time < interval end
};

struct FilterState {
  bool sizeEnabled = false;
  int32_t sizeOperator = kSizeEqual;
  int32_t sizeUnit = 0;
  uint64_t threshold = 0;  // bytes
  bool dateEnabled = false;
  int32_t dateKind = kByCreation;
  int32_t dateMode = kDateAfter;
  uint64_t boundary = 0;  // FILETIME, UTC
  uint64_t intervalEnd = 0;
  bool attributesEnabled = false;
  bool wantNormal = false;
  uint32_t attributeMask = 0;  // 0x2 hidden, 0x4 system
};

class ResultFilter {
 public:
  // Follow the check boxes "指定文件大小：", "指定文件(夹)日期：" and "指定文件(夹)属性：".
  void setSizeEnabled(bool on) { state_.sizeEnabled = on; }
  void setDateEnabled(bool on) { state_.dateEnabled = on; }
  void setAttributesEnabled(bool on) { state_.attributesEnabled = on; }

  // Reads the panel for the enabled groups. False, after a message box, when the input cannot
  // be used (the filter state then stays as it was), and false without one when no group is
  // enabled or a drop-down list has no selection. `fileResults` is the number of file results.
  bool validate(FilterPanel& panel, uint32_t fileResults, UserMessages& messages, Clock& clock);

  // One entry against the enabled groups: the size, the time stamp of the chosen kind and the
  // attribute flags, each needed only while its group is enabled. An entry lacking a value that
  // an enabled group needs does not pass.
  bool accepts(std::optional<uint64_t> creation, std::optional<uint64_t> lastAccess,
               std::optional<uint64_t> recordChange, std::optional<uint64_t> size,
               std::optional<uint32_t> attributes) const;

  const FilterState& state() const { return state_; }

 private:
  FilterState state_;
};

}  // namespace vessiko
