// Index: the whole in-memory index of directory and file names. The containers are created in
// this order and released in the reverse one.
//
// Locks, in the order they are taken: the index lock (held by whoever changes the index, by
// the save and by the filter), then the directory list's lock, then the file list's lock. The
// arenas, the directory map and the extension table have no locks of their own: they change
// only under the index lock together with the list lock of their kind, or before any other
// thread uses the index.
#pragma once

#include <memory>
#include <mutex>

#include "index/collation.h"
#include "index/dir_entry.h"
#include "index/dir_map.h"
#include "index/entry_list.h"
#include "index/extension_table.h"
#include "index/file_entry.h"
#include "index/private_heap.h"
#include "index/record_arena.h"
#include "index/record_order.h"
#include "platform/mutex.h"

namespace vessiko {

struct Index {
  Index(PrivateHeap& heap, const Collation& collation)
      : heap(heap),
        collation(collation),
        dirMap(heap),
        extensions(heap),
        dirs(heap),
        files(heap),
        fileArena(heap),
        dirArena(heap) {}

  // Drops every record and starts again from fresh, empty containers (a rejected load). No other
  // thread may use the index meanwhile.
  void reset() {
    PrivateHeap& h = heap;
    const Collation& c = collation;
    std::destroy_at(this);
    std::construct_at(this, h, c);
  }

  DirEntry dir(RecordRef ref) const { return DirEntry(dirArena.at(ref)); }
  FileEntry file(RecordRef ref) const { return FileEntry(fileArena.at(ref)); }
  DirOrder dirOrder() const { return DirOrder(dirArena, collation); }
  FileOrder fileOrder() const { return FileOrder(fileArena, collation, extensions); }

  PrivateHeap& heap;
  const Collation& collation;
  Mutex lock;  // the index lock
  DirMap dirMap;
  ExtensionTable extensions;
  EntryList dirs;
  EntryList files;
  RecordArena fileArena;
  RecordArena dirArena;
};

}  // namespace vessiko
