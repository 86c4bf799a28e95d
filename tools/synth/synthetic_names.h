// Synthetic file and folder names for benchmarks: realistic lengths (about 20 units for a file
// name with its extension), shared prefixes (IMG_0001, Screenshot 2024-...), common extensions
// with realistic weights, and about one name in ten with Chinese characters. Deterministic for
// a seed.
#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace vessiko {

class SyntheticNames {
 public:
  explicit SyntheticNames(uint64_t seed) : random_(seed) {}

  std::u16string fileName();
  std::u16string folderName();

 private:
  std::u16string word();
  std::u16string chineseWord();
  std::u16string number(int digits);
  const char16_t* extension();
  uint32_t pick(uint32_t n) { return static_cast<uint32_t>(random_() % n); }

  std::mt19937_64 random_;
};

}  // namespace vessiko
