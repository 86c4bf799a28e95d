// HttpClient: fetches one resource at a time with an HTTP/1.1 GET over a blocking TCP
// connection and hands back the body's bytes. No redirects, no chunked transfer: the body is
// exactly as long as its Content-Length. The connection is kept between Gets.
//
// A WinsockGuard must be alive while any client exists. Not thread-safe: one thread per client.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sockets.h"
#include "update/connection.h"
#include "update/http_limits.h"
#include "update/ipv4_address.h"

namespace vessiko {

class HttpClient {
 public:
  // Resolves the host and connects; a failure of either shows only in a later Get.
  HttpClient(const std::string& host, uint16_t port, const HttpLimits& limits = {},
             Sockets& sockets = SystemSockets());
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // Drops the current connection and connects anew; true when connected.
  bool reconnect();

  // GET path. True when the answer is a 200 with a Content-Length from 1 to maxBodyBytes and
  // that many bytes arrived: body then holds exactly them, and anything the server sent after
  // them stays unread. Otherwise false, with body as it was passed when the failure came
  // before the body, or resized and partly filled when it came while reading the body.
  // A Get that fails after its request went out drops the connection, whose next bytes are
  // then unknown; the next Get connects anew.
  bool get(std::string_view path, std::vector<uint8_t>& body);

  bool connected() const { return connection_ != nullptr; }

 private:
  bool exchange(const std::string& request, std::vector<uint8_t>& body);
  bool readHeader(std::vector<uint8_t>& header);

  Sockets& sockets_;
  HttpLimits limits_;
  Ipv4Address endpoint_;
  std::unique_ptr<Connection> connection_;
  std::string host_;
};

}  // namespace vessiko
