// ServiceListener: the owner's side of the socket. Once the index is ready it listens on the
// database folder's socket (mode 0600) and gives each connection a ServiceSession on a thread
// of its own. A peer whose user is not the owner's (SO_PEERCRED) is refused before it can ask
// anything. The service, the view and the piped session run one while they own the index.
//
// Thread safety: start and stop on the owner's thread; the accept loop and the sessions run on
// threads of their own, which block SIGINT and SIGTERM so that the owner's thread receives
// them.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "cli/face.h"
#include "cli/index_owner.h"

namespace vessiko {

// Whether the peer of a connected Unix socket runs as `user`.
bool PeerIsUser(int fd, uid_t user);

class ServiceListener {
 public:
  // owner: the owning process's command line (its drives and database folder). user: whom to
  // serve.
  ServiceListener(Face& face, const CommandLine& owner, UserMessages& messages, uid_t user);
  ~ServiceListener();
  ServiceListener(const ServiceListener&) = delete;
  ServiceListener& operator=(const ServiceListener&) = delete;

  // Starts the thread that waits for the index and then listens.
  void start();
  // Stops listening, ends every session and waits for their threads; removes the socket.
  void stop();
  // The socket is up (for the service's status line and the tests).
  bool listening() const { return listening_; }

 private:
  struct Connection {
    int fd = -1;
    std::thread thread;
    std::atomic<bool> done{false};
  };
  void run();
  bool listen();
  void accept();
  void reapFinished();

  Face& face_;
  const CommandLine& owner_;
  UserMessages& messages_;
  uid_t user_;
  SocketAddress address_;
  int listener_ = -1;
  int stop_[2] = {-1, -1};
  std::thread thread_;
  std::atomic<bool> listening_{false};
  std::mutex connectionsLock_;
  std::list<Connection> connections_;
};

}  // namespace vessiko
