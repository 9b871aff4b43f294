// OpenSSL 3 loaded at run time: every entry point the TLS transport uses, resolved by name
// from libssl and libcrypto with dlopen, so a machine without the library still runs plain
// http. Loaded once per pair of library names and kept until the process ends. OpenSSL 3
// guards its own shared state, so no locking callbacks are installed. Any thread may load;
// the loaded table is read-only.
#pragma once

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

#include <string>

namespace qelvu {

#define QELVU_TLS_SSL_ENTRY_POINTS(X)       \
  X(OPENSSL_init_ssl)                       \
  X(TLS_method)                             \
  X(TLS_client_method)                      \
  X(TLS_server_method)                      \
  X(SSL_CTX_new)                            \
  X(SSL_CTX_free)                           \
  X(SSL_CTX_ctrl)                           \
  X(SSL_CTX_set_options)                    \
  X(SSL_CTX_set_default_verify_paths)       \
  X(SSL_CTX_load_verify_locations)          \
  X(SSL_CTX_use_certificate_file)           \
  X(SSL_CTX_use_PrivateKey_file)            \
  X(SSL_CTX_check_private_key)              \
  X(SSL_CTX_set_default_passwd_cb)          \
  X(SSL_CTX_set_default_passwd_cb_userdata) \
  X(SSL_CTX_set_info_callback)              \
  X(SSL_CTX_set_cipher_list)                \
  X(SSL_CTX_set_verify)                     \
  X(SSL_CTX_set_verify_depth)               \
  X(SSL_CTX_set_client_CA_list)             \
  X(SSL_load_client_CA_file)                \
  X(SSL_new)                                \
  X(SSL_free)                               \
  X(SSL_set_fd)                             \
  X(SSL_ctrl)                               \
  X(SSL_set1_host)                          \
  X(SSL_get0_param)                         \
  X(SSL_connect)                            \
  X(SSL_read)                               \
  X(SSL_peek)                               \
  X(SSL_write)                              \
  X(SSL_pending)                            \
  X(SSL_shutdown)                           \
  X(SSL_get_error)                          \
  X(SSL_get_verify_result)                  \
  X(SSL_get_current_cipher)                 \
  X(SSL_CIPHER_get_name)                    \
  X(SSL_CIPHER_description)                 \
  X(SSL_CIPHER_get_bits)                    \
  X(SSL_CIPHER_get_version)                 \
  X(SSL_state_string_long)

#define QELVU_TLS_CRYPTO_ENTRY_POINTS(X) \
  X(ERR_get_error)                       \
  X(ERR_peek_error)                      \
  X(ERR_error_string_n)                  \
  X(ERR_clear_error)                     \
  X(X509_VERIFY_PARAM_set1_ip_asc)       \
  X(X509_verify_cert_error_string)       \
  X(X509_STORE_CTX_get_current_cert)     \
  X(X509_STORE_CTX_get_error_depth)      \
  X(X509_get_subject_name)               \
  X(X509_get_issuer_name)                \
  X(X509_NAME_oneline)

struct TTlsLibrary {
  // The library loaded from the two files; raises EOSSLCouldNotLoadSSLLibrary "Could not load
  // SSL library." when a file or any entry point is missing.
  static const TTlsLibrary& Load(const std::string& ssl_name, const std::string& crypto_name);

#define QELVU_TLS_DECLARE(name) decltype(&::name) name = nullptr;
  QELVU_TLS_SSL_ENTRY_POINTS(QELVU_TLS_DECLARE)
  QELVU_TLS_CRYPTO_ENTRY_POINTS(QELVU_TLS_DECLARE)
#undef QELVU_TLS_DECLARE
};

}  // namespace qelvu
