#include "cli/service_client.h"

#include <unistd.h>

#include <algorithm>

namespace vessiko {

namespace {

constexpr char kGone[] = "the process that owns the index has gone; its answer is not complete";
constexpr char kMalformed[] = "the owner of the index answered something malformed";
// What a paths answer reserves at most before its bytes come.
constexpr uint64_t kLargestReserve = 64u << 20;

}  // namespace

ServiceClient::~ServiceClient() {
  close(fd_);
}

bool ServiceClient::fail(const std::string& text) {
  if (!failed_) messages_.showMessage("vessiko", text, MessageIcon::kError);
  failed_ = true;
  return false;
}

bool ServiceClient::send(FrameWriter& request) {
  if (failed_) return false;
  return WriteAll(fd_, request.finish()) || fail(kGone);
}

bool ServiceClient::receive(FrameReader* answer, MessageKind* kind) {
  const FrameRead read = ReadFrame(fd_, kMaxAnswerBytes, &body_);
  if (read != FrameRead::kFrame) {
    return fail(read == FrameRead::kTooLarge ? "the owner of the index answered too much at once"
                                             : kGone);
  }
  *answer = FrameReader(body_);
  *kind = answer->kind();
  if (*kind != MessageKind::kError) return answer->ok() || fail(kMalformed);
  std::string caption;
  std::string text;
  answer->bytes(&caption);
  answer->bytes(&text);
  answer->u8();
  return fail(answer->whole() ? text : kMalformed);
}

bool ServiceClient::ask(FrameWriter& request, MessageKind expected, FrameReader* answer) {
  MessageKind kind;
  if (!send(request) || !receive(answer, &kind)) return false;
  return kind == expected || fail(kMalformed);
}

bool ServiceClient::open(const CommandLine& line, int* status) {
  toggles_ = SearchToggles{line.caseSensitive, line.folders, line.files};
  FrameWriter request(MessageKind::kOpen);
  EncodeOptions(line, request);
  if (WriteAll(fd_, request.finish()) &&
      ReadFrame(fd_, kMaxAnswerBytes, &body_) == FrameRead::kFrame) {
    FrameReader in(body_);
    const MessageKind kind = in.kind();
    if (kind == MessageKind::kOpened && in.whole()) return true;
    if (kind == MessageKind::kError) {
      std::string caption;
      std::string text;
      in.bytes(&caption);
      in.bytes(&text);
      const uint8_t code = in.u8();
      if (in.whole()) {
        // The refusal the process itself would have shown.
        messages_.showMessage(caption, text, MessageIcon::kError);
        failed_ = true;
        // A refusal never ends a run as a success.
        *status = code == 0 ? 1 : code;
        return false;
      }
    }
  }
  *status = -1;
  return false;
}

bool ServiceClient::readSearched(FrameReader& in) {
  const bool changed = in.flag();
  const uint32_t count = in.u32();
  std::string status;
  in.bytes(&status);
  const uint32_t boxes = in.count(8);
  std::vector<std::pair<std::string, std::string>> shown(boxes);
  for (auto& [caption, text] : shown) {
    in.bytes(&caption);
    in.bytes(&text);
  }
  if (!in.whole()) return fail(kMalformed);
  if (changed) {
    count_ = count;
    cachedCount_ = 0;
  }
  if (!status.empty()) messages_.showStatus(status);
  for (const auto& [caption, text] : shown)
    messages_.showMessage(caption, text, MessageIcon::kError);
  return true;
}

bool ServiceClient::search(const QueryTexts& query) {
  FrameWriter request(MessageKind::kSearch);
  request.units(query.name);
  request.units(query.extension);
  FrameReader in("");
  return ask(request, MessageKind::kSearched, &in) && readSearched(in);
}

bool ServiceClient::setToggles(const SearchToggles& toggles) {
  FrameWriter request(MessageKind::kToggles);
  request.u8(toggles.caseSensitive);
  request.u8(toggles.folders);
  request.u8(toggles.files);
  FrameReader in("");
  if (!ask(request, MessageKind::kSearched, &in) || !readSearched(in)) return false;
  toggles_ = toggles;
  return true;
}

void ServiceClient::refresh() {
  FrameWriter request(MessageKind::kRefresh);
  FrameReader in("");
  if (ask(request, MessageKind::kSearched, &in)) readSearched(in);
}

bool ServiceClient::fetch(uint32_t first, uint32_t wanted) {
  cachedCount_ = 0;
  cachedFirst_ = first;
  cachedWanted_ = wanted;
  FrameWriter request(MessageKind::kRows);
  request.u32(first);
  request.u32(runLength_);
  request.u32(wanted);
  request.u8(0);
  request.u8(0);
  if (!send(request)) return false;
  for (;;) {
    FrameReader in("");
    MessageKind kind;
    if (!receive(&in, &kind)) break;
    if (kind == MessageKind::kRowsEnd) {
      if (in.u32() == cachedCount_ && in.whole()) return holds(first, wanted);
    } else if (kind == MessageKind::kRowsPart) {
      // A row holds two numbers and the lengths of its eight cells at least.
      const uint32_t rows = in.count(2 * 4 + 8 * 4);
      if (cells_.size() < size_t{cachedCount_} + rows) cells_.resize(size_t{cachedCount_} + rows);
      for (uint32_t i = 0; i < rows && in.ok(); ++i, ++cachedCount_)
        DecodeCells(in, &cells_[cachedCount_]);
      if (in.whole()) continue;
    }
    fail(kMalformed);
    break;
  }
  cachedCount_ = 0;
  return false;
}

bool ServiceClient::describe(uint32_t row, uint32_t wanted, RowCells* cells) {
  if (failed_ || row >= count_) return false;
  // The run ends early when the results shrank meanwhile.
  if (!holds(row, wanted) && !fetch(row, wanted)) return false;
  *cells = cells_[row - cachedFirst_];
  return true;
}

uint32_t ServiceClient::appendPaths(uint32_t count, char end, std::string* out) {
  return appendPathsFrom(0, count, end, out);
}

uint32_t ServiceClient::appendPathsFrom(uint32_t first, uint32_t count, char end,
                                        std::string* out) {
  count = first < count_ ? std::min(count, count_ - first) : 0;
  if (failed_ || count == 0) return 0;
  FrameWriter request(MessageKind::kRows);
  request.u32(first);
  request.u32(count);
  request.u32(0);
  request.u8(1);
  request.u8(static_cast<uint8_t>(end));
  if (!send(request)) return 0;
  const size_t start = out->size();
  uint32_t appended = 0;
  for (;;) {
    FrameReader in("");
    MessageKind kind;
    if (!receive(&in, &kind)) break;
    if (kind == MessageKind::kRowsEnd) {
      if (in.u32() == appended && in.whole()) return appended;
    } else if (kind == MessageKind::kRowsPart) {
      const uint32_t rows = in.u32();
      const std::string_view paths = in.view();
      if (in.whole() && rows <= count - appended) {
        if (appended == 0 && rows > 0) {
          // The whole answer at the first part's bytes per row, within reason: one allocation
          // instead of a doubling string's.
          const uint64_t expected = paths.size() / rows * uint64_t{count} + paths.size();
          out->reserve(start + std::min<uint64_t>(expected, kLargestReserve));
        }
        out->append(paths);
        appended += rows;
        continue;
      }
    }
    fail(kMalformed);
    break;
  }
  // Nothing of an answer that did not come whole.
  out->resize(start);
  return 0;
}

bool ServiceClient::path(uint32_t row, std::string* out) {
  // NUL cannot occur in a path: the one path is the bytes before it.
  out->clear();
  if (appendPathsFrom(row, 1, '\0', out) != 1 || out->empty() || out->back() != '\0') {
    return false;
  }
  out->pop_back();
  return true;
}

}  // namespace vessiko
