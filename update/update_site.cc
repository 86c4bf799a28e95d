#include "update/update_site.h"

#include "update_site_config.h"

namespace vessiko {

UpdateSite ConfiguredUpdateSite() {
  UpdateSite site;
  site.productHost = kConfiguredProductHost;
  site.statsHost = kConfiguredStatsHost;
  site.counterPath = kConfiguredCounterPath;
  return site;
}

std::string ProductPageUrl(const UpdateSite& site) {
  return "http://" + site.productHost + "/tova/";
}

}  // namespace vessiko
