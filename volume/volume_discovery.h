// DiscoverVolumes: finds every local fixed NTFS volume, opens it for raw access, makes sure its
// change journal exists, and fills the volume slots with what the enumeration, the journal
// monitors, the file-record reader and the database check need. Each NTFS volume also gets a
// row in the directory scope list, added before the volume is opened, so a volume that fails
// to open still has its row. A volume that cannot be opened says so in a box of its own, except
// for want of an administrator's token (error 5): those are named together in one box, since
// then every volume fails alike.
//
// Runs once, on the start-up thread, before the index exists.
#pragma once

#include <atomic>
#include <string_view>

#include "platform/drives.h"
#include "platform/user_messages.h"
#include "volume/volume_slot.h"

namespace vessiko {

// Where discovery puts the volume rows: the directory scope list.
class VolumeRows {
 public:
  virtual ~VolumeRows() = default;
  // A checked row at `position`; for a volume row the label ends in "(C:)". True when added.
  virtual bool insertRow(int position, std::u16string_view text, bool isVolume) = 0;
  // The text of the row's second column, "是" or "否".
  virtual void setSecondColumn(int row, std::u16string_view text) = 0;
};

// For callers that keep no scope list (tests, benchmarks): the rows are dropped.
class DroppedVolumeRows : public VolumeRows {
 public:
  bool insertRow(int, std::u16string_view, bool) override { return true; }
  void setSecondColumn(int, std::u16string_view) override {}
};

// A raised *cancel (the program closes) gives up the wait for a journal deletion in progress.
void DiscoverVolumes(Drives& drives, VolumeSlots& slots, VolumeRows& rows, UserMessages& messages,
                     const std::atomic<bool>* cancel = nullptr);

}  // namespace vessiko
