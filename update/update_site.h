// UpdateSite: where the update check goes. The hosts and the counter page are build settings
// (VESSIKO_PRODUCT_HOST, VESSIKO_STATS_HOST, VESSIKO_COUNTER_PATH), empty unless a build names
// them; an empty host means that request is not made.
#pragma once

#include <cstdint>
#include <string>

namespace vessiko {

struct UpdateSite {
  std::string productHost;  // the product web site, which serves the version file
  uint16_t productPort = 80;
  std::string statsHost;  // the web-statistics host, which counts the usage ping
  uint16_t statsPort = 80;
  std::string counterPath;  // "/" + counter number + ".asp"
};

// The site named by the build settings.
UpdateSite ConfiguredUpdateSite();

// The product web page: "http://" + product host + "/tova/".
std::string ProductPageUrl(const UpdateSite& site);

}  // namespace vessiko
