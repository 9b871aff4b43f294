// `THttpPageSource`: the scraper's downloads over the HTTP client, with time limits and an
// abort that another thread may use.
//
// It owns one `THttpClient` (connect limit 10 s, read limit 20 s: a site that accepts and never
// answers must not freeze the window or the worker forever) and one string stream into which
// every body is appended. GetDocument and TakePageText run on one thread; Abort on any.
#pragma once

#include <memory>
#include <string>

#include "app/channel_scraper.h"
#include "http/byte_stream.h"
#include "http/http_client.h"

namespace qelvu {

class THttpPageSource : public TPageSource {
 public:
  static constexpr int kConnectTimeout = 10000;
  static constexpr int kReadTimeout = 20000;

  THttpPageSource();
  ~THttpPageSource() override;

  void GetDocument(const std::string& url) override;
  std::string TakePageText() override { return page_.TakeDataString(); }
  // Shuts the connection's socket down, so a blocked read returns at once and fails; every
  // later connect fails too.
  void Abort() override;

 private:
  class AbortableTransport;

  // Declared before the client, which uses it until its own destruction.
  std::unique_ptr<AbortableTransport> transport_;
  THttpClient client_;
  TStringStream page_;
};

}  // namespace qelvu
