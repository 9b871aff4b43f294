// A TLS server on 127.0.0.1 for tests of TLS clients, built on OpenSSL directly.
//
// `TTlsTestServer` serves every connection on its own thread: the TLS handshake with the given
// certificate and key, then, for each request head read, the same canned answer, until the
// peer closes. It keeps the request heads and the server name (SNI) each handshake offered.
// Reads are bounded in time so a silent client never holds a test. Only 127.0.0.1 is used.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ssl_ctx_st;
struct ssl_st;

namespace qelvu::test {

// How the server sends its answer and ends a connection.
struct TTlsAnswerStyle {
  // Above 0: the answer's TLS bytes go out one at a time, this many ms apart (a record that
  // arrives in parts), and the connection ends after them.
  int TrickleMs = 0;
  // Ends the connection after the first answer by closing the socket, without the TLS close
  // notice (what an attacker who cuts the connection leaves).
  bool CloseWithoutNotify = false;
};

class TTlsTestServer {
 public:
  TTlsTestServer(const std::string& cert_file, const std::string& key_file, std::string answer,
                 TTlsAnswerStyle style = {});
  ~TTlsTestServer();
  TTlsTestServer(const TTlsTestServer&) = delete;
  TTlsTestServer& operator=(const TTlsTestServer&) = delete;

  uint16_t Port() const { return port_; }
  std::vector<std::string> Requests();
  // The SNI name of every handshake attempt, "" when none was sent.
  std::vector<std::string> ServerNames();
  int Handshakes() const { return handshakes_.load(); }

 private:
  static int NoteServerName(ssl_st* ssl, int* alert, void* server);
  void AcceptLoop();
  void Serve(int client);
  // Sends the answer's encrypted bytes one at a time, TrickleMs apart.
  void Trickle(ssl_st* ssl, int client);

  ssl_ctx_st* context_ = nullptr;
  std::string answer_;
  TTlsAnswerStyle style_;
  int listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> handshakes_{0};
  std::mutex mutex_;
  std::vector<std::string> requests_;
  std::vector<std::string> server_names_;
  std::vector<std::thread> workers_;
  std::thread acceptor_;
};

}  // namespace qelvu::test
