#include "cli/service_session.h"

#include <algorithm>

namespace vessiko {

namespace {

// A rows answer is cut into frames of about this size, far below what a client reads.
constexpr size_t kRowsPartBytes = 256u << 10;
constexpr size_t kRowRoom = 8u << 10;

bool SameDrives(std::vector<DriveOption> a, std::vector<DriveOption> b) {
  const auto byLetter = [](const DriveOption& x, const DriveOption& y) {
    return x.letter < y.letter;
  };
  std::sort(a.begin(), a.end(), byLetter);
  std::sort(b.begin(), b.end(), byLetter);
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
    return x.letter == y.letter && x.directory == y.directory && x.ntfs == y.ntfs;
  });
}

}  // namespace

void SessionMessages::showStatus(std::string_view text) {
  std::lock_guard lock(mutex_);
  status_.assign(text);
}

void SessionMessages::showMessage(std::string_view caption, std::string_view text, MessageIcon) {
  std::lock_guard lock(mutex_);
  boxes_.push_back(Box{std::string(caption), std::string(text)});
}

bool SessionMessages::askYesNo(std::string_view caption, std::string_view text, MessageIcon icon) {
  showMessage(caption, text, icon);
  return false;
}

void SessionMessages::take(std::string* status, std::vector<Box>* boxes) {
  std::lock_guard lock(mutex_);
  status->swap(status_);
  status_.clear();
  boxes->swap(boxes_);
  boxes_.clear();
}

void ServiceSession::serve(int fd) {
  fd_ = fd;
  std::string body;
  for (;;) {
    const FrameRead read = ReadFrame(fd, kMaxRequestBytes, &body);
    if (read == FrameRead::kTooLarge) {
      refuse("vessiko", "the request is larger than the service takes", 2);
      return;
    }
    if (read != FrameRead::kFrame) return;
    FrameReader in(body);
    const MessageKind kind = in.kind();
    if (!in.ok() || (kind != MessageKind::kOpen && !session_)) {
      refuse("vessiko", "malformed request", 2);
      return;
    }
    bool goOn = false;
    switch (kind) {
      case MessageKind::kOpen:
        goOn = !session_ && open(in);
        break;
      case MessageKind::kSearch: {
        QueryTexts query;
        in.units(&query.name);
        in.units(&query.extension);
        goOn = in.whole() && search(&query);
        break;
      }
      case MessageKind::kToggles: {
        UiState& ui = session_->ui();
        const bool caseSensitive = in.flag();
        const bool folders = in.flag();
        const bool files = in.flag();
        // The window refuses turning off both; so does the session.
        goOn = in.whole() && (folders || files);
        if (!goOn) break;
        ui.caseSensitive = caseSensitive;
        ui.searchFolders = folders;
        ui.searchFiles = files;
        goOn = search(nullptr);
        break;
      }
      case MessageKind::kRefresh:
        goOn = in.whole() && refresh();
        break;
      case MessageKind::kRows:
        goOn = rows(in);
        break;
      default:
        refuse("vessiko", "unknown request", 2);
        break;
    }
    if (!goOn) {
      // Refused, a send that failed, or a request whose fields do not fit its frame.
      if (!refused_ && !in.whole()) refuse("vessiko", "malformed request", 2);
      return;
    }
  }
}

bool ServiceSession::open(FrameReader& in) {
  if (!DecodeOptions(in, &line_)) {
    return refuse("vessiko", "malformed options, or a vessiko of another version", 2);
  }
  if (line_.drivesGiven && !SameDrives(line_.drives, owner_.drives)) {
    return refuse("vessiko",
                  "the index of " + owner_.databaseFolder + " is owned by a process serving " +
                      DriveListText(owner_.drives) + "; give those drives, or none",
                  1);
  }
  line_.drives = owner_.drives;
  if (!AcceptOptions(line_, messages_)) return refuseWithBox(1);
  std::vector<char> scopeRoots;
  if (!face_.resolveScopes(line_.scopes, messages_, &scopeRoots)) return refuseWithBox(1);
  Engine& engine = face_.engine();
  search_ = std::make_unique<PrivateSearch>(engine, face_.folders(), messages_);
  session_ =
      std::make_unique<QuerySession>(engine, search_->context, search_->filter, search_->scopeView,
                                     line_, std::move(scopeRoots), face_.roots());
  session_->copyVolumeRows(engine.scope());
  session_->applyScope();
  FrameWriter opened(MessageKind::kOpened);
  return send(opened);
}

