#include "cli/service_listener.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "cli/service_session.h"
#include "cli/stop_signals.h"

namespace vessiko {

namespace {

// More clients at once than any user runs: the rest are told so.
constexpr size_t kMaxSessions = 64;
constexpr int kReadyPollMilliseconds = 50;
constexpr std::chrono::seconds kGraceForClients{2};

// Starts a thread with SIGINT and SIGTERM blocked, so that they reach the owner's thread.
template <class Body>
std::thread ThreadWithoutStopSignals(Body body) {
  const sigset_t before = BlockStopSignals();
  std::thread thread(std::move(body));
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  return thread;
}

void Refuse(int fd, const std::string& text) {
  FrameWriter out(MessageKind::kError);
  out.bytes("vessiko");
  out.bytes(text);
  out.u8(1);
  WriteAll(fd, out.finish());
}

}  // namespace

bool PeerIsUser(int fd, uid_t user) {
  ucred peer{};
  socklen_t length = sizeof peer;
  return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 && length == sizeof peer &&
         peer.uid == user;
}

ServiceListener::ServiceListener(Face& face, const CommandLine& owner, UserMessages& messages,
                                 uid_t user)
    : face_(face),
      owner_(owner),
      messages_(messages),
      user_(user),
      address_(owner.databaseFolder) {}

ServiceListener::~ServiceListener() {
  stop();
}

void ServiceListener::start() {
  if (thread_.joinable() || pipe2(stop_, O_CLOEXEC) != 0) return;
  thread_ = ThreadWithoutStopSignals([this] { run(); });
}

void ServiceListener::stop() {
  if (!thread_.joinable()) return;
  // No new client from here on; one already queued is refused when the socket closes, and
  // tries again with the next owner.
  if (listening_) unlink(address_.path());
  const char one = 1;
  if (write(stop_[1], &one, 1) < 0) perror("vessiko: stopping the service");
  thread_.join();
  if (listener_ >= 0) close(listener_);
  listener_ = -1;
  listening_ = false;
  // A client in the middle of its answers gets a moment to finish; one that stays (a view) is
  // then cut off: a session blocked in a read or a write wakes with an error and ends.
  const auto deadline = std::chrono::steady_clock::now() + kGraceForClients;
  while (std::chrono::steady_clock::now() < deadline) {
    std::lock_guard lock(connectionsLock_);
    bool allDone = true;
    for (const Connection& c : connections_)
      allDone = allDone && c.done;
    if (allDone) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(kReadyPollMilliseconds));
  }
  {
    std::lock_guard lock(connectionsLock_);
    for (Connection& c : connections_)
      shutdown(c.fd, SHUT_RDWR);
  }
  for (Connection& c : connections_)
    c.thread.join();
  for (Connection& c : connections_)
    close(c.fd);
  connections_.clear();
  close(stop_[0]);
  close(stop_[1]);
}

void ServiceListener::run() {
  // Clients wait until the index can answer them.
  Lifecycle& lifecycle = face_.engine().lifecycle();
  for (;;) {
    pollfd stop{stop_[0], POLLIN, 0};
    if (poll(&stop, 1, lifecycle.ready() ? 0 : kReadyPollMilliseconds) > 0) return;
    if (lifecycle.ready()) break;
  }
  if (!listen()) return;
  for (;;) {
    pollfd fds[2] = {{stop_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0 && errno != EINTR) return;
    if ((fds[0].revents & POLLIN) != 0) return;
    if ((fds[1].revents & POLLIN) != 0) accept();
  }
}

bool ServiceListener::listen() {
  const auto fail = [this](const char* what) {
    messages_.showStatus(std::string("vessiko: cannot serve other processes: ") + what + ": " +
                         std::strerror(errno));
    return false;
  };
  if (!address_.valid()) return fail("the database folder");
  listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) return fail("socket");
  // The lock is held: a socket left there is a dead owner's.
  unlink(address_.path());
  if (bind(listener_, address_.address(), address_.length()) != 0) return fail("bind");
  if (chmod(address_.path(), 0600) != 0) return fail("chmod");
  if (::listen(listener_, SOMAXCONN) != 0) return fail("listen");
  listening_ = true;
  return true;
}

void ServiceListener::accept() {
  const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return;
  if (!PeerIsUser(fd, user_)) {
    Refuse(fd, "refused: this service answers only the user who runs it");
    close(fd);
    return;
  }
  reapFinished();
  std::lock_guard lock(connectionsLock_);
  if (connections_.size() >= kMaxSessions) {
    Refuse(fd, "too many clients at once; try again");
    close(fd);
    return;
  }
  Connection& c = connections_.emplace_back();
  c.fd = fd;
  c.thread = ThreadWithoutStopSignals([this, &c] {
    ServiceSession session(face_, owner_);
    session.serve(c.fd);
    c.done = true;
  });
}

void ServiceListener::reapFinished() {
  std::lock_guard lock(connectionsLock_);
  for (auto it = connections_.begin(); it != connections_.end();) {
    if (!it->done) {
      ++it;
      continue;
    }
    it->thread.join();
    close(it->fd);
    it = connections_.erase(it);
  }
}

}  // namespace vessiko
