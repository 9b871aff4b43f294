// HTTP figures: one large GET and many small kept-alive GETs by qelvu-fetch, each against curl
// fetching the same URLs from the same loopback server, runs interleaved.
//
// Usage: http_bench [--megabytes N] [--small-gets N]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"

namespace qelvu::bench {
namespace {

struct TSeries {
  std::vector<double> wall;
  std::vector<double> cpu;
  void Add(const TRunTimes& times) {
    wall.push_back(times.wall);
    cpu.push_back(times.cpu);
  }
};

TRunTimes Checked(const std::vector<std::string>& argv) {
  const TRunTimes times = RunProcess(argv);
  if (times.exit_code != 0) {
    std::fprintf(stderr, "http_bench: %s failed (exit %d)\n", argv[0].c_str(), times.exit_code);
    std::exit(1);
  }
  return times;
}

void LargeGet(TStaticServer& server, int megabytes, int runs) {
  const std::string url = server.Url("/large");
  TSeries ours, curl;
  for (int run = 0; run < runs; ++run) {
    ours.Add(Checked({QELVU_FETCH, url}));
    curl.Add(Checked({"curl", "-s", "-o", "/dev/null", url}));
  }
  const std::string name = "HTTP GET " + std::to_string(megabytes) + " MB";
  PrintRatio(name + " time", Median(ours.wall) * 1000, Median(curl.wall) * 1000, "ms",
             "ratio <= 1.2");
  const double gigabytes = megabytes / 1024.0;
  PrintRatio(name + " CPU", Median(ours.cpu) / gigabytes, Median(curl.cpu) / gigabytes, "s/GB",
             "none");
}

void SmallGets(TStaticServer& server, int count, int runs) {
  std::vector<std::string> ours_argv = {QELVU_FETCH};
  std::string config;
  for (int i = 0; i < count; ++i) {
    const std::string url = server.Url("/small?n=" + std::to_string(i));
    ours_argv.push_back(url);
    config += "url = \"" + url + "\"\noutput = \"/dev/null\"\n";
  }
  char config_path[] = "/tmp/qelvu-bench-curl-XXXXXX";
  const int fd = ::mkstemp(config_path);
  if (fd < 0) std::exit(1);
  ::close(fd);
  std::ofstream(config_path) << config;

  TSeries ours, curl;
  int ours_connections = 0, curl_connections = 0;
  for (int run = 0; run < runs; ++run) {
    int before = server.AcceptedConnections();
    ours.Add(Checked(ours_argv));
    ours_connections = server.AcceptedConnections() - before;
    before = server.AcceptedConnections();
    curl.Add(Checked({"curl", "-s", "--config", config_path}));
    curl_connections = server.AcceptedConnections() - before;
  }
  ::unlink(config_path);
  PrintRatio(std::to_string(count) + " kept-alive small GETs", Median(ours.wall) * 1000,
             Median(curl.wall) * 1000, "ms", "ratio <= 1.5");
  std::printf("  connections per run: ours %d, curl %d\n", ours_connections, curl_connections);
}

}  // namespace
}  // namespace qelvu::bench

int main(int argc, char** argv) {
  using namespace qelvu::bench;
  int megabytes = 256;
  int small_gets = 2000;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--megabytes") == 0) megabytes = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--small-gets") == 0) small_gets = std::atoi(argv[i + 1]);
  }
  std::string large(static_cast<size_t>(megabytes) << 20, '\0');
  for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>('a' + i % 26);
  TStaticServer server({{"/large", std::move(large)}, {"/small", std::string(512, 'x')}});
  LargeGet(server, megabytes, Runs(5));
  SmallGets(server, small_gets, Runs(5));
  return 0;
}
