// Listening sockets on 127.0.0.1 and waits that a stopping server notices, shared by the
// loopback servers of the tests and the benchmarks.
#pragma once

#include <atomic>
#include <cstdint>

namespace qelvu::test {

// Listens on an ephemeral 127.0.0.1 port with room for `backlog` pending connections; returns
// the socket and sets `port`. Throws std::runtime_error when that fails.
int ListenOnLoopback(int backlog, uint16_t& port);

// Waits in short steps until `handle` is readable (true) or `stop` is set or the wait fails
// (false).
bool WaitReadableUntil(int handle, const std::atomic<bool>& stop);

}  // namespace qelvu::test
