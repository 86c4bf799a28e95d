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
  // Writes the pieces, in order, to path (made, or emptied first) and flushes them to the disk.
  // Not crash-safe by itself: for a temporary file that moveReplacing then puts in place. On
  // failure path may hold a part of the bytes.
  virtual bool writeWhole(const std::string& path, std::span<const std::span<const uint8_t>> pieces,
                          uint32_t* error) = 0;
  // Renames `from` to `to` in the same folder, replacing what `to` held, in one step, and makes
  // the rename last before returning, so that moves made one after another reach the disk in
  // that order. False with the system error when `from` did not move.
  virtual bool moveReplacing(const std::string& from, const std::string& to, uint32_t* error) = 0;
  virtual bool exists(const std::string& path) = 0;
  virtual bool remove(const std::string& path) = 0;
};

Files& SystemFiles();

}  // namespace vessiko
