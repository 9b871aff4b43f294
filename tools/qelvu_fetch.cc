// qelvu-fetch URL [URL ...]: fetches every URL with one default client into one stream, the
// way the channel scraper does, and writes the stream to standard output. https URLs go over
// the TLS transport, which checks the server's certificate against the system trust store
// (OpenSSL's SSL_CERT_FILE and SSL_CERT_DIR name others) and its host name. On failure it
// names the exception's class and message on standard error and exits with 1.
#include <cstdio>
#include <exception>

#include "http/byte_stream.h"
#include "http/http_client.h"
#include "http/net_exceptions.h"
#include "http/tls_transport.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: qelvu-fetch URL [URL ...]\n");
    return 2;
  }
  qelvu::TStringStream stream;
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
  const std::string& bytes = stream.DataString();
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  return status;
}
