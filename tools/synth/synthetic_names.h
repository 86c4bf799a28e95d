// Synthetic file and folder names for benchmarks: realistic lengths (about 20 units for a file
// name with its extension), shared prefixes (IMG_0001, Screenshot 2024-...), common extensions
// with realistic weights, and about one name in ten with Chinese characters. Deterministic for
// a seed, whatever the compiler.
#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace vessiko {

class SyntheticNames {
 public:
  explicit SyntheticNames(uint64_t seed) : random_(seed) {}

  // The next name, in a buffer of the generator's that the next call overwrites: no allocation
  // per name once the buffer has grown.
  std::u16string& nextFileName();
  std::u16string& nextFolderName();

  std::u16string fileName() { return nextFileName(); }
  std::u16string folderName() { return nextFolderName(); }

 private:
  void appendWord(uint32_t which);
  void appendChineseWord(uint32_t which);
  void appendDigits(const char16_t* digits, int count);
  void drawDigits(char16_t* out, int count);
  const char16_t* extension();
  uint32_t pick(uint32_t n) { return static_cast<uint32_t>(random_() % n); }

  std::mt19937_64 random_;
  std::u16string name_;
};

}  // namespace vessiko
