#include "app/site_addresses.h"

#include <cstdlib>

namespace qelvu {
namespace {

std::string FromEnv(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : fallback;
}

}  // namespace

std::string TSiteAddresses::ServiceSiteHost() const {
  const size_t scheme = ServiceSiteUrl.find("://");
  const size_t start = scheme == std::string::npos ? 0 : scheme + 3;
  const size_t end = ServiceSiteUrl.find('/', start);
  return ServiceSiteUrl.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

TSiteAddresses TSiteAddresses::FromEnvironment() {
  return {FromEnv("QELVU_DIRECTORY_URL", "http://tv.qelvu.example/"),
          FromEnv("QELVU_NOTICE_URL", "http://weather.qelvu.example/tvtq/tq.asp"),
          FromEnv("QELVU_SERVICE_URL", "http://marvoli.example/"),
          FromEnv("QELVU_PRODUCT_URL", "www.pemblo.example")};
}

}  // namespace qelvu
