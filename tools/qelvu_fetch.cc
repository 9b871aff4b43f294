// qelvu-fetch URL [URL ...]: fetches every URL in turn with one default client, as the channel
// scraper does, and writes the bodies to standard output one after the other as they arrive:
// the page text the scraper would see. https URLs go over the TLS transport, which checks the
// server's certificate against the system trust store (OpenSSL's SSL_CERT_FILE and
// SSL_CERT_DIR name others) and its host name. On failure it names the exception's class and
// message on standard error and exits with 1; the bytes received until then have been written.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <stdexcept>

#include "http/byte_stream.h"
#include "http/http_client.h"
#include "http/net_exceptions.h"
#include "http/tls_transport.h"

namespace {

// Standard output as the client's sink, so that a body of any size needs no more memory than
// the connection's buffers. It only appends: a default client never rewinds its sink.
class TStdoutStream : public qelvu::TByteStream {
 public:
  int64_t Size() const override { return written_; }
  void SetSize(int64_t size) override { RequireEnd(size); }
  int64_t Position() const override { return written_; }
  void SetPosition(int64_t position) override { RequireEnd(position); }
  int64_t Read(void*, int64_t) override { return 0; }
  void Write(const void* buffer, int64_t count) override {
    if (count <= 0) return;
    // Straight to the descriptor: stdio would split every block at its own buffer's edge.
    const char* bytes = static_cast<const char*>(buffer);
    for (int64_t left = count; left > 0;) {
      const ssize_t n = ::write(STDOUT_FILENO, bytes, static_cast<size_t>(left));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) throw std::runtime_error("Cannot write to standard output");
      bytes += n;
      left -= n;
    }
    written_ += count;
  }

 private:
  void RequireEnd(int64_t at) const {
    if (at != written_) throw std::logic_error("Standard output cannot be rewound");
  }

  int64_t written_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: qelvu-fetch URL [URL ...]\n");
    return 2;
  }
  TStdoutStream stream;
  int status = 0;
  try {
    qelvu::TTlsTransport tls;
    qelvu::THttpClient client;
    client.SetTransport(&tls);
    for (int i = 1; i < argc; ++i) client.GetDocument(argv[i], stream);
  } catch (const qelvu::ENetException& failure) {
    std::fprintf(stderr, "%s: %s\n", failure.ClassName(), failure.what());
    status = 1;
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "%s\n", failure.what());
    status = 1;
  }
  std::fflush(stdout);
  return status;
}
