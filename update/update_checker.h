// UpdateChecker: the usage ping and the version check, made once on a thread of their own
// after the main window shows. The ping's answer is ignored; a version file announcing a
// number above kCurrentVersion brings a question offering the product web page, which a Yes
// opens. Every failure is silent. With no host configured nothing happens and no socket is
// touched.
#pragma once

#include <thread>

#include "platform/sockets.h"
#include "platform/url_opener.h"
#include "platform/user_messages.h"
#include "update/http_limits.h"
#include "update/update_site.h"
#include "vessiko_version.h"

namespace vessiko {

// The version of this program; the version file's number is compared with it.
inline constexpr int kCurrentVersion = kVersionNumber;

inline constexpr char kVersionFilePath[] = "/tova/version.txt";

class UpdateChecker {
 public:
  UpdateChecker(UpdateSite site, UserMessages& messages, UrlOpener& opener = SystemUrlOpener(),
                const HttpLimits& limits = {}, Sockets& sockets = SystemSockets());

  // The whole check; returns when it is done, the question answered.
  void run();

 private:
  UpdateSite site_;
  UserMessages& messages_;
  UrlOpener& opener_;
  HttpLimits limits_;
  Sockets& sockets_;
};

// Runs the check on a thread of its own. The Windows program lets the thread go (detach);
// the Linux face and the tests join it. Whatever the checker refers to must outlive the
// thread. The limits bound how long it can take.
std::thread StartUpdateCheck(UpdateChecker checker);

// The same with the site of the build settings and the system's browser.
std::thread StartUpdateCheck(UserMessages& messages);

}  // namespace vessiko
