// What a search tells the view of its results: how many rows there are now, and which rows to
// draw again. The Win32 dialog's list view and the terminal's full-screen view implement it; a
// face without a result view (the batch modes, the benchmarks) uses this base, which ignores
// both. Every operation may be called from any thread.
#pragma once

#include <cstdint>

namespace vessiko {

class ResultView {
 public:
  virtual ~ResultView() = default;
  // The view now shows this many rows (LVM_SETITEMCOUNT).
  virtual void setResultCount(uint32_t) {}
  // Rows first..last are to be drawn again; last kToTheEnd means to the end.
  virtual void redrawResults(int /*first*/, int /*last*/) {}

  static constexpr int kToTheEnd = -1;
};

}  // namespace vessiko
