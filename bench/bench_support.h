// Shared pieces of the benchmark programs: a static-content HTTP server on 127.0.0.1, child
// process timing, medians, the figure lines that scripts/bench prints, and the synthetic channel
// directory the scrape and cache-start figures use.
//
// Figures are printed, never judged: nothing here fails a run because a number is slow.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "support/loopback_socket.h"

namespace qelvu::bench {

// Serves fixed bodies by path (the query is ignored) over HTTP/1.1 with Content-Length and
// keep-alive, one thread per connection, on an ephemeral port of 127.0.0.1 only. Paths are fixed
// before the server starts; an unknown path gets 404. Every loop wakes up every 100 ms to notice
// the destructor.
class TStaticServer {
 public:
  explicit TStaticServer(std::map<std::string, std::string> bodies);
  TStaticServer(const TStaticServer&) = delete;
  TStaticServer& operator=(const TStaticServer&) = delete;

  // "http://127.0.0.1:<port>" followed by `path`.
  std::string Url(const std::string& path) const { return acceptor_.Url(path); }
  int AcceptedConnections() const { return acceptor_.Accepted(); }

 private:
  void Serve(int client);

  const std::map<std::string, std::string> bodies_;
  test::TConnectionAcceptor acceptor_;  // last: its workers use the members above
};

// Wall and CPU (user + system) seconds of one finished child process.
struct TRunTimes {
  double wall = 0;
  double cpu = 0;
  int exit_code = 0;
};

// Runs `argv` with standard output sent to `stdout_path` (or captured into `captured` when
// that is given) and standard error to /dev/null, and waits for it.
TRunTimes RunProcess(const std::vector<std::string>& argv,
                     const std::string& stdout_path = "/dev/null", std::string* captured = nullptr);

// Seconds on a monotonic clock.
double Now();
double Median(std::vector<double> values);
// Peak resident set size of this process so far, in bytes.
int64_t PeakResidentBytes();
// Current resident set size of this process, in bytes.
int64_t ResidentBytes();

// Prints "<name>: ours <x> <unit>, anchor <y> <unit>, ratio <x/y> (target <target>)" on one line.
void PrintRatio(const std::string& name, double ours, double anchor, const std::string& unit,
                const std::string& target);
// Prints "<name>: <value> <unit> (target <target>)".
void PrintValue(const std::string& name, double value, const std::string& unit,
                const std::string& target);

// Repetitions per figure: $QELVU_BENCH_RUNS, else `fallback`.
int Runs(int fallback);

// The channel directory site in GBK: a small front page and a list page with `categories`
// category headers and `links` channel links spread evenly over them.
struct TDirectoryPages {
  std::string front;
  std::string list;
};
TDirectoryPages MakeDirectoryPages(int categories, int links);

// The cache text a scrape of MakeDirectoryPages(categories, links) writes.
std::string MakeCacheText(int categories, int links);

// The GBK name of channel `index` (used by the search figure to pick the last channel).
std::string ChannelName(int index);

}  // namespace qelvu::bench
