// Makes a realistic directory tree of ENTRIES folders and files under DIR (created when missing,
// else it must be empty) for the benchmarks over real files, and prints what it made, one
// "key value" line each, for scripts to check their answers against. The same SEED (1 by
// default) makes the same tree.
//
//   tree_generator DIR ENTRIES [SEED]
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/bench/bench_clock.h"
#include "tools/treegen/tree_generator.h"

namespace {

bool ParseCount(const char* text, uint64_t* value) {
  if (*text < '0' || *text > '9') return false;
  char* end = nullptr;
  errno = 0;
  *value = std::strtoull(text, &end, 10);
  return errno == 0 && *end == '\0';
}

bool IsEmpty(const char* path) {
  DIR* dir = opendir(path);
  if (dir == nullptr) return false;
  bool empty = true;
  while (const dirent* e = readdir(dir)) {
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
      empty = false;
      break;
    }
  }
  closedir(dir);
  return empty;
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t entries = 0;
  uint64_t seed = 1;
  if (argc < 3 || argc > 4 || !ParseCount(argv[2], &entries) ||
      (argc == 4 && !ParseCount(argv[3], &seed))) {
    std::fprintf(stderr, "usage: tree_generator DIR ENTRIES [SEED]\n");
    return 2;
  }
  const char* root = argv[1];
  if (mkdir(root, 0755) != 0 && errno != EEXIST) {
    std::fprintf(stderr, "tree_generator: mkdir %s: %s\n", root, std::strerror(errno));
    return 1;
  }
  // The counts printed are the tree's only when nothing else lies in it.
  if (!IsEmpty(root)) {
    std::fprintf(stderr, "tree_generator: %s is not an empty folder\n", root);
    return 1;
  }
  const int fd = open(root, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    std::fprintf(stderr, "tree_generator: open %s: %s\n", root, std::strerror(errno));
    return 1;
  }
  vessiko::TreeCounts counts;
  std::string error;
  const vessiko::Stopwatch watch;
  const bool made = vessiko::GenerateTree(fd, entries, seed, &counts, &error);
  const double seconds = watch.seconds();
  close(fd);
  if (!made) {
    std::fprintf(stderr, "tree_generator: %s\n", error.c_str());
    return 1;
  }
  std::printf("entries %llu\n", static_cast<unsigned long long>(counts.entries));
  std::printf("folders %llu\n", static_cast<unsigned long long>(counts.folders));
  std::printf("files %llu\n", static_cast<unsigned long long>(counts.files));
  std::printf("chinese_names %llu\n", static_cast<unsigned long long>(counts.chineseNames));
  std::printf("names_with_spaces %llu\n", static_cast<unsigned long long>(counts.namesWithSpaces));
  std::printf("max_depth %u\n", counts.maxDepth);
  std::printf("token %s %llu\n", vessiko::kRareToken,
              static_cast<unsigned long long>(counts.rareToken));
  std::printf("token %s %llu\n", vessiko::kCommonToken,
              static_cast<unsigned long long>(counts.commonToken));
  std::printf("seconds %.3f\n", seconds);
  return 0;
}
