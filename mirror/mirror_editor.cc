#include "mirror/mirror_editor.h"

#include <vector>

#include "mirror/file_name_bytes.h"
#include "platform/ntfs_layout.h"

namespace vessiko {

uint32_t AttributesFor(NodeKind kind, std::string_view name) {
  uint32_t attributes = name.front() == '.' ? ntfs::kAttributeHidden : 0;
  switch (kind) {
    case NodeKind::kDirectory:
      return attributes | ntfs::kAttributeDirectory;
    case NodeKind::kFile:
      return attributes | ntfs::kAttributeArchive;
    default:
      return attributes | ntfs::kAttributeSystem;
  }
}

uint32_t MirrorEditor::create(uint32_t parent, std::string_view name, NodeKind kind, uint64_t inode,
                              uint64_t changeTime, int32_t watch) {
  DecodeFileName(name, &entry_.name);
  entry_.parent = parent;
  entry_.attributes = AttributesFor(kind, name);
  const uint64_t reference = journaled_ ? volume_.create(entry_) : volume_.createQuietly(entry_);
  const auto n = static_cast<uint32_t>(reference & ntfs::kRecordNumberMask48);
  if (reference == 0) {
    if (watch >= 0 && watches_ != nullptr) watches_->release(watch);
    return kNoNode;
  }
  tree_.add(n, parent, name, kind, inode, changeTime);
  if (watch >= 0) {
    tree_.setWatch(n, watch);
    if (watches_ != nullptr) watches_->bind(watch, n);
  }
  return n;
}

bool MirrorEditor::move(uint32_t n, uint32_t parent, std::string_view name) {
  const MirrorNode& node = *tree_.node(n);
  const uint32_t before = AttributesFor(node.kind, tree_.name(n));
  const uint32_t after = AttributesFor(node.kind, name);
  DecodeFileName(name, &name16_);
  if (!volume_.rename(n, parent, name16_)) return false;
  if (before != after) volume_.changeAttributes(n, after);
  tree_.move(n, parent, name);
  return true;
}

void MirrorEditor::removeOne(uint32_t n) {
  const int32_t watch = tree_.node(n)->watch;
  volume_.remove(n);
  tree_.remove(n);
  if (watch >= 0 && watches_ != nullptr) watches_->release(watch);
}

void MirrorEditor::removeTree(uint32_t n) {
  // Deepest first: walk down to a leaf, remove it, go on from its parent.
  uint32_t at = n;
  for (;;) {
    const MirrorNode& node = *tree_.node(at);
    if (node.firstChild != kNoNode) {
      at = node.firstChild;
      continue;
    }
    const uint32_t parent = node.parent;
    removeOne(at);
    if (at == n) return;
    at = parent;
  }
}

}  // namespace vessiko
