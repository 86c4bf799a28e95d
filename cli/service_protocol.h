// The protocol between vessiko's clients and the process that owns a database folder, over a
// Unix stream socket in that folder. Every message is a frame: a 4-byte little-endian length,
// then that many bytes, a kind and the fields. Fields are little-endian integers of 1, 2 or 4
// bytes, and byte strings as a 4-byte length and the bytes.
//
// A client opens a session with its options, then asks; each request gets one answer, except
// kRows, answered by any number of kRowsPart frames and a kRowsEnd that says the rows are whole.
// Either side bounds what it reads: a frame over its limit, a field past a frame's end or bytes
// left over make the frame malformed. A malformed request gets a kError and the connection is
// closed; a malformed answer is the service failing.
//
//   kOpen      version 4, drivesGiven 1, drives 4 × (letter 1, directory, ntfs 1), case 1,
//              folders 1, files 1, scopes 4 × (directory, subfolders 1), the filter (see
//              EncodeOptions)
//   kSearch    name (UTF-16LE), extensions (UTF-16LE)
//   kToggles   case 1, folders 1, files 1: set, then the last query searched again
//   kRefresh   the last query searched again when the index changed since
//   kRows      first 4, count 4, wanted 4 (FileRecordValue bits), paths 1 (each row's full
//              path alone instead of its cells), end 1 (the byte after each path)
//
//   kOpened    nothing
//   kSearched  changed 1, count 4, status, boxes 4 × (caption, text)
//   kRowsPart  rows 4 × (volume 4, record 4, the eight cells), or rows 4 and one string of
//              their paths, each followed by the end byte
//   kRowsEnd   rows sent 4
//   kError     caption, text, exit status 1
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "cli/command_line.h"
#include "cli/row_cells.h"

namespace vessiko {

constexpr uint32_t kProtocolVersion = 2;
// A request holds options and a query: a few kilobytes at most.
constexpr uint32_t kMaxRequestBytes = 1u << 20;
// An answer's frames are cut well below this; a client reads no more.
constexpr uint32_t kMaxAnswerBytes = 16u << 20;

enum class MessageKind : uint8_t {
  kOpen = 1,
  kSearch = 2,
  kToggles = 3,
  kRefresh = 4,
  kRows = 5,
  kOpened = 0x81,
  kSearched = 0x82,
  kRowsPart = 0x83,
  kRowsEnd = 0x84,
  kError = 0x8F,
};

// The offset in a frame of the first field after the kind.
constexpr size_t kFirstField = 5;

// Builds one frame.
class FrameWriter {
 public:
  // reserve: the frame's expected size, for one that is filled with many rows.
  explicit FrameWriter(MessageKind kind, size_t reserve = 0);
  void u8(uint8_t v) { bytes_.push_back(static_cast<char>(v)); }
  void u16(uint16_t v);
  void u32(uint32_t v);
  void bytes(std::string_view v);
  // Bytes within a field whose length is set afterwards (setU32).
  void raw(std::string_view v) { bytes_.append(v); }
  void units(std::u16string_view v);
  size_t size() const { return bytes_.size(); }
  // Overwrites a field written before, at its offset in the frame (kFirstField: the first).
  void setU32(size_t offset, uint32_t v);
  // The frame with its length filled in.
  const std::string& finish();

 private:
  std::string bytes_;
};

// Reads the fields of one frame's body; every read past the end fails and leaves the reader
// failed, so a caller checks once, at the end (whole()).
class FrameReader {
 public:
  explicit FrameReader(std::string_view body) : rest_(body) {}
  MessageKind kind();
  uint8_t u8();
  uint16_t u16();
  uint32_t u32();
  bool flag() { return u8() != 0; }
  void bytes(std::string* out);
  // A byte string in place: valid while the frame's body is.
  std::string_view view();
  void units(std::u16string* out);
  // At most `limit` items can follow when each takes at least `itemBytes`: a count beyond
  // what the frame can hold fails the reader instead of reserving room for it.
  uint32_t count(uint32_t itemBytes);
  bool ok() const { return ok_; }
  // Every field was read and nothing is left over.
  bool whole() const { return ok_ && rest_.empty(); }

 private:
  bool take(size_t n, const char** at);

  std::string_view rest_;
  bool ok_ = true;
};

enum class FrameRead { kFrame, kClosed, kTooLarge, kFailed };

// Reads one frame's body (without the length) into *body.
FrameRead ReadFrame(int fd, uint32_t limit, std::string* body);
// Writes all of it; false when the peer has gone.
bool WriteAll(int fd, std::string_view bytes);

// The parts of a command line a session takes: drives (and whether they were given), the
// search options, the scope and the filter.
void EncodeOptions(const CommandLine& line, FrameWriter& out);
bool DecodeOptions(FrameReader& in, CommandLine* line);

void EncodeCells(const RowCells& cells, FrameWriter& out);
void DecodeCells(FrameReader& in, RowCells* cells);

}  // namespace vessiko
