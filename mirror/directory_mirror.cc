#include "mirror/directory_mirror.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <utility>

#include "mirror/file_name_bytes.h"
#include "mirror/mirror_state.h"

namespace vessiko {

namespace {

// Volume labels hold 32 units with the terminator.
constexpr size_t kLabelUnits = 31;

}  // namespace

DirectoryMirror::DirectoryMirror(char letter, std::string root, std::string statePath, Files& files,
                                 Clock& clock, UserMessages& messages)
    : letter_(letter),
      root_(std::move(root)),
      statePath_(std::move(statePath)),
      asidePath_(statePath_ + ".aside"),
      files_(files),
      clock_(clock),
      watcher_(messages) {}

DirectoryMirror::~DirectoryMirror() {
  stopWatching();
}

bool DirectoryMirror::open(MirrorDrives& drives, bool* stateFit) {
  struct statx st {};
  if (statx(AT_FDCWD, root_.c_str(), 0, STATX_TYPE | STATX_INO, &st) != 0 ||
      !S_ISDIR(st.stx_mode)) {
    return false;
  }
  rootDevice_ = makedev(st.stx_dev_major, st.stx_dev_minor);
  MirrorStateHeader state;
  std::unique_ptr<MirrorTree> tree = ReadMirrorState(files_, statePath_, &state);
  *stateFit = tree != nullptr && state.rootPath == root_ && state.rootDevice == rootDevice_ &&
              tree->node(kRootNode)->inode == st.stx_ino;
  MirrorJournal journal;
  stateKnown_ = *stateFit;
  if (*stateFit) {
    journal.id = state.journalId;
    journal.startUsn = state.nextUsn;
    stateChanges_ = tree->changes();
    stateJournalId_ = state.journalId;
    stateNextUsn_ = state.nextUsn;
  } else {
    tree = std::make_unique<MirrorTree>(st.stx_ino);
    // A journal identifier no earlier run used: the engine sees a new journal.
    journal.id = clock_.fileTimeNow();
  }
  WatchRegistry* watches = watcher_.open() ? &watcher_ : nullptr;
  reconciler_ = std::make_unique<TreeReconciler>(*tree, root_, rootDevice_, watches);
  if (*stateFit) {
    // The saved tree is compared first: the journal must have room for every change.
    reconciler_->walk(kRootNode, true);
    journal.maximumSize = std::max(journal.maximumSize, reconciler_->journalBytes());
  }
  volume_ = std::make_shared<MirrorVolume>(std::move(tree), root_, rootDevice_, journal);
  editor_ = std::make_unique<MirrorEditor>(*volume_, watches, clock_);
  if (*stateFit) {
    reconciler_->apply(*editor_);
  } else {
    editor_->setJournaled(false);
    reconciler_->fill(*editor_);
    editor_->setJournaled(true);
  }
  std::u16string label;
  DecodeFileName(root_, &label);
  if (label.size() > kLabelUnits) label.erase(0, label.size() - kLabelUnits);
  drives.add(letter_, std::move(label), volume_);
  return true;
}

void DirectoryMirror::startWatching() {
  if (watching_) return;
  watching_ = true;
  watcher_.start(*editor_, *reconciler_, root_);
}

void DirectoryMirror::stopWatching() {
  if (!watching_) return;
  watching_ = false;
  watcher_.stop();
}

void DirectoryMirror::forgetState() {
  uint32_t error = 0;
  if (!files_.moveReplacing(statePath_, asidePath_, &error)) files_.remove(statePath_);
}

bool DirectoryMirror::saveState() {
  MirrorStateHeader state;
  state.rootPath = root_;
  state.rootDevice = rootDevice_;
  const auto lock = volume_->readLock();
  const ChangeJournalState journal = std::as_const(*volume_).journal().state();
  state.journalId = journal.id;
  state.nextUsn = journal.nextUsn;
  const MirrorTree& tree = volume_->tree();
  uint32_t error = 0;
  // An unchanged tree and journal: the state set aside is the one to write, byte for byte.
  if (stateKnown_ && tree.changes() == stateChanges_ && journal.id == stateJournalId_ &&
      journal.nextUsn == stateNextUsn_ && files_.moveReplacing(asidePath_, statePath_, &error)) {
    return true;
  }
  files_.remove(asidePath_);
  stateKnown_ = WriteMirrorState(files_, statePath_, state, tree, &error);
  stateChanges_ = tree.changes();
  stateJournalId_ = journal.id;
  stateNextUsn_ = journal.nextUsn;
  return stateKnown_;
}

bool DirectoryMirror::folderRecord(std::string_view path, uint32_t* record) const {
  if (path.substr(0, root_.size()) != root_) return false;
  std::string_view rest = path.substr(root_.size());
  if (!rest.empty() && rest[0] != '/' && root_ != "/") return false;
  const auto lock = volume_->readLock();
  const MirrorTree& tree = volume_->tree();
  uint32_t at = kRootNode;
  while (!rest.empty()) {
    if (rest[0] == '/') {
      rest.remove_prefix(1);
      continue;
    }
    const size_t end = std::min(rest.find('/'), rest.size());
    at = tree.find(at, rest.substr(0, end));
    if (at == kNoNode || tree.node(at)->kind() != NodeKind::kDirectory) return false;
    rest.remove_prefix(end);
  }
  *record = at;
  return true;
}

bool DirectoryMirror::pathOf(uint32_t record, std::string* out) const {
  const auto lock = volume_->readLock();
  const MirrorTree& tree = volume_->tree();
  return tree.node(record) != nullptr && tree.pathOf(root_, record, out);
}

}  // namespace vessiko
