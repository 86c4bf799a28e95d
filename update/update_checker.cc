#include "update/update_checker.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "update/http_client.h"
#include "update/leading_number.h"
#include "update/winsock_guard.h"

namespace vessiko {

UpdateChecker::UpdateChecker(UpdateSite site, UserMessages& messages, UrlOpener& opener,
                             const HttpLimits& limits, Sockets& sockets)
    : site_(std::move(site)),
      messages_(messages),
      opener_(opener),
      limits_(limits),
      sockets_(sockets) {}

void UpdateChecker::run() {
  const bool ping = !site_.statsHost.empty() && !site_.counterPath.empty();
  const bool check = !site_.productHost.empty();
  if (!ping && !check) return;

  WinsockGuard winsock(sockets_);
  std::vector<uint8_t> response;
  std::optional<HttpClient> stats;
  if (ping) {
    stats.emplace(site_.statsHost, site_.statsPort, limits_, sockets_);
    stats->get(site_.counterPath, response);
    std::vector<uint8_t>().swap(response);
  }
  if (!check) return;

  HttpClient product(site_.productHost, site_.productPort, limits_, sockets_);
  if (!product.get(kVersionFilePath, response)) return;
  response.push_back(0);
  const std::string_view text(reinterpret_cast<const char*>(response.data()));
  if (LeadingNumber(text) <= kCurrentVersion) return;

  const std::string url = ProductPageUrl(site_);
  const std::string question = "Vessiko有新版本发布了.\n\n立即登陆" + url + " 查看。";
  if (messages_.askYesNoWithoutOwner("新版本下载", question, MessageIcon::kWarning))
    opener_.openUrl(url);
}

std::thread StartUpdateCheck(UpdateChecker checker) {
  return std::thread([checker = std::move(checker)]() mutable { checker.run(); });
}

std::thread StartUpdateCheck(UserMessages& messages) {
  return StartUpdateCheck(UpdateChecker(ConfiguredUpdateSite(), messages));
}

}  // namespace vessiko
