// sortEntryPointers: orders a freshly built list of record references. A quicksort with a
// median-of-three pivot and an explicit stack, handing ranges of 32 or fewer to an insertion
// sort. Elements equal to the pivot next to it are left out of both parts, and the larger part
// is always the one deferred, so the stack never holds more than log2(n) ranges. Not stable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

namespace vessiko {

constexpr int64_t kInsertionSortCutoff = 32;

template <typename T, class Cmp>
void InsertionSortEntries(T* a, int64_t lo, int64_t hi, const Cmp& cmp) {
  for (int64_t k = lo + 1; k <= hi; ++k) {
    const T x = a[k];
    int64_t i = k - 1;
    while (i >= lo && cmp(a[i], x) > 0) {
      a[i + 1] = a[i];
      --i;
    }
    a[i + 1] = x;
  }
}

// cmp(x, y) is negative, 0 or positive.
template <typename T, class Cmp>
void sortEntryPointers(T* a, size_t n, const Cmp& cmp) {
  if (n < 2) return;
  struct Range {
    int64_t lo;
    int64_t hi;
  };
  Range stack[64];
  int depth = 0;
  int64_t lo = 0;
  int64_t hi = static_cast<int64_t>(n) - 1;
  for (;;) {
    const int64_t size = hi - lo + 1;
    if (size <= kInsertionSortCutoff) {
      InsertionSortEntries(a, lo, hi, cmp);
    } else {
      int64_t mid = lo + size / 2;
      if (cmp(a[lo], a[mid]) > 0) std::swap(a[lo], a[mid]);
      if (cmp(a[lo], a[hi]) > 0) std::swap(a[lo], a[hi]);
      if (cmp(a[mid], a[hi]) > 0) std::swap(a[mid], a[hi]);

      int64_t i = lo;
      int64_t j = hi;
      for (;;) {
        if (mid > i) {
          do {
            ++i;
          } while (i < mid && cmp(a[i], a[mid]) <= 0);
        }
        if (mid <= i) {
          do {
            ++i;
          } while (i <= hi && cmp(a[i], a[mid]) <= 0);
        }
        do {
          --j;
        } while (j > mid && cmp(a[j], a[mid]) > 0);
        if (j < i) break;
        std::swap(a[i], a[j]);
        if (mid == j) mid = i;
      }

      ++j;
      if (mid < j) {
        do {
          --j;
        } while (j > mid && cmp(a[j], a[mid]) == 0);
      }
      if (mid >= j) {
        do {
          --j;
        } while (j > lo && cmp(a[j], a[mid]) == 0);
      }

      // Unsorted parts: [lo, j] and [i, hi]. Defer the larger one, go on with the smaller.
      if (j - lo >= hi - i) {
        if (lo < j) stack[depth++] = {lo, j};
        if (i < hi) {
          lo = i;
          continue;
        }
      } else {
        if (i < hi) stack[depth++] = {i, hi};
        if (lo < j) {
          hi = j;
          continue;
        }
      }
    }
    if (depth == 0) return;
    --depth;
    lo = stack[depth].lo;
    hi = stack[depth].hi;
  }
}

}  // namespace vessiko
