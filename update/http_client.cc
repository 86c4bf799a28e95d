#include "update/http_client.h"

#include <cstring>

#include "update/leading_number.h"
#include "update/tcp_connection.h"

namespace vessiko {

namespace {

constexpr char kEndOfHeader[] = "\r\n\r\n";
constexpr std::string_view kContentLength = "\r\nContent-Length:";

// The three characters at offsets 9 to 11: the code of a status line "HTTP/1.1 200 ...".
// A header too short to have them has no status.
int StatusCode(std::string_view header) {
  return header.size() > 9 ? LeadingNumber(header.substr(9, 3)) : 0;
}

// The number after "\r\nContent-Length:" (spelled exactly so), after skipping the one
// character that follows the colon and up to the next carriage return; 0 without the field.
int ContentLength(std::string_view header) {
  const size_t field = header.find(kContentLength);
  if (field == std::string_view::npos) return 0;
  const size_t start = field + kContentLength.size() + 1;
  if (start >= header.size()) return 0;
  const std::string_view value = header.substr(start);
  return LeadingNumber(value.substr(0, value.find('\r')));
}

}  // namespace

HttpClient::HttpClient(const std::string& host, uint16_t port, const HttpLimits& limits,
                       Sockets& sockets)
    : sockets_(sockets),
      limits_(limits),
      endpoint_(host, port, sockets),
      connection_(Connect(endpoint_, limits.timeouts, sockets)),
      host_(host) {}

bool HttpClient::reconnect() {
  connection_.reset();
  connection_ = Connect(endpoint_, limits_.timeouts, sockets_);
  return connection_ != nullptr;
}

bool HttpClient::get(std::string_view path, std::vector<uint8_t>& body) {
  if (connection_ == nullptr && !reconnect()) return false;
  std::string request = "GET ";
  request.append(path);
  request.append(" HTTP/1.1\r\nHost: ");
  request.append(host_);
  request.append("\r\nConnection: Keep-Alive\r\n\r\n");
  if (exchange(request, body)) return true;
  connection_.reset();
  return false;
}

bool HttpClient::exchange(const std::string& request, std::vector<uint8_t>& body) {
  const auto deadline = std::chrono::steady_clock::now() + limits_.exchange;
  connection_->setDeadline(deadline);
  if (!connection_->sendAll(request.data(), request.size(), 0)) {
    if (!reconnect()) return false;
    connection_->setDeadline(deadline);
    if (!connection_->sendAll(request.data(), request.size(), 0)) return false;
  }

  std::vector<uint8_t> header;
  if (!readHeader(header)) return false;
  // The header is read as a C text: it ends at its first zero byte.
  std::string_view text(reinterpret_cast<const char*>(header.data()), header.size());
  text = text.substr(0, text.find('\0'));
  if (StatusCode(text) != 200) return false;
  const int length = ContentLength(text);
  if (length <= 0 || static_cast<size_t>(length) > limits_.maxBodyBytes) return false;
  body.resize(static_cast<size_t>(length));
  return connection_->receiveAll(body.data(), body.size(), 0);
}

// Byte by byte up to and including the empty line, so that nothing of the body is taken.
bool HttpClient::readHeader(std::vector<uint8_t>& header) {
  header.reserve(1024);
  for (;;) {
    if (header.size() == limits_.maxHeaderBytes) return false;
    uint8_t byte = 0;
    if (!connection_->receiveAll(&byte, 1, 0)) return false;
    header.push_back(byte);
    if (header.size() >= 4 &&
        std::memcmp(header.data() + header.size() - 4, kEndOfHeader, 4) == 0) {
      return true;
    }
  }
}

}  // namespace vessiko
