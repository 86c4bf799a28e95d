// The index sizes a benchmark runs with: the counts on its command line, else 1M and 10M.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace vessiko {

inline std::vector<uint32_t> EntryCounts(int argc, char** argv) {
  std::vector<uint32_t> counts;
  for (int i = 1; i < argc; ++i) {
    counts.push_back(static_cast<uint32_t>(std::strtoul(argv[i], nullptr, 10)));
  }
  if (counts.empty()) counts = {1000000, 10000000};
  return counts;
}

}  // namespace vessiko
