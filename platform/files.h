// Whole-file reads and crash-safe whole-file writes. Paths are UTF-8; errors are the system's
// own codes (GetLastError on Windows, errno on Linux), taken once, here.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace vessiko {

class FileReader {
 public:
  virtual ~FileReader() = default;
  // The file's size in bytes; false with the system error when it cannot be had.
  virtual bool size(uint64_t* bytes, uint32_t* error) = 0;
  // Reads up to n bytes from the current position; *got tells how many came.
  virtual bool read(void* buffer, size_t n, size_t* got, uint32_t* error) = 0;
};

class Files {
 public:
  virtual ~Files() = default;
  // Null with the system error when the file cannot be opened for reading.
  virtual std::unique_ptr<FileReader> openForRead(const std::string& path, uint32_t* error) = 0;
  // Writes the pieces, in order, to a temporary file in path's folder and replaces path by it
  // only when every byte was written and flushed; on failure path keeps what it held before.
  virtual bool replaceWith(const std::string& path,
                           std::span<const std::span<const uint8_t>> pieces, uint32_t* error) = 0;
  virtual bool exists(const std::string& path) = 0;
  virtual bool remove(const std::string& path) = 0;
};

Files& systemFiles();

}  // namespace vessiko
