// Interns many distinct extensions into a seeded extension table (80,000 by default: hex
// hashes, numbered suffixes, and upper-case spellings of ones already in), then looks each up
// again and reads the sorted order the extension database saves. Reports the time of each
// step; every index and the sorted order are checked first.
//
//   build/linux-release/tools/bench/extension_bench [extensions...]
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

#include "index/extension_table.h"
#include "index/private_heap.h"
#include "platform/fakes/recording_messages.h"
#include "platform/utf.h"
#include "tools/bench/bench_arguments.h"
#include "tools/bench/bench_clock.h"

namespace vessiko {
namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "check failed: %s\n", what);
  std::exit(1);
}

std::u16string Upper(std::u16string text) {
  for (char16_t& unit : text) {
    if (unit >= u'a' && unit <= u'z') unit = static_cast<char16_t>(unit - 32);
  }
  return text;
}

// `count` distinct lower-case extensions in the order they are first met: about half hex
// hashes of 6 to 16 digits, half numbered suffixes "001", "002", ...
std::vector<std::u16string> DistinctExtensions(uint32_t count) {
  std::mt19937_64 random(42);
  std::unordered_set<std::u16string> seen = {u"cur", u"exe", u"ico", u"lnk"};
  std::vector<std::u16string> out;
  uint32_t number = 1;
  while (out.size() < count) {
    char digits[24];
    if (random() % 2 == 0) {
      const int length = 6 + static_cast<int>(random() % 11);
      std::snprintf(digits, sizeof digits, "%016" PRIx64, random());
      digits[length] = 0;
    } else {
      std::snprintf(digits, sizeof digits, "%03u", number++);
    }
    std::u16string text = Utf8ToUtf16(digits);
    if (seen.insert(text).second) out.push_back(std::move(text));
  }
  return out;
}

void Run(uint32_t count) {
  RecordingMessages messages;
  PrivateHeap heap(messages);
  ExtensionTable table(heap);
  table.seedBuiltins();
  const std::vector<std::u16string> distinct = DistinctExtensions(count);

  // What the build would meet: each new extension, and after every third an upper-case
  // spelling of one met before, which must give that one's index.
  struct Call {
    std::u16string text;
    int32_t expected;
  };
  std::vector<Call> calls;
  std::mt19937 random(7);
  for (uint32_t i = 0; i < count; ++i) {
    calls.push_back({distinct[i], static_cast<int32_t>(4 + i)});
    if (i % 3 == 2) {
      const uint32_t earlier = random() % (i + 1);
      calls.push_back({Upper(distinct[earlier]), static_cast<int32_t>(4 + earlier)});
    }
  }
  std::vector<std::u16string> probes;
  for (const std::u16string& text : distinct)
    probes.push_back(Upper(text));

  std::vector<int32_t> got(calls.size());
  Stopwatch intern;
  for (size_t i = 0; i < calls.size(); ++i)
    got[i] = table.intern(calls[i].text.data(), static_cast<uint32_t>(calls[i].text.size()));
  const double internSeconds = intern.seconds();
  for (size_t i = 0; i < calls.size(); ++i) {
    if (got[i] != calls[i].expected) Fail("intern index");
  }
  if (table.count() != count + 4) Fail("count");

  got.resize(probes.size());
  Stopwatch lookup;
  for (size_t i = 0; i < probes.size(); ++i)
    got[i] = table.lookup(probes[i].data(), static_cast<uint32_t>(probes[i].size()));
  const double lookupSeconds = lookup.seconds();
  for (uint32_t i = 0; i < count; ++i) {
    if (got[i] != static_cast<int32_t>(4 + i)) Fail("lookup index");
    if (probes[i] != distinct[i]) Fail("lookup lowering");
  }

  got.resize(table.count());
  Stopwatch sorted;
  for (uint32_t position = 0; position < table.count(); ++position)
    got[position] = table.sortedIndexAt(position);
  const double sortedSeconds = sorted.seconds();
  std::vector<std::u16string> all = {u"cur", u"exe", u"ico", u"lnk"};
  all.insert(all.end(), distinct.begin(), distinct.end());
  std::vector<int32_t> expected(all.size());
  for (size_t i = 0; i < expected.size(); ++i)
    expected[i] = static_cast<int32_t>(i);
  std::sort(expected.begin(), expected.end(),
            [&](int32_t a, int32_t b) { return all[a] < all[b]; });
  if (got != expected) Fail("sorted order");

  std::printf("%8u extensions (%zu interns, a quarter of them upper-case repeats)\n", count,
              calls.size());
  std::printf("  intern        %8.3f s  (%.3f us each)\n", internSeconds,
              internSeconds * 1e6 / static_cast<double>(calls.size()));
  std::printf("  look up all   %8.3f s  (%.3f us each)\n", lookupSeconds,
              lookupSeconds * 1e6 / count);
  std::printf("  sorted order  %8.3f s\n", sortedSeconds);
}

}  // namespace
}  // namespace vessiko

int main(int argc, char** argv) {
  const std::vector<uint32_t> counts =
      argc > 1 ? vessiko::EntryCounts(argc, argv) : std::vector<uint32_t>{80000};
  for (uint32_t n : counts)
    vessiko::Run(n);
  return 0;
}
