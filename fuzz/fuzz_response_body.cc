// Body bytes behind a fixed head of each framing: a length, chunked, or until the peer closes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "http/http_client.h"
#include "http/net_exceptions.h"
#include "http/transport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const std::string body(reinterpret_cast<const char*>(data) + 2, size - 2);
  std::string head;
  switch (data[0] % 3) {
    case 0:
      head = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(data[1]) + "\r\n\r\n";
      break;
    case 1:
      head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
      break;
    default:
      head = "HTTP/1.0 200 OK\r\n\r\n";
      break;
  }
  const size_t piece = 1 + (data[1] & 0x3f);
  qelvu::TMemoryTransport transport;
  transport.CloseAtEnd = (data[0] & 0x80) == 0;
  transport.AddInput(head);
  for (size_t at = 0; at < body.size(); at += piece) transport.AddInput(body.substr(at, piece));
  qelvu::THttpClient client;
  client.SetTransport(&transport);
  qelvu::TStringStream sink;
  try {
    client.GetDocument("http://h/", sink);
  } catch (const qelvu::ENetException&) {
  }
  return 0;
}