bool ServiceSession::search(const QueryTexts* query) {
  searchedAt_ = face_.changeCount();
  // Every search scans afresh: the session's lists are not refreshed by the monitors.
  if (query != nullptr) {
    session_->search(*query, session_->ui().indexChanged);
  } else {
    session_->searchAgain(session_->ui().indexChanged);
  }
  return answerSearch(true);
}

bool ServiceSession::refresh() {
  if (face_.changeCount() != searchedAt_) return search(nullptr);
  return answerSearch(false);
}

bool ServiceSession::answerSearch(bool changed) {
  std::string status;
  std::vector<SessionMessages::Box> boxes;
  messages_.take(&status, &boxes);
  FrameWriter out(MessageKind::kSearched);
  out.u8(changed);
  out.u32(session_->count());
  out.bytes(status);
  out.u32(static_cast<uint32_t>(boxes.size()));
  for (const SessionMessages::Box& box : boxes) {
    out.bytes(box.caption);
    out.bytes(box.text);
  }
  return send(out);
}

bool ServiceSession::rows(FrameReader& in) {
  const uint32_t first = in.u32();
  const uint32_t count = in.u32();
  const uint32_t wanted = in.u32() & kAllFileValues;
  const bool paths = in.flag();
  const char end = static_cast<char>(in.u8());
  if (!in.whole()) return false;
  const uint64_t last = std::min<uint64_t>(uint64_t{first} + count, session_->count());
  ResultCells& cells = session_->rows();
  uint32_t sent = 0;
  uint64_t row = first;
  while (row < last) {
    // Room for a row past the mark, at most a path's worth.
    FrameWriter part(MessageKind::kRowsPart, kRowsPartBytes + kRowRoom);
    part.u32(0);  // the number of rows, set below
    const size_t pathsAt = part.size();
    if (paths) part.u32(0);  // the length of the paths, set below
    uint32_t inPart = 0;
    for (; row < last && part.size() < kRowsPartBytes; ++row, ++inPart) {
      const auto at = static_cast<uint32_t>(row);
      if (!(paths ? face_.rowPath(cells, at, &cells_, &path_)
                  : cells.describe(at, &cells_, wanted))) {
        row = last;  // a count that lags behind the lists: the rows end here
        break;
      }
      if (paths) {
        part.raw(path_);
        part.u8(static_cast<uint8_t>(end));
      } else {
        EncodeCells(cells_, part);
      }
    }
    if (inPart == 0) break;
    part.setU32(kFirstField, inPart);
    if (paths) part.setU32(pathsAt, static_cast<uint32_t>(part.size() - pathsAt - 4));
    if (!send(part)) return false;
    sent += inPart;
  }
  FrameWriter done(MessageKind::kRowsEnd);
  done.u32(sent);
  return send(done);
}

bool ServiceSession::refuse(const std::string& caption, const std::string& text, int status) {
  refused_ = true;
  FrameWriter out(MessageKind::kError);
  out.bytes(caption);
  out.bytes(text);
  out.u8(static_cast<uint8_t>(status));
  send(out);
  return false;
}

bool ServiceSession::refuseWithBox(int status) {
  std::string ignored;
  std::vector<SessionMessages::Box> boxes;
  messages_.take(&ignored, &boxes);
  if (boxes.empty()) return refuse("vessiko", "the options are refused", status);
  return refuse(boxes.back().caption, boxes.back().text, status);
}

bool ServiceSession::send(FrameWriter& frame) {
  return WriteAll(fd_, frame.finish());
}

}  // namespace vessiko
