#include "volume/journal_monitor.h"

#include <chrono>
#include <random>

#include "platform/ntfs_layout.h"
#include "volume/journal_control.h"

namespace vessiko {

JournalMonitor::JournalMonitor(uint32_t volume, VolumeSlot& slot, Index& index,
                               UserMessages& messages, ChangeListener* listener)
    : volume_(volume),
      slot_(slot),
      index_(index),
      messages_(messages),
      context_{index, messages, listener},
      reader_(volume, slot) {}

JournalMonitor::~JournalMonitor() {
  stop();
}

void JournalMonitor::start() {
  if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
}

void JournalMonitor::stop() {
  {
    std::lock_guard lock(stopLock_);
    stopping_ = true;
  }
  stopSignal_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool JournalMonitor::waitInterval() {
  thread_local std::minstd_rand random(std::random_device{}());
  const auto delay = std::chrono::milliseconds(1000 + random() % 1000);
  std::unique_lock lock(stopLock_);
  return !stopSignal_.wait_for(lock, delay, [this] { return stopping_.load(); });
}

void JournalMonitor::run() {
  while (waitInterval()) {
    if (!poll()) return;
  }
}

bool JournalMonitor::poll() {
  for (;;) {
    uint32_t error = 0;
    const JournalReader::Result result = reader_.readBatch(context_, &index_.lock, &error);
    if (result == JournalReader::Result::kNothingNew) return true;
    if (result == JournalReader::Result::kFailed) {
      ReportJournalReadFailure(messages_, volume_, error);
      if (error != ntfs::kErrorJournalDeleteInProgress) return false;
      JournalState journal;
      if (!RecreateJournal(*slot_.volume, &journal, &stopping_)) return true;  // closing
      {
        MutexLock lock(index_.lock);
        slot_.journalId = journal.id;
        slot_.firstUsn = journal.firstUsn;
        slot_.nextUsn = journal.nextUsn;
        slot_.journalLost = true;
      }
      reader_.restart();
      return true;
    }
    std::lock_guard lock(stopLock_);
    if (stopping_) return true;
  }
}

}  // namespace vessiko
