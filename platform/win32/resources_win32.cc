#include <windows.h>

#include "platform/resources.h"

namespace vessiko {

std::span<const uint8_t> RankTableResource() {
  const WORD chineseSimplified = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);  // 2052
  HRSRC found = FindResourceExW(nullptr, L"ZISORT", MAKEINTRESOURCEW(107), chineseSimplified);
  if (found == nullptr) return {};
  HGLOBAL loaded = LoadResource(nullptr, found);
  if (loaded == nullptr) return {};
  const void* bytes = LockResource(loaded);  // mapped for the life of the process
  if (bytes == nullptr) return {};
  return {static_cast<const uint8_t*>(bytes), SizeofResource(nullptr, found)};
}

}  // namespace vessiko
