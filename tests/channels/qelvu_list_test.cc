// qelvu-list run as a child process against local files and loopback servers.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "channels/channel_list.h"
#include "channels/playlist.h"
#include "support/loopback_server.h"
#include "support/temp_folder.h"
#include "support/tls_server.h"

namespace qelvu {
namespace {

namespace fs = std::filesystem;
using test::TLoopbackServer;
using test::TServerScript;

const fs::path kFixtures = QELVU_PLAYLIST_FIXTURES;

struct TRun {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Runs the tool on `sources`, its standard error going to a file in `scratch`; `environment`
// comes before the command ("NAME=value ...").
TRun RunList(const std::vector<std::string>& sources, const test::TTempFolder& scratch,
             const std::string& environment = "") {
  const fs::path err_file = scratch / "stderr.txt";
  std::string command = environment + " " + Quote(QELVU_LIST);
  for (const std::string& source : sources) command += " " + Quote(source);
  command += " 2>" + Quote(err_file.string());
  TRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    ADD_FAILURE() << "cannot start " << command;
    return run;
  }
  char chunk[4096];
  while (size_t n = fread(chunk, 1, sizeof chunk, pipe)) run.out.append(chunk, n);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.err = ReadFileBytes(err_file.string());
  return run;
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

TServerScript Answer(const std::string& body, const std::string& type = "audio/x-mpegurl") {
  return TServerScript()
      .ReadRequest()
      .Send("HTTP/1.1 200 OK\r\nContent-Type: " + type + "\r\nContent-Length: " +
            std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body)
      .Close();
}

TServerScript Redirect(const std::string& location) {
  return TServerScript()
      .ReadRequest()
      .Send("HTTP/1.1 302 Found\r\nLocation: " + location +
            "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
      .Close();
}

TEST(QelvuListTest, LocalPlaylists) {
  test::TTempFolder folder;
  // Named as a playlist, and one known by its header alone.
  WriteFile(folder / "tv.M3U8",
            "#EXTM3U\r\n#EXTINF:-1 group-title=\"News\",One\r\nstreams/one.ts\r\n"
            "#EXTINF:-1,Two\r\nhttp://s/two\r\n");
  WriteFile(folder / "more.txt",
            "\xEF\xBB\xBF#EXTM3U\n#EXTINF:-1 group-title=\"News\",Three\nhttp://s/three\n");
  const TRun run = RunList({(folder / "tv.M3U8").string(), (folder / "more.txt").string()}, folder);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  // Categories merge across sources in order of first appearance.
  EXPECT_EQ(run.out, "News\tOne\tfile://" + (folder / "streams/one.ts").string() +
                         "\nNews\tThree\thttp://s/three\n未分类\tTwo\thttp://s/two\n");
}

TEST(QelvuListTest, CommandLine) {
  test::TTempFolder folder;
  WriteFile(folder / "-dash.m3u", "http://s/1\n");
  const struct {
    std::vector<std::string> arguments;
    int status;
    std::string out;
    std::string err;
  } cases[] = {
      {{"--help"}, 0, "usage: qelvu-list", ""},
      {{"-h"}, 0, "usage: qelvu-list", ""},
      {{"--version"}, 0, "qelvu-list 3.2.0.0\n", ""},
      {{}, 2, "", "usage: qelvu-list"},
      {{"--verbose", "x.m3u"}, 2, "", "qelvu-list: unknown option --verbose"},
      // After "--" a file whose name starts with a dash is a source like any other.
      {{"--", "-dash.m3u"}, 0, "未分类\thttp://s/1\thttp://s/1\n", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    // The dashed file is named relative to the folder the tool runs in.
    const TRun run = RunList(c.arguments, folder, "cd " + Quote(folder.path().string()) + " &&");
    EXPECT_EQ(run.status, c.status);
    // Each stream starts with what is expected, and an empty expectation means nothing at all.
    for (const auto& [got, want] : {std::pair(run.out, c.out), std::pair(run.err, c.err)}) {
      if (want.empty())
        EXPECT_EQ(got, "");
      else
        EXPECT_EQ(got.rfind(want, 0), 0u) << got;
    }
  }
}

TEST(QelvuListTest, HttpPlaylistBehindRedirects) {
  TLoopbackServer server;
  server.AddConnection(Redirect("/moved/"));
  server.AddConnection(Redirect("list.m3u?v=2"));
  server.AddConnection(
      Answer("#EXTM3U\n#EXTINF:-1 group-title=\"Radio\",R\nr/1.aac\n"
             "#EXTINF:-1,Off\n[NO PUBLIC STREAM]\n"));
  test::TTempFolder folder;
  // No playlist extension: the text's header tells.
  const TRun run = RunList({server.Url("/get?id=7")}, folder);
  EXPECT_EQ(run.status, 0) << run.err;
  const std::string base = server.Url("/moved/");
  EXPECT_EQ(run.out,
            "Radio\tR\t" + base + "r/1.aac\n未分类\tOff\t" + base + "[NO PUBLIC STREAM]\n");
  const std::vector<std::string> requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[2].rfind("GET /moved/list.m3u?v=2 HTTP/1.1\r\n", 0), 0u) << requests[2];
}

TEST(QelvuListTest, HttpsPlaylistOnlyFromATrustedServer) {
  test::TTempFolder folder;
  // A test CA and a server certificate it signed for 127.0.0.1.
  const std::string ec = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2";
  WriteFile(folder / "server.ext", "subjectAltName=IP:127.0.0.1\n");
  for (const std::string& command :
       {"openssl req -x509" + ec + " -keyout ca.key -out ca.pem -subj /CN=QelvuListTestCA" +
            " -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign",
        "openssl req" + ec + " -keyout server.key -out server.csr -subj /CN=127.0.0.1",
        std::string("openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial"
                    " -days 2 -extfile server.ext -out server.pem")}) {
    const std::string line =
        "cd " + Quote(folder.path().string()) + " && " + command + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(line.c_str()), 0) << command;
  }
  const std::string body = "#EXTM3U\n#EXTINF:-1,Secure\nlive.m3u8\n";
  test::TTlsTestServer server(
      (folder / "server.pem").string(), (folder / "server.key").string(),
      "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
  const std::string url = "https://127.0.0.1:" + std::to_string(server.Port()) + "/tv/list.m3u";

  const TRun trusted = RunList({url}, folder, "SSL_CERT_FILE=" + (folder / "ca.pem").string());
  EXPECT_EQ(trusted.status, 0) << trusted.err;
  EXPECT_EQ(trusted.out, "未分类\tSecure\thttps://127.0.0.1:" + std::to_string(server.Port()) +
                             "/tv/live.m3u8\n");

  const TRun untrusted = RunList({url}, folder, "SSL_CERT_FILE=/dev/null SSL_CERT_DIR=/dev/null");
  EXPECT_EQ(untrusted.status, 1);
  EXPECT_EQ(untrusted.out, "");
  EXPECT_NE(untrusted.err.find("EOSSLConnectError"), std::string::npos) << untrusted.err;
}

TEST(QelvuListTest, DirectorySite) {
  const auto header = [](const std::string& name) {
    return "<div class=\"boxtop\" data-id=\"h\">" + name + "</div>";
  };
  const auto link = [](const std::string& suffix, const std::string& name) {
    return "<a id=\"c\" href=\"" + suffix + "\">" + name + "</a>";
  };
  // "中文" and "频道" in GBK.
  const std::string chinese = "\xD6\xD0\xCE\xC4";
  const std::string channel = "\xC6\xB5\xB5\xC0";
  TLoopbackServer server;
  server.AddConnection(Answer("<html>front</html>", "text/html; charset=gbk"));
  server.AddConnection(Answer(header(chinese) + link("tv/1.htm", "L1") + "\r\n" +
                                  link("tv/" + channel + ".htm", channel) + header("H2") +
                                  link("tv/3.htm", "L3"),
                              "text/html; charset=gbk"));
  test::TTempFolder folder;
  // The address without its final "/", as a user may type it.
  std::string site = server.Url("/");
  site.pop_back();
  const TRun run = RunList({site}, folder);
  EXPECT_EQ(run.status, 0) << run.err;
  const std::string base = server.Url("/");
  EXPECT_EQ(run.out, "中文\tL1\t" + base + "tv/1.htm\n中文\t频道\t" + base +
                         "tv/频道.htm\nH2\tL3\t" + base + "tv/3.htm\n");
  const std::vector<std::string> requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].rfind("GET /list.htm HTTP/1.1\r\n", 0), 0u);
}

TEST(QelvuListTest, FailingSources) {
  test::TTempFolder folder;
  WriteFile(folder / "good.m3u", "http://s/1\n");
  WriteFile(folder / "notes.txt", "hello\n");
  TLoopbackServer server;
  server.AddConnection(
      TServerScript()
          .ReadRequest()
          .Send("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
          .Close());
  // The directory's list page is cut short of its announced length.
  server.AddConnection(Answer("<html>", "text/html"));
  server.AddConnection(TServerScript()
                           .ReadRequest()
                           .Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npartial")
                           .Close());
  // A redirect loop, to the client's maximum of requests.
  for (int i = 0; i < 15; ++i) server.AddConnection(Redirect("/loop.m3u"));
  const std::string good = (folder / "good.m3u").string();
  const struct {
    const char* name;
    std::vector<std::string> sources;
    std::string message;
  } cases[] = {
      {"a missing file", {good, (folder / "gone.m3u").string()}, "gone.m3u"},
      {"a local file that is no playlist", {(folder / "notes.txt").string()}, "not a playlist"},
      {"an error status", {good, server.Url("/tv.m3u")}, "404"},
      {"a directory site cut short", {server.Url("/")}, "EConnClosedGracefully"},
      {"a redirect loop", {server.Url("/loop.m3u")}, "Too many redirects"},
      {"nothing listening", {"http://127.0.0.1:1/tv.m3u"}, "http://127.0.0.1:1/tv.m3u"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const TRun run = RunList(c.sources, folder);
    EXPECT_EQ(run.status, 1);
    // Nothing of a list that would be incomplete.
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("qelvu-list: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  }
}

TEST(QelvuListTest, PublishedPlaylistsOneLinePerChannel) {
  test::TTempFolder folder;
  for (const char* file : {"fanmingming-live-radio-index.m3u", "fanmingming-live-tv-global.m3u",
                           "fanmingming-live-tv-ipv6.m3u", "iptv-org-cn.m3u",
                           "imDazui-Tvlist-awesome-m3u-m3u8-1300.m3u"}) {
    SCOPED_TRACE(file);
    const std::string path = (kFixtures / file).string();
    std::string expected;
    for (const TPlaylistCategory& category : ParsePlaylist(ReadFileBytes(path), FileUrl(path))) {
      for (const TPlaylistEntry& channel : category.channels) {
        expected += category.name + "\t" + channel.name + "\t" + channel.url + "\n";
      }
    }
    const TRun run = RunList({path}, folder);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, expected);
  }
}

}  // namespace
}  // namespace qelvu
