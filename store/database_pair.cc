#include "store/database_pair.h"

#include <span>

#include "store/byte_buffer.h"
#include "store/extension_database.h"

namespace vessiko {

namespace {

struct PairPaths {
  PairPaths(const std::string& corePath, const std::string& extensionPath)
      : core(corePath),
        extensions(extensionPath),
        newCore(corePath + ".new"),
        newExtensions(extensionPath + ".new"),
        oldCore(corePath + ".old"),
        oldExtensions(extensionPath + ".old") {}

  const std::string& core;
  const std::string& extensions;
  const std::string newCore, newExtensions, oldCore, oldExtensions;
};

// How far the replacement came before a step failed.
struct Progress {
  bool coreAside = false;
  bool extensionsAside = false;
  bool extensionsPlaced = false;
};

bool WriteWhole(Files& files, const std::string& path, std::span<const uint8_t> bytes,
                uint32_t* error) {
  const std::span<const uint8_t> pieces[] = {bytes};
  return files.writeWhole(path, pieces, error);
}

// Puts the old pair back after a failed step, the old extension file first: the old core file
// returns only beside it, so that a failure here leaves no core file rather than a mismatched
// one. The failed step has been told already; these moves fail silently.
void Undo(Files& files, const PairPaths& paths, const Progress& done) {
  uint32_t error = 0;
  bool extensionsBack = true;
  if (done.extensionsAside) {
    extensionsBack = files.moveReplacing(paths.oldExtensions, paths.extensions, &error);
  } else if (done.extensionsPlaced) {
    extensionsBack = files.remove(paths.extensions);  // there was none before
  }
  if (done.coreAside && extensionsBack) files.moveReplacing(paths.oldCore, paths.core, &error);
  files.remove(paths.newCore);
  files.remove(paths.newExtensions);
}

}  // namespace

bool SaveDatabases(CoreDatabaseContext& c, const std::string& extensionPath,
                   const CalendarTime& utc) {
  // Both files are whole in memory before either is touched: running out of memory changes
  // nothing.
  ByteWriter core(c.index.heap);
  if (!EncodeCoreDatabase(c, utc, core)) return false;
  ByteWriter extensions(c.index.heap);
  if (!EncodeExtensionDatabase(c.index.extensions, extensions)) return false;

  Files& files = c.files;
  const PairPaths paths(c.path, extensionPath);
  Progress done;
  uint32_t error = 0;
  const auto coreFailed = [&] {
    Undo(files, paths, done);
    ShowCoreSaveFailure(c.messages);
    return false;
  };
  const auto extensionsFailed = [&] {
    Undo(files, paths, done);
    ShowExtensionSaveFailure(c.messages, error);
    return false;
  };

  if (!WriteWhole(files, paths.newCore, core.written(), &error)) return coreFailed();
  if (!WriteWhole(files, paths.newExtensions, extensions.written(), &error)) {
    return extensionsFailed();
  }
  if (files.exists(paths.core)) {
    if (!files.moveReplacing(paths.core, paths.oldCore, &error)) return coreFailed();
    done.coreAside = true;
  }
  if (files.exists(paths.extensions)) {
    if (!files.moveReplacing(paths.extensions, paths.oldExtensions, &error)) {
      return extensionsFailed();
    }
    done.extensionsAside = true;
  }
  if (!files.moveReplacing(paths.newExtensions, paths.extensions, &error)) {
    return extensionsFailed();
  }
  done.extensionsPlaced = true;
  if (!files.moveReplacing(paths.newCore, paths.core, &error)) return coreFailed();
  // Left-overs only: a later save replaces them.
  files.remove(paths.oldCore);
  files.remove(paths.oldExtensions);
  return true;
}

}  // namespace vessiko
