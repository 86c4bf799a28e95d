// The records every NTFS volume starts with: the metafiles in records 0 to 11, the root
// directory "." among them as record 5; records 12 to 15 are reserved and stay unused. A user's
// files take records from 16 up. Constants only.
#pragma once

#include <cstdint>

namespace vessiko::ntfs {

struct Metafile {
  const char16_t* name;
  bool directory;
};
inline constexpr Metafile kMetafiles[] = {
    {u"$MFT", false},     {u"$MFTMirr", false}, {u"$LogFile", false}, {u"$Volume", false},
    {u"$AttrDef", false}, {u".", true},         {u"$Bitmap", false},  {u"$Boot", false},
    {u"$BadClus", false}, {u"$Secure", false},  {u"$UpCase", false},  {u"$Extend", true},
};
inline constexpr uint64_t kLogFileRecord = 2;
inline constexpr uint64_t kVolumeRecord = 3;  // its $VOLUME_NAME is the label
inline constexpr uint64_t kRootDirectoryRecord = 5;
inline constexpr uint64_t kBitmapRecord = 6;   // one bit per cluster of the volume, set when used
inline constexpr uint64_t kExtendRecord = 11;  // the folder of $UsnJrnl, among others
inline constexpr uint64_t kFirstUserRecord = 16;

}  // namespace vessiko::ntfs
