#include "support/tls_server.h"

#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <stdexcept>

#include "support/loopback_socket.h"

namespace qelvu::test {

TTlsTestServer::TTlsTestServer(const std::string& cert_file, const std::string& key_file,
                               std::string answer, TTlsAnswerStyle style)
    : answer_(std::move(answer)), style_(style) {
  // A client that drops the connection must not end the test process on the next write.
  std::signal(SIGPIPE, SIG_IGN);
  context_ = SSL_CTX_new(TLS_server_method());
  if (!context_ || SSL_CTX_use_certificate_chain_file(context_, cert_file.c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(context_, key_file.c_str(), SSL_FILETYPE_PEM) != 1) {
    SSL_CTX_free(context_);
    throw std::runtime_error("TLS test server: certificate or key not usable");
  }
  try {
    listener_ = ListenOnLoopback(16, port_);
  } catch (...) {
    SSL_CTX_free(context_);
    throw;
  }
  // The name is noted while the client's first message is read, before the client can see a
  // certificate to reject, so a test finds it even after a failed handshake.
  SSL_CTX_set_tlsext_servername_arg(context_, this);
  SSL_CTX_set_tlsext_servername_callback(context_, &TTlsTestServer::NoteServerName);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

TTlsTestServer::~TTlsTestServer() {
  stop_ = true;
  acceptor_.join();
  for (std::thread& worker : workers_) worker.join();
  ::close(listener_);
  SSL_CTX_free(context_);
}

std::vector<std::string> TTlsTestServer::Requests() {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

int TTlsTestServer::NoteServerName(SSL* ssl, int* /*alert*/, void* server) {
  const char* name = SSL_get_servername(ssl, TLSEXT_NAMETYPE_host_name);
  auto* self = static_cast<TTlsTestServer*>(server);
  std::lock_guard<std::mutex> lock(self->mutex_);
  self->server_names_.push_back(name ? name : "");
  return SSL_TLSEXT_ERR_OK;
}

std::vector<std::string> TTlsTestServer::ServerNames() {
  std::lock_guard<std::mutex> lock(mutex_);
  return server_names_;
}

void TTlsTestServer::AcceptLoop() {
  while (WaitReadableUntil(listener_, stop_)) {
    int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client >= 0) workers_.emplace_back([this, client] { Serve(client); });
  }
}

void TTlsTestServer::Serve(int client) {
  // Every blocking read gives up after a while, so the server always ends.
  timeval limit{5, 0};
  ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  SSL* ssl = SSL_new(context_);
  SSL_set_fd(ssl, client);
  if (SSL_accept(ssl) == 1) {
    ++handshakes_;
    std::string pending;
    char chunk[4096];
    while (!stop_) {
      size_t end = pending.find("\r\n\r\n");
      if (end != std::string::npos) {
        {
          std::lock_guard<std::mutex> lock(mutex_);
          requests_.push_back(pending.substr(0, end + 4));
        }
        pending.erase(0, end + 4);
        if (style_.TrickleMs > 0) {
          Trickle(ssl, client);
          break;
        }
        SSL_write(ssl, answer_.data(), static_cast<int>(answer_.size()));
        if (style_.CloseWithoutNotify) break;
        continue;
      }
      if (SSL_pending(ssl) == 0 && !WaitReadableUntil(client, stop_)) break;
      int n = SSL_read(ssl, chunk, sizeof chunk);
      if (n <= 0) break;
      pending.append(chunk, static_cast<size_t>(n));
    }
    if (style_.TrickleMs == 0 && !style_.CloseWithoutNotify) SSL_shutdown(ssl);
  }
  SSL_free(ssl);
  ::close(client);
}

void TTlsTestServer::Trickle(SSL* ssl, int client) {
  // The records are written into memory first, so their bytes can be sent one by one.
  BIO* records = BIO_new(BIO_s_mem());
  SSL_set0_wbio(ssl, records);
  SSL_write(ssl, answer_.data(), static_cast<int>(answer_.size()));
  char byte;
  while (!stop_ && BIO_read(records, &byte, 1) == 1) {
    if (::send(client, &byte, 1, MSG_NOSIGNAL) != 1) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(style_.TrickleMs));
  }
}

}  // namespace qelvu::test
