#include "mirror/directory_mirror.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>

#include "mirror/file_name_bytes.h"
#include "mirror/mirror_state.h"

namespace vessiko {

namespace {

// The journal's usual size; a start with more changes to journal gets room for all of them.
constexpr uint64_t kJournalBytes = 32ULL << 20;
// Volume labels hold 32 units with the terminator.
constexpr size_t kLabelUnits = 31;

}  // namespace

DirectoryMirror::DirectoryMirror(char letter, std::string root, std::string statePath, Files& files,
                                 Clock& clock, UserMessages& messages)
    : letter_(letter),
      root_(std::move(root)),
      statePath_(std::move(statePath)),
      files_(files),
      clock_(clock),
      watcher_(messages) {}

DirectoryMirror::~DirectoryMirror() {
  stopWatching();
  // The volume outlives the mirror in the handles the engine holds; the rewriter reads values_.
  if (volume_) volume_->setRecordRewriter(nullptr);
}

bool DirectoryMirror::open(SimMachine& machine, bool* stateFit) {
  struct statx st {};
  if (statx(AT_FDCWD, root_.c_str(), 0, STATX_TYPE | STATX_INO, &st) != 0 ||
      !S_ISDIR(st.stx_mode)) {
    return false;
  }
  rootDevice_ = makedev(st.stx_dev_major, st.stx_dev_minor);
  MirrorStateHeader state;
  std::unique_ptr<MirrorTree> saved = ReadMirrorState(files_, statePath_, &state);
  *stateFit = saved != nullptr && state.rootPath == root_ && state.rootDevice == rootDevice_ &&
              saved->node(kRootNode)->inode == st.stx_ino;
  SimVolumeOptions options;
  if (*stateFit) {
    tree_ = std::move(saved);
    options.journalIdBase = state.journalId;
    options.journalStartUsn = state.nextUsn;
  } else {
    tree_ = std::make_unique<MirrorTree>(st.stx_ino);
    // A journal identifier no earlier run used: the engine sees a new journal.
    options.journalIdBase = clock_.fileTimeNow();
  }
  WatchRegistry* watches = watcher_.open() ? &watcher_ : nullptr;
  reconciler_ = std::make_unique<TreeReconciler>(*tree_, root_, rootDevice_, watches);
  // The saved tree is compared before the volume exists: its journal must hold every change.
  reconciler_->walk(kRootNode, true);
  options.journalMaximumSize = std::max(kJournalBytes, reconciler_->journalBytes());

  std::u16string label;
  DecodeFileName(root_, &label);
  if (label.size() > kLabelUnits) label.erase(0, label.size() - kLabelUnits);
  machine.addNtfsDrive(letter_, label, options);
  volume_ = machine.sharedVolume(letter_);
  editor_ = std::make_unique<MirrorEditor>(*volume_, *tree_, watches);
  if (*stateFit) {
    // The volume as it was at the last close, record for record, without a journal record.
    SimEntry entry;
    tree_->forEachBelow(kRootNode, [&](uint32_t n, const MirrorNode& node) {
      DecodeFileName(tree_->name(n), &entry.name);
      entry.parent = node.parent;
      entry.recordNumber = n;
      entry.attributes = AttributesFor(node.kind, tree_->name(n));
      volume_->createQuietly(entry);
    });
  }
  editor_->setJournaled(*stateFit);
  reconciler_->apply(*editor_);
  editor_->setJournaled(true);
  values_ = std::make_unique<LiveFileValues>(*tree_, root_, rootDevice_);
  volume_->setRecordRewriter(
      [values = values_.get()](uint64_t n, std::span<uint8_t> record) { values->fill(n, record); });
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
  files_.remove(statePath_);
}

bool DirectoryMirror::saveState() {
  MirrorStateHeader state;
  state.rootPath = root_;
  state.rootDevice = rootDevice_;
  const SimJournalState journal = volume_->journal();
  state.journalId = journal.id;
  state.nextUsn = journal.nextUsn;
  uint32_t error = 0;
  return WriteMirrorState(files_, statePath_, state, *tree_, &error);
}

bool DirectoryMirror::folderRecord(std::string_view path, uint32_t* record) const {
  if (path.substr(0, root_.size()) != root_) return false;
  std::string_view rest = path.substr(root_.size());
  if (!rest.empty() && rest[0] != '/' && root_ != "/") return false;
  const auto lock = tree_->readLock();
  uint32_t at = kRootNode;
  while (!rest.empty()) {
    if (rest[0] == '/') {
      rest.remove_prefix(1);
      continue;
    }
    const size_t end = std::min(rest.find('/'), rest.size());
    at = tree_->find(at, rest.substr(0, end));
    if (at == kNoNode || tree_->node(at)->kind != NodeKind::kDirectory) return false;
    rest.remove_prefix(end);
  }
  *record = at;
  return true;
}

bool DirectoryMirror::pathOf(uint32_t record, std::string* out) const {
  const auto lock = tree_->readLock();
  return tree_->node(record) != nullptr && tree_->pathOf(root_, record, out);
}

}  // namespace vessiko
