#include "mirror/mirror_editor.h"

#include <vector>

#include "mirror/file_name_bytes.h"
#include "platform/ntfs_layout.h"

namespace vessiko {

namespace {

// The most UTF-16 units an NTFS name has.
constexpr size_t kMaxNameUnits = 255;

}  // namespace

bool MirrorEditor::decode(std::string_view name) {
  DecodeFileName(name, &name16_);
  return !name16_.empty() && name16_.size() <= kMaxNameUnits;
}

void MirrorEditor::journal(uint32_t n, uint32_t reason, uint32_t parent, std::u16string_view name,
                           uint32_t attributes, uint64_t now) {
  UsnRecordFields fields;
  fields.fileReference = n | uint64_t{tree_.sequence(n)} << ntfs::kSequenceShift;
  fields.parentReference = parent | uint64_t{tree_.sequence(parent)} << ntfs::kSequenceShift;
  fields.timeStamp = now;
  fields.reason = reason;
  fields.attributes = attributes;
  fields.name = name;
  if (const std::optional<int64_t> usn = volume_.journal().append(fields)) {
    tree_.setLastUsn(n, *usn);
  }
}

uint32_t MirrorEditor::create(uint32_t parent, std::string_view name, NodeKind kind, uint64_t inode,
                              uint64_t changeTime, int32_t watch) {
  // A name of 255 bytes or fewer has 255 units or fewer: only a longer one needs counting.
  const bool fits = journaled_ || name.size() > kMaxNameUnits ? decode(name) : !name.empty();
  const uint32_t n = tree_.unusedRecord();
  if (!fits || n == kNoNode) {
    if (watch >= 0 && watches_ != nullptr) watches_->release(watch);
    return kNoNode;
  }
  {
    const auto lock = volume_.writeLock();
    tree_.add(n, parent, name, kind, inode, changeTime);
    if (journaled_) {
      const uint32_t attributes = AttributesFor(kind, name);
      const uint64_t now = clock_.fileTimeNow();
      journal(n, ntfs::kReasonFileCreate, parent, name16_, attributes, now);
      journal(n, ntfs::kReasonFileCreate | ntfs::kReasonClose, parent, name16_, attributes, now);
    }
  }
  if (watch >= 0) {
    tree_.setWatch(n, watch);
    if (watches_ != nullptr) watches_->bind(watch, n);
  }
  return n;
}

void MirrorEditor::move(uint32_t n, uint32_t parent, std::string_view name) {
  if (!decode(name)) {
    // The entry can no longer be named on the volume: it leaves it.
    removeTree(n);
    return;
  }
  const MirrorNode& node = *tree_.node(n);
  const uint32_t oldParent = node.parent;
  const uint32_t before = AttributesFor(node.kind(), tree_.name(n));
  const uint32_t after = AttributesFor(node.kind(), name);
  DecodeFileName(tree_.name(n), &old16_);
  const uint64_t now = clock_.fileTimeNow();
  const auto lock = volume_.writeLock();
  tree_.move(n, parent, name);
  journal(n, ntfs::kReasonRenameOldName, oldParent, old16_, before, now);
  journal(n, ntfs::kReasonRenameNewName, parent, name16_, before, now);
  journal(n, ntfs::kReasonRenameNewName | ntfs::kReasonClose, parent, name16_, before, now);
  if (before != after) {
    journal(n, ntfs::kReasonBasicInfoChange, parent, name16_, after, now);
    journal(n, ntfs::kReasonBasicInfoChange | ntfs::kReasonClose, parent, name16_, after, now);
  }
}

void MirrorEditor::removeOne(uint32_t n) {
  const MirrorNode& node = *tree_.node(n);
  const int32_t watch = node.kind() == NodeKind::kDirectory ? tree_.watch(n) : -1;
  {
    const auto lock = volume_.writeLock();
    if (journaled_) {
      DecodeFileName(tree_.name(n), &name16_);
      journal(n, ntfs::kReasonFileDelete | ntfs::kReasonClose, node.parent, name16_,
              AttributesFor(node.kind(), tree_.name(n)), clock_.fileTimeNow());
    }
    tree_.remove(n);
  }
  if (watch >= 0 && watches_ != nullptr) watches_->release(watch);
}

void MirrorEditor::removeTree(uint32_t n) {
  if (tree_.node(n)->kind() != NodeKind::kDirectory || tree_.childCount(n) == 0) {
    removeOne(n);
    return;
  }
  // The subtree in preorder, removed from its end: children before their parents.
  std::vector<uint32_t> subtree{n};
  tree_.forEachBelow(n, [&](uint32_t c, const MirrorNode&) { subtree.push_back(c); });
  for (auto it = subtree.rbegin(); it != subtree.rend(); ++it)
    removeOne(*it);
}

}  // namespace vessiko
