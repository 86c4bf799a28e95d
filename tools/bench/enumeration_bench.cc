// Times EnumerateVolumes over a simulated volume with a realistic tree: a million entries by
// default (a count on the command line), one in ten a folder, folders nested up to a dozen
// levels with uneven fan-out, names from the synthetic generator. Reports the scan, the
// linking and the two sorts (the file sort includes laying the records out in list order),
// after checking that every entry of the volume is in the index, in order.
//
//   build/linux-release/tools/bench/enumeration_bench [entries]
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "index/index.h"
#include "index/record_compaction.h"
#include "platform/ntfs_layout.h"
#include "platform/sim/sim_machine.h"
#include "tools/bench/bench_clock.h"
#include "tools/synth/synthetic_names.h"
#include "volume/enumeration.h"
#include "volume/volume_discovery.h"

namespace vessiko {
namespace {

// Notes the moment each status text appears: the phases of the enumeration.
class PhaseClock : public UserMessages {
 public:
  void showStatus(std::string_view) override { marks.push_back(clock.seconds()); }
  void showMessage(std::string_view, std::string_view, MessageIcon) override {}
  bool askYesNo(std::string_view, std::string_view, MessageIcon) override { return true; }

  Stopwatch clock;
  std::vector<double> marks;
};

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "check failed: %s\n", what);
  std::exit(1);
}

void FillVolume(SimVolume& volume, uint32_t entries) {
  SyntheticNames names(42);
  std::mt19937 random(42);
  struct Folder {
    uint64_t reference;
    uint32_t depth;
  };
  std::vector<Folder> folders = {{SimVolume::kRootDirectory, 0}};
  for (uint32_t i = 0; i < entries; ++i) {
    // Recent folders are the likeliest parents, as in trees copied and unpacked together.
    const size_t recent = folders.size() > 64 ? 64 : folders.size();
    Folder parent = random() % 4 == 0 ? folders[random() % folders.size()]
                                      : folders[folders.size() - 1 - random() % recent];
    const bool folder = i % 10 == 0;
    if (folder && parent.depth >= 12) parent = folders[random() % (folders.size() / 2 + 1)];
    SimEntry entry;
    entry.parent = parent.reference;
    if (folder && parent.depth < 12) {
      entry.name = names.folderName();
      entry.attributes = ntfs::kAttributeDirectory;
    } else {
      entry.name = names.fileName();
      entry.size = random() % 100000;
    }
    const uint64_t reference = volume.createQuietly(entry);
    if (reference == 0) {
      --i;  // a name taken twice in one folder; draw again
      continue;
    }
    if (entry.attributes != 0) folders.push_back({reference, parent.depth + 1});
  }
}

void Run(uint32_t entries) {
  SimMachine machine;
  SimVolumeOptions options;
  options.journal = true;
  SimVolume& volume = machine.addNtfsDrive('C', u"System", options);
  Stopwatch filling;
  FillVolume(volume, entries);
  const double fillSeconds = filling.seconds();

  PhaseClock phases;
  PrivateHeap heap(phases);
  Index index(heap, Collation::loadCollationTable());
  index.extensions.seedBuiltins();
  VolumeSlots slots(heap);
  DroppedVolumeRows rows;
  DiscoverVolumes(machine, slots, rows, phases);
  const double start = phases.clock.seconds();
  EnumerateVolumes(index, slots, phases);
  const double end = phases.clock.seconds();
  // Scanning C, linking, sorting folders, sorting files.
  if (phases.marks.size() != 4) Fail("status texts");

  if (index.dirs.itemCount() + index.files.itemCount() != volume.userFileCount() + 1) {
    Fail("entry count");
  }
  const FileOrder order = index.fileOrder();
  RecordRef previous = kNoRecord;
  index.files.forEach([&](RecordRef ref) {
    if (previous != kNoRecord && order(previous, ref) > 0) Fail("file order");
    previous = ref;
  });
  Stopwatch compaction;
  CompactRecords(index);
  const double compactionSeconds = compaction.seconds();

  const auto& m = phases.marks;
  std::printf("%u entries (%u folders, %u files) on a simulated volume, built in %.2f s\n", entries,
              index.dirs.itemCount(), index.files.itemCount(), fillSeconds);
  std::printf("  scan (enumerate and build records)  %7.3f s\n", m[1] - start);
  std::printf("  link parents                        %7.3f s\n", m[2] - m[1]);
  std::printf("  sort folders                        %7.3f s\n", m[3] - m[2]);
  std::printf("  sort files, lay records out         %7.3f s  (laying out alone: %.3f s)\n",
              end - m[3], compactionSeconds);
  std::printf("  EnumerateVolumes in all             %7.3f s\n", end - start);
}

}  // namespace
}  // namespace vessiko

int main(int argc, char** argv) {
  const uint32_t entries =
      argc > 1 ? static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10)) : 1000000;
  vessiko::Run(entries);
  return 0;
}
