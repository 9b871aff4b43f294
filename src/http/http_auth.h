// The seam for credentials: a request (and later the proxy settings) may own one
// authentication scheme object whose value becomes the "Authorization" header.
#pragma once

#include <string>

namespace qelvu {

class THttpAuthentication {
 public:
  virtual ~THttpAuthentication() = default;
  // The header value for the next request; empty sends no header.
  virtual std::string AuthorizationValue() = 0;
  virtual void Reset() { Attempts = 0; }

  // Answers sent with this object since its last reset.
  int Attempts = 0;
};

}  // namespace qelvu
