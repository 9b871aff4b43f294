// A whole server answer, cut into receives, read by the client over an in-memory transport.
#include <cstddef>
#include <cstdint>
#include <string>

#include "http/http_client.h"
#include "http/net_exceptions.h"
#include "http/transport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // The first byte picks how the answer is cut and whether the peer closes at its end.
  const size_t piece = 1 + (data[0] >> 1);
  const std::string answer(reinterpret_cast<const char*>(data) + 1, size - 1);
  qelvu::TMemoryTransport transport;
  transport.CloseAtEnd = (data[0] & 1) == 0;
  for (size_t at = 0; at < answer.size(); at += piece) transport.AddInput(answer.substr(at, piece));
  qelvu::THttpClient client;
  client.SetTransport(&transport);
  client.MaxHeaderBlockSize = 1 << 16;
  qelvu::TStringStream sink;
  try {
    client.GetDocument("http://h/", sink);
  } catch (const qelvu::ENetException&) {
  }
  return 0;
}
