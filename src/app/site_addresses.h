// The web addresses the program uses: fixed values, each replaceable by an environment variable
// for a mirror or a test (QELVU_DIRECTORY_URL, QELVU_NOTICE_URL, QELVU_SERVICE_URL,
// QELVU_PRODUCT_URL).
#pragma once

#include <string>

namespace qelvu {

struct TSiteAddresses {
  std::string DirectoryBaseUrl;  // "http://" host "/"; channel suffixes are appended to it
  std::string NoticePageUrl;     // the notice (weather) page shown in wb2
  std::string ServiceSiteUrl;    // "http://" host "/" of the telephony service
  std::string ProductLink;       // the typing-pen product site's bare host name

  // The service site's registration page.
  std::string RegistrationPageUrl() const { return ServiceSiteUrl + "registerForMobile.act"; }
  // The host name part of ServiceSiteUrl (between "://" and the next "/").
  std::string ServiceSiteHost() const;

  // The compiled-in values, with any QELVU_* variable of the environment taking precedence.
  static TSiteAddresses FromEnvironment();
};

}  // namespace qelvu
