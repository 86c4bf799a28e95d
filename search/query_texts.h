// The query as the user types it: the texts of the name field and the extension field.
#pragma once

#include <string>
#include <utility>

#include "platform/mutex.h"

namespace vessiko {

struct QueryTexts {
  std::u16string name;
  std::u16string extension;
};

// The query a search was last given, for the searches the engine runs again by itself (after
// the start-up, after the volumes changed, after a command). Safe for all threads.
class TypedQuery {
 public:
  void set(QueryTexts texts) {
    MutexLock lock(mutex_);
    texts_ = std::move(texts);
  }
  QueryTexts get() const {
    MutexLock lock(mutex_);
    return texts_;
  }

 private:
  mutable Mutex mutex_;
  QueryTexts texts_ GUARDED_BY(mutex_);
};

}  // namespace vessiko
