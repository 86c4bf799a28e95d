// JournalMonitor: follows one volume's change journal while the program runs. It wakes every
// 1000 to 1999 ms (the random part spreads the monitors' wake-ups), reads what the journal has
// gathered and applies it batch by batch, each batch under the index lock, until nothing new is
// left. It stops cooperatively: a stop request wakes it, and it never stops inside a batch.
//
// A read failing because the journal is being deleted waits for the deletion and creates the
// journal anew (32 MiB), then goes on from its start; changes made in between are lost to the
// index, so the slot is marked for the save, and the next start rebuilds. Any other failure ends
// the monitor after the two error boxes: retrying would only repeat the same failure every second,
// and the next start sees that the saved position no longer fits the journal.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "index/index.h"
#include "volume/change_application.h"
#include "volume/journal_reader.h"
#include "volume/volume_slot.h"

namespace vessiko {

class JournalMonitor {
 public:
  JournalMonitor(uint32_t volume, VolumeSlot& slot, Index& index, UserMessages& messages,
                 ChangeListener* listener);
  ~JournalMonitor();
  JournalMonitor(const JournalMonitor&) = delete;
  JournalMonitor& operator=(const JournalMonitor&) = delete;

  void start();
  // Asks the monitor to stop and waits until it has.
  void stop();
  // One wake-up's work on the calling thread: reads and applies until nothing new is left.
  // False when the monitor gives up (a failure other than a journal being deleted). For a
  // monitor whose thread was not started (a face, or a test, that polls by itself).
  bool poll();

 private:
  void run();
  // Sleeps for one polling interval; false when a stop was asked for.
  bool waitInterval();

  uint32_t volume_;
  VolumeSlot& slot_;
  Index& index_;
  UserMessages& messages_;
  ChangeContext context_;
  JournalReader reader_;
  std::mutex stopLock_;
  std::condition_variable stopSignal_;
  std::atomic<bool> stopping_{false};  // set under stopLock_, read also without it
  std::thread thread_;
};

}  // namespace vessiko
