#include "http/tls_library.h"

#include <dlfcn.h>

#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "http/net_exceptions.h"

namespace qelvu {
namespace {

[[noreturn]] void RaiseCouldNotLoad() {
  throw EOSSLCouldNotLoadSSLLibrary("Could not load SSL library.");
}

// A library handle that is closed unless the load succeeds as a whole.
class TLibraryHandle {
 public:
  explicit TLibraryHandle(const std::string& name)
      : handle_(dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (!handle_) RaiseCouldNotLoad();
  }
  ~TLibraryHandle() {
    if (handle_) dlclose(handle_);
  }
  TLibraryHandle(const TLibraryHandle&) = delete;
  TLibraryHandle& operator=(const TLibraryHandle&) = delete;

  template <typename F>
  void Resolve(F& entry, const char* name) {
    entry = reinterpret_cast<F>(dlsym(handle_, name));
    if (!entry) RaiseCouldNotLoad();
  }
  // The library stays loaded for the process: contexts and callbacks may outlive any owner.
  void Keep() { handle_ = nullptr; }

 private:
  void* handle_;
};

}  // namespace

const TTlsLibrary& TTlsLibrary::Load(const std::string& ssl_name, const std::string& crypto_name) {
  static std::mutex mutex;
  static std::map<std::pair<std::string, std::string>, std::unique_ptr<TTlsLibrary>> loaded;
  std::lock_guard<std::mutex> lock(mutex);
  std::unique_ptr<TTlsLibrary>& slot = loaded[{ssl_name, crypto_name}];
  if (slot) return *slot;
  auto library = std::make_unique<TTlsLibrary>();
  TLibraryHandle crypto(crypto_name);
  TLibraryHandle ssl(ssl_name);
#define QELVU_TLS_RESOLVE_SSL(name) ssl.Resolve(library->name, #name);
#define QELVU_TLS_RESOLVE_CRYPTO(name) crypto.Resolve(library->name, #name);
  QELVU_TLS_SSL_ENTRY_POINTS(QELVU_TLS_RESOLVE_SSL)
  QELVU_TLS_CRYPTO_ENTRY_POINTS(QELVU_TLS_RESOLVE_CRYPTO)
#undef QELVU_TLS_RESOLVE_SSL
#undef QELVU_TLS_RESOLVE_CRYPTO
  if (library->OPENSSL_init_ssl(0, nullptr) != 1) RaiseCouldNotLoad();
  crypto.Keep();
  ssl.Keep();
  slot = std::move(library);
  return *slot;
}

}  // namespace qelvu
