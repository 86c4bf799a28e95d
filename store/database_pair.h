// The two database files saved as one pair. The core database's extension indexes name texts of
// the extension database written with it, so a core file beside an extension file of another
// save would load with the wrong extensions. Each file alone is replaced the crash-safe way;
// the pair is replaced so that every state a failure or a crash can leave is the old pair, the
// new pair, or a folder without a core file (which the start-up rebuilds by enumeration):
//
//   1. both files are made in memory, then written whole to "<file>.new" beside each and
//      flushed;
//   2. the old core file moves to "<core>.old": from here until step 5 no core file loads;
//   3. the old extension file moves to "<extensions>.old";
//   4. "<extensions>.new" becomes the extension file;
//   5. "<core>.new" becomes the core file: the new pair stands;
//   6. the ".old" files go.
//
// Each move is on the disk before the next begins. When a step fails, the steps done are undone
// in reverse; when the old extension file cannot come back, the old core file stays aside.
#pragma once

#include <string>

#include "platform/clock.h"
#include "store/core_database.h"

namespace vessiko {

// Saves the index (as SaveCoreDatabase) and its extension table (as SaveExtensionDatabase) as a
// pair; true when the new pair stands. Failures are told as each file's save tells them: a core
// file that cannot be made or put in place, an empty message box; an extension file,
// "写入扩展名文件失败:%d"; memory that runs out, "申请内存失败:%d" (and nothing is written).
// The caller holds the index lock and has stopped the journal monitors.
bool SaveDatabases(CoreDatabaseContext& core, const std::string& extensionPath,
                   const CalendarTime& utcNow) REQUIRES(core.index.lock);

}  // namespace vessiko
