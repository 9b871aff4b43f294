// `THttpPageSource`: the scraper's and the playlist reader's downloads over the HTTP client,
// with time limits and an abort that another thread may use.
//
// It owns one `THttpClient` (connect limit 10 s, read limit 20 s: a site that accepts and never
// answers must not freeze the window or the worker forever), its TLS transport (https checks
// the server's certificate against the system trust store and its host name) and one string
// stream into which every body is appended. A hostile site cannot hold or swamp it either: one
// document may take 60 s and 64 MB at most, and one that ends short of its announced length fails
// too. Everything but Abort runs on one thread; Abort on any.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "channels/channel_scraper.h"
#include "http/abortable_transport.h"
#include "http/byte_stream.h"
#include "http/http_client.h"

namespace qelvu {

class THttpPageSource : public TPageSource {
 public:
  static constexpr int kConnectTimeout = 10000;
  static constexpr int kReadTimeout = 20000;
  // One document from the connect to its last byte (a server dripping bytes resets no limit).
  static constexpr int kDocumentTimeout = 60000;
  static constexpr int64_t kMaxDocumentSize = int64_t{64} << 20;

  THttpPageSource();
  ~THttpPageSource() override;

  // Fails (ENetException) on a document over its time or size limit, or shorter than its
  // Content-Length; the page text then holds an unspecified part of it.
  void GetDocument(const std::string& url) override;
  std::string TakePageText() override;
  // Off by default: the directory site answers its own pages. Playlists are often published
  // behind redirects. Following stops, and the document fails, after the client's maximum.
  void SetFollowRedirects(bool follow) override;
  // The address the last document was finally read from: its URL, resolved through every
  // redirect followed.
  std::string DocumentUrl() const override { return document_url_; }
  // Shuts the connection's socket down, so a blocked read returns at once and fails; every
  // later connect fails too.
  void Abort() override;

 private:
  class PageStream;

  // Declared before the client, which uses it until its own destruction.
  std::unique_ptr<TAbortableTransport> transport_;
  THttpClient client_;
  std::unique_ptr<PageStream> page_;
  std::string document_url_;
};

}  // namespace qelvu
