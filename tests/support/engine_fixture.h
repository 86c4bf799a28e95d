// A whole engine over a simulated machine with in-memory database files: runs started, searched,
// changed and closed as a user would, one after another on the same machine and files.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "platform/fakes/fixed_clock.h"
#include "platform/fakes/memory_files.h"
#include "platform/fakes/recording_messages.h"
#include "platform/sim/sim_machine.h"
#include "search/memory_scope_view.h"
#include "tests/support/search_fixture.h"

namespace vessiko::testing {

class EngineFixture {
 public:
  EngineFixture();
  ~EngineFixture();

  // Starts a run and waits until its start-up has finished.
  Engine& startRun();
  // Closes the run (saving as the window's close does, or not, as the exit command).
  void closeRun(bool save = true);
  Engine& engine() { return *engine_; }

  // Types the name (and extension) fields and searches; the results as "D path"/"F path".
  std::vector<std::string> search(const std::string& name, const std::string& extension = "");
  // Waits up to `within` until a search of `name` gives `expected` (a monitor's work).
  bool waitForResults(const std::string& name, const std::vector<std::string>& expected,
                      std::chrono::milliseconds within = std::chrono::milliseconds(2500));

  std::string pathOf(RecordRef dir);

  SimMachine machine;
  MemoryFiles files;
  FixedClock clock{CalendarToFileTime({2026, 12, 7, 9, 30, 0, 0}), 8 * 60};
  RecordingMessages messages;
  MemoryScopeView view;
  MapFolderResolver folders;

 private:
  std::unique_ptr<Engine> engine_;
};

}  // namespace vessiko::testing
