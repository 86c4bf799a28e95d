// The key of a folder chosen for the directory scope, read from the file system.
#include <windows.h>

#include <string>

#include "gtest/gtest.h"
#include "ui/folder_resolver.h"

namespace vessiko::testing {
namespace {

TEST(FolderResolverTest, RefusesWhatCannotBeOpenedOrHasNoDrive) {
  Win32FolderResolver resolver;
  EntryKey key = 0;
  EXPECT_FALSE(resolver.folderKey(u"C:\\no such folder\\anywhere", &key));
  EXPECT_FALSE(resolver.folderKey(u"", &key));
  EXPECT_FALSE(resolver.folderKey(u"\\\\server\\share", &key));
}

TEST(FolderResolverTest, KeyOfAFolderOnItsDrive) {
  wchar_t windows[MAX_PATH] = {};
  ASSERT_GT(GetWindowsDirectoryW(windows, MAX_PATH), 3u);
  std::u16string path(windows, windows + wcslen(windows));
  path[0] = static_cast<char16_t>(path[0] | 0x20);  // a lower-case drive letter names it too
  Win32FolderResolver resolver;
  EntryKey key = 0;
  // A file system whose file indexes do not fit an EntryKey has its folders refused.
  if (!resolver.folderKey(path, &key)) GTEST_SKIP() << "file index beyond 27 bits";
  EXPECT_EQ(VolumeOf(key), static_cast<uint32_t>((windows[0] & ~0x20) - L'A'));
  EntryKey again = 0;
  ASSERT_TRUE(resolver.folderKey(path, &again));
  EXPECT_EQ(again, key);
}

}  // namespace
}  // namespace vessiko::testing
