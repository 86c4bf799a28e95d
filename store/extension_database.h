// The extension database, "kavume_ext.db": the extension table, so that the extension indexes
// kept in the core database's file records mean the same texts in the next run.
//
//   +------+------------------------------------------------------------+
//   |  N   | N entry records, in the order of the sorted texts          |
//   +------+------------------------------------------------------------+
//   entry:  index u32 | icon u32, always 0xFFFFFFFD | text UTF-16, lowered, then a 0 unit
//
// Little-endian; no header besides N. Icons are never saved: each is looked up again.
#pragma once

#include <cstdint>
#include <string>

#include "index/extension_table.h"
#include "platform/files.h"
#include "platform/user_messages.h"

namespace vessiko {

class ByteWriter;

// Writes the table the crash-safe way (a temporary file replaces the old one only once it is
// whole). A failure says "写入扩展名文件失败:%d"; memory that runs out, "申请内存失败:%d", and
// nothing is written. (SaveDatabases writes this file together with the core database.)
void SaveExtensionDatabase(const std::string& path, const ExtensionTable& table, Files& files,
                           UserMessages& messages);

// The bytes SaveExtensionDatabase writes, appended to image; false when memory ran out (told).
bool EncodeExtensionDatabase(const ExtensionTable& table, ByteWriter& image);

// "写入扩展名文件失败:%d" with the system error.
void ShowExtensionSaveFailure(UserMessages& messages, uint32_t error);

// Fills a fresh, empty table. 0 when the file cannot be opened or read ("读扩展名文件失败:%d"),
// when memory runs out ("申请内存失败:%d"), or when it does not hold a consistent table
// (silently: the start-up then rebuilds), 1 otherwise.
int LoadExtensionDatabase(const std::string& path, ExtensionTable& table, Files& files,
                          UserMessages& messages);

}  // namespace vessiko
