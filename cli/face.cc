#include "cli/face.h"

#include "cli/index_owner.h"
#include "mirror/file_name_bytes.h"

namespace vessiko {

Face::Face(const CommandLine& line, UserMessages& messages, ResultView& view)
    : line_(line), messages_(messages), resultView_(view) {}

Face::~Face() {
  close();
}

bool Face::open(bool* usage) {
  *usage = true;
  if (!MakeFolders(line_.databaseFolder)) {
    messages_.showMessage("vessiko", "cannot create the database folder " + line_.databaseFolder,
                          MessageIcon::kError);
    return false;
  }
  const DatabasePaths paths = DatabasePaths::inFolder(line_.databaseFolder, '/');
  bool allFit = true;
  for (const DriveOption& drive : line_.drives) {
    if (drive.ntfs) {
      NtfsDrive ntfs;
      std::string error;
      if (!ntfs.open(drive.letter, drive.directory, &error)) {
        messages_.showMessage("vessiko", "cannot read NTFS from " + drive.directory + ": " + error,
                              MessageIcon::kError);
        return false;
      }
      machine_.add(drive.letter, ntfs.volume->label(), std::shared_ptr<Volume>(ntfs.volume));
      ntfsDrives_.push_back(std::move(ntfs));
      continue;
    }
    auto mirror = std::make_unique<DirectoryMirror>(
        drive.letter, drive.directory, line_.databaseFolder + "/mirror_" + drive.letter + ".state",
        SystemFiles(), SystemClock(), messages_);
    bool fit = false;
    if (!mirror->open(machine_, &fit)) {
      messages_.showMessage("vessiko", "cannot mirror " + drive.directory, MessageIcon::kError);
      return false;
    }
    allFit = allFit && fit;
    mirrors_.push_back(std::move(mirror));
  }
  if (!allFit) {
    // The saved index names records of trees the mirrors no longer have: build it afresh.
    SystemFiles().remove(paths.core);
    SystemFiles().remove(paths.extensions);
  }
  *usage = false;
  std::vector<char> scopeRoots;
  if (!resolveScopes(line_.scopes, messages_, &scopeRoots)) return false;
  for (const auto& mirror : mirrors_)
    roots_[mirror->letter() - 'A'] = mirror->root();
  for (const NtfsDrive& drive : ntfsDrives_)
    roots_[drive.letter - 'A'] = drive.root();
  engine_ = std::make_unique<Engine>(EngineEnvironment{
      machine_, SystemFiles(), SystemClock(), messages_, resultView_, view_, folders_, paths});
  session_ = std::make_unique<QuerySession>(*engine_, engine_->searchContext(), engine_->filter(),
                                            view_, line_, std::move(scopeRoots), roots_);
  return true;
}

bool Face::resolveScopes(const std::vector<ScopeOption>& scopes, UserMessages& messages,
                         std::vector<char>* roots) const {
  roots->clear();
  for (const ScopeOption& scope : scopes) {
    uint32_t record = kNoNode;
    const char letter = folders_.locate(scope.directory, &record);
    if (letter == 0) {
      messages.showMessage("", "对不住，所选的不是NTFS卷，无法指定！", MessageIcon::kError);
      return false;
    }
    roots->push_back(record == kRootNode ? letter : 0);
  }
  return true;
}

void Face::start() {
  for (const auto& mirror : mirrors_)
    mirror->startWatching();
  engine_->start();
}

bool Face::saveLive() {
  const uint64_t changes = changeCount();
  if (changes == savedChanges_) return true;
  if (!engine_->lifecycle().monitoring()) return false;
  for (const auto& mirror : mirrors_)
    mirror->stopWatching();
  for (const auto& mirror : mirrors_)
    mirror->forgetState();
  const bool saved = engine_->lifecycle().saveLive();
  if (saved) {
    for (const auto& mirror : mirrors_)
      mirror->saveState();
    savedChanges_ = changes;
  }
  for (const auto& mirror : mirrors_)
    mirror->startWatching();
  return saved;
}

void Face::close() {
  if (closed_ || !engine_) return;
  closed_ = true;
  for (const auto& mirror : mirrors_)
    mirror->stopWatching();
  for (const auto& mirror : mirrors_)
    mirror->forgetState();
  engine_->close(true);
  for (const auto& mirror : mirrors_)
    mirror->saveState();
}

bool Face::realPath(uint32_t volume, uint32_t record, std::string* out) const {
  for (const auto& mirror : mirrors_) {
    if (static_cast<uint32_t>(mirror->letter() - 'A') == volume) {
      return mirror->pathOf(record, out);
    }
  }
  return false;
}

bool Face::rowPath(ResultCells& rows, uint32_t row, RowCells* scratch, std::string* out) const {
  uint32_t volume = 0;
  uint32_t record = 0;
  if (!rows.rows().placeOf(row, &volume, &record)) return false;
  if (realPath(volume, record, out)) return true;
  if (!rows.describe(row, scratch, 0)) return false;
  rows.joinPath(*scratch, out);
  return true;
}

}  // namespace vessiko
