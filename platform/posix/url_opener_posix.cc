#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/url_opener.h"

namespace vessiko {

namespace {

class PosixUrlOpener final : public UrlOpener {
 public:
  // The address goes to xdg-open as one argument, never through a shell. The child forks the
  // opener and leaves at once, so the opener belongs to init and never becomes our zombie, and
  // we wait only for that brief child.
  void openUrl(const std::string& url) override {
    char program[] = "xdg-open";
    char* const argv[] = {program, const_cast<char*>(url.c_str()), nullptr};
    const pid_t child = ::fork();
    if (child < 0) return;
    if (child == 0) {
      if (::fork() == 0) {
        ::execvp(program, argv);
        ::_exit(127);
      }
      ::_exit(0);
    }
    while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
};

}  // namespace

UrlOpener& SystemUrlOpener() {
  static PosixUrlOpener opener;
  return opener;
}

}  // namespace vessiko
