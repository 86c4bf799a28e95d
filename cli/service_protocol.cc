#include "cli/service_protocol.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace vessiko {

namespace {

constexpr size_t kLengthBytes = 4;
constexpr int kCalendarFields = 7;

void PutCalendar(const CalendarTime& t, FrameWriter& out) {
  for (uint16_t v : {t.year, t.month, t.day, t.hour, t.minute, t.second, t.milliseconds})
    out.u16(v);
}

void GetCalendar(FrameReader& in, CalendarTime* t) {
  uint16_t* fields[kCalendarFields] = {&t->year,   &t->month,  &t->day,         &t->hour,
                                       &t->minute, &t->second, &t->milliseconds};
  for (uint16_t* field : fields)
    *field = in.u16();
}

}  // namespace

FrameWriter::FrameWriter(MessageKind kind, size_t reserve) : bytes_(kLengthBytes, '\0') {
  bytes_.reserve(reserve);
  u8(static_cast<uint8_t>(kind));
}

void FrameWriter::u16(uint16_t v) {
  const char bytes[2] = {static_cast<char>(v), static_cast<char>(v >> 8)};
  bytes_.append(bytes, 2);
}

void FrameWriter::u32(uint32_t v) {
  const char bytes[4] = {static_cast<char>(v), static_cast<char>(v >> 8),
                         static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
  bytes_.append(bytes, 4);
}

void FrameWriter::setU32(size_t offset, uint32_t v) {
  for (size_t i = 0; i < 4; ++i)
    bytes_.at(offset + i) = static_cast<char>(v >> (8 * i));
}

void FrameWriter::bytes(std::string_view v) {
  u32(static_cast<uint32_t>(v.size()));
  bytes_.append(v);
}

void FrameWriter::units(std::u16string_view v) {
  u32(static_cast<uint32_t>(v.size() * 2));
  for (char16_t c : v)
    u16(c);
}

const std::string& FrameWriter::finish() {
  const auto length = static_cast<uint32_t>(bytes_.size() - kLengthBytes);
  for (size_t i = 0; i < kLengthBytes; ++i)
    bytes_[i] = static_cast<char>(length >> (8 * i));
  return bytes_;
}

bool FrameReader::take(size_t n, const char** at) {
  if (!ok_ || rest_.size() < n) {
    ok_ = false;
    return false;
  }
  *at = rest_.data();
  rest_.remove_prefix(n);
  return true;
}

MessageKind FrameReader::kind() {
  return static_cast<MessageKind>(u8());
}

uint8_t FrameReader::u8() {
  const char* at;
  return take(1, &at) ? static_cast<uint8_t>(*at) : 0;
}

uint16_t FrameReader::u16() {
  const char* at;
  if (!take(2, &at)) return 0;
  return static_cast<uint16_t>(static_cast<uint8_t>(at[0]) | static_cast<uint8_t>(at[1]) << 8);
}

uint32_t FrameReader::u32() {
  const uint32_t low = u16();
  return low | static_cast<uint32_t>(u16()) << 16;
}

std::string_view FrameReader::view() {
  const uint32_t n = u32();
  const char* at;
  return take(n, &at) ? std::string_view(at, n) : std::string_view();
}

void FrameReader::bytes(std::string* out) {
  const uint32_t n = u32();
  const char* at;
  if (take(n, &at)) {
    out->assign(at, n);
  } else {
    out->clear();
  }
}

void FrameReader::units(std::u16string* out) {
  const uint32_t n = u32();
  const char* at;
  out->clear();
  if (n % 2 != 0) ok_ = false;
  if (!take(n, &at)) return;
  out->resize(n / 2);
  for (uint32_t i = 0; i < n / 2; ++i) {
    (*out)[i] = static_cast<char16_t>(static_cast<uint8_t>(at[2 * i]) |
                                      static_cast<uint8_t>(at[2 * i + 1]) << 8);
  }
}

uint32_t FrameReader::count(uint32_t itemBytes) {
  const uint32_t n = u32();
  if (ok_ && static_cast<uint64_t>(n) * itemBytes > rest_.size()) ok_ = false;
  return ok_ ? n : 0;
}

FrameRead ReadFrame(int fd, uint32_t limit, std::string* body) {
  const auto readFully = [fd](char* to, size_t n, bool* closedAtStart) {
    size_t got = 0;
    while (got < n) {
      const ssize_t r = read(fd, to + got, n - got);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) {
        *closedAtStart = r == 0 && got == 0;
        return false;
      }
      got += static_cast<size_t>(r);
    }
    return true;
  };
  char length[kLengthBytes];
  bool closed = false;
  if (!readFully(length, kLengthBytes, &closed))
    return closed ? FrameRead::kClosed : FrameRead::kFailed;
  uint32_t n = 0;
  for (size_t i = 0; i < kLengthBytes; ++i)
    n |= static_cast<uint32_t>(static_cast<uint8_t>(length[i])) << (8 * i);
  if (n > limit) return FrameRead::kTooLarge;
  body->resize(n);
  if (!readFully(body->data(), n, &closed)) return FrameRead::kFailed;
  return FrameRead::kFrame;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    // MSG_NOSIGNAL: a client that went away is a failed write, not a SIGPIPE for the service.
    const ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

void EncodeOptions(const CommandLine& line, FrameWriter& out) {
  out.u32(kProtocolVersion);
  out.u8(line.drivesGiven);
  out.u32(static_cast<uint32_t>(line.drives.size()));
  for (const DriveOption& drive : line.drives) {
    out.u8(static_cast<uint8_t>(drive.letter));
    out.bytes(drive.directory);
    out.u8(drive.ntfs);
  }
  out.u8(line.caseSensitive);
  out.u8(line.folders);
  out.u8(line.files);
  out.u32(static_cast<uint32_t>(line.scopes.size()));
  for (const ScopeOption& scope : line.scopes) {
    out.bytes(scope.directory);
    out.u8(scope.subfolders);
  }
  const FilterOptions& f = line.filter;
  out.u8(f.size);
  out.units(f.sizeNumber);
  out.u32(static_cast<uint32_t>(f.sizeOperator));
  out.u32(static_cast<uint32_t>(f.sizeUnit));
  out.u8(f.date);
  out.u32(static_cast<uint32_t>(f.dateKind));
  out.u32(static_cast<uint32_t>(f.dateMode));
  PutCalendar(f.first, out);
  PutCalendar(f.second, out);
  out.u8(f.attributes);
  out.u8(f.normal);
  out.u8(f.hidden);
  out.u8(f.system);
}

bool DecodeOptions(FrameReader& in, CommandLine* line) {
  if (in.u32() != kProtocolVersion) return false;
  line->drivesGiven = in.flag();
  // A drive takes at least a letter, a length and its kind.
  const uint32_t drives = in.count(6);
  line->drives.resize(drives);
  for (DriveOption& drive : line->drives) {
    drive.letter = static_cast<char>(in.u8());
    in.bytes(&drive.directory);
    drive.ntfs = in.flag();
  }
  line->caseSensitive = in.flag();
  line->folders = in.flag();
  line->files = in.flag();
  const uint32_t scopes = in.count(5);
  line->scopes.resize(scopes);
  for (ScopeOption& scope : line->scopes) {
    in.bytes(&scope.directory);
    scope.subfolders = in.flag();
  }
  FilterOptions& f = line->filter;
  f.size = in.flag();
  in.units(&f.sizeNumber);
  f.sizeOperator = static_cast<int>(in.u32());
  f.sizeUnit = static_cast<int>(in.u32());
  f.date = in.flag();
  f.dateKind = static_cast<int>(in.u32());
  const uint32_t mode = in.u32();
  f.dateMode = static_cast<DateRadio>(mode);
  GetCalendar(in, &f.first);
  GetCalendar(in, &f.second);
  f.attributes = in.flag();
  f.normal = in.flag();
  f.hidden = in.flag();
  f.system = in.flag();
  return in.whole() && (f.dateMode == DateRadio::kAfter || f.dateMode == DateRadio::kBefore ||
                        f.dateMode == DateRadio::kBetween);
}

void EncodeCells(const RowCells& c, FrameWriter& out) {
  out.u32(c.volume);
  out.u32(c.record);
  for (const std::string* cell : {&c.name, &c.extension, &c.folder, &c.size, &c.creation,
                                  &c.lastChange, &c.lastAccess, &c.attributes}) {
    out.bytes(*cell);
  }
}

void DecodeCells(FrameReader& in, RowCells* c) {
  c->volume = in.u32();
  c->record = in.u32();
  for (std::string* cell : {&c->name, &c->extension, &c->folder, &c->size, &c->creation,
                            &c->lastChange, &c->lastAccess, &c->attributes}) {
    in.bytes(cell);
  }
}

}  // namespace vessiko
