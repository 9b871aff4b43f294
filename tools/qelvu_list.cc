// qelvu-list SOURCE...: prints the channel list the program builds from its sources, one
// channel a line, "category<TAB>name<TAB>URL" in UTF-8, in the order the program's tree shows
// them: each source's categories in source order, a category named like one of an earlier
// source's gathering this source's channels there.
//
// A SOURCE is a playlist when its path or URL ends in ".m3u" or ".m3u8" (any letter case, a
// query or fragment aside) or its text starts with "#EXTM3U"; otherwise it must be the base URL
// of a channel directory site (a missing final "/" is added), which is scraped as the program
// scrapes it. Local files are read from disk; http and https URLs go through the program's own
// page source, with the scraper's limits, playlists following redirects. https checks the
// server's certificate against the system trust store (OpenSSL's SSL_CERT_FILE and
// SSL_CERT_DIR name others). Directory channels print the page URL the pane would open.
//
// When any source fails (a source that gives no channel fails too, as in the program's
// refresh), nothing is printed: the failure goes to standard error and the exit status is 1.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "channels/channel_list.h"
#include "channels/channel_sources.h"
#include "channels/directory_client.h"
#include "channels/gbk.h"
#include "channels/source_list.h"

namespace qelvu {
namespace {

bool HasPlaylistExtension(std::string_view source, bool web) {
  if (web) source = source.substr(0, std::min(source.find_first_of("?#"), source.size()));
  const auto ends_with = [source](std::string_view suffix) {
    if (source.size() < suffix.size()) return false;
    const std::string_view tail = source.substr(source.size() - suffix.size());
    return std::equal(tail.begin(), tail.end(), suffix.begin(), [](char a, char b) {
      return std::tolower(static_cast<unsigned char>(a)) == b;
    });
  };
  return ends_with(".m3u") || ends_with(".m3u8");
}

bool StartsAsPlaylist(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  return text.substr(0, 7) == "#EXTM3U";
}

// The program's page source, with the front page, when already read to tell what the source
// is, served again rather than downloaded twice.
class TFrontPageReplay : public TPageSource {
 public:
  TFrontPageReplay(std::string front_url, std::optional<std::string> front_page)
      : front_url_(std::move(front_url)), front_page_(std::move(front_page)) {}

  void GetDocument(const std::string& url) override {
    if (front_page_ && url == front_url_) {
      text_ += *front_page_;
      front_page_.reset();
      return;
    }
    http_.GetDocument(url);
    text_ += http_.TakePageText();
  }
  std::string TakePageText() override { return std::move(text_); }
  void SetFollowRedirects(bool follow) override { http_.SetFollowRedirects(follow); }
  std::string DocumentUrl() const override { return http_.DocumentUrl(); }

 private:
  THttpPageSource http_;
  std::string front_url_;
  std::optional<std::string> front_page_;
  std::string text_;
};

// A directory's channels with their whole page URL as target, as the tool prints them.
TChannelList WithPageUrls(TChannelList list, const std::string& base_url) {
  const std::string base = Utf8ToGbk(base_url);
  for (TListCategory& category : list) {
    for (TListChannel& channel : category.channels) channel.target = base + channel.target;
  }
  return list;
}

TChannelList ReadSource(const std::string& given) {
  const bool web = IsWebAddress(given);
  const bool named_playlist = HasPlaylistExtension(given, web);
  if (!web) {
    std::string bytes;
    try {
      bytes = ReadFileBytes(given);
    } catch (const std::exception& failure) {
      throw ESourceFailed(failure.what());
    }
    if (!named_playlist && !StartsAsPlaylist(bytes)) {
      throw ESourceFailed(given +
                          ": not a playlist (a channel directory site must be an http or https "
                          "URL)");
    }
    const TChannelSource source = TChannelSource::Playlist(given);
    TChannelList list = PlaylistChannels(bytes, FileUrl(source.location), source.Key());
    RequireChannels(list, given);
    return list;
  }
  std::string url = given;
  // The program's directory address ends in "/", and the list page is named below it.
  if (!named_playlist && url.find('/', url.find("//") + 2) == std::string::npos) url += '/';
  THttpPageSource page;
  page.SetFollowRedirects(true);
  std::string text;
  try {
    page.GetDocument(url);
    text = page.TakePageText();
  } catch (const std::exception& failure) {
    throw ESourceFailed(url + ": " + DescribeFailure(failure));
  }
  if (named_playlist || StartsAsPlaylist(text)) {
    TChannelList list = PlaylistChannels(text, page.DocumentUrl(), url);
    RequireChannels(list, url);
    return list;
  }
  // A site answers its own address: a redirected one is fetched again, and fails, as the
  // program's scrape would.
  if (!url.ends_with('/')) url += '/';
  std::optional<std::string> front_page;
  if (page.DocumentUrl() == url) front_page = std::move(text);
  TFrontPageReplay pages(url, std::move(front_page));
  return WithPageUrls(ReadChannelSource(TChannelSource::Directory(), url, pages), url);
}

void Print(const TChannelList& list) {
  std::string out;
  for (const TListCategory& category : list) {
    const std::string name = GbkToUtf8(category.name);
    for (const TListChannel& channel : category.channels) {
      out.append(name).append("\t").append(GbkToUtf8(channel.name)).append("\t");
      out.append(GbkToUtf8(channel.target)).append("\n");
    }
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
}

}  // namespace
}  // namespace qelvu

namespace {

constexpr char kUsage[] =
    "usage: qelvu-list [--] SOURCE...\n"
    "Prints the channel list Qelvu builds from M3U/M3U8 playlists (files or http/https URLs)\n"
    "and channel directory sites, one category<TAB>name<TAB>URL line per channel.\n"
    "  -h, --help     print this text\n"
    "  --version      print the version\n";

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> sources;
  bool options_end = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (options_end || arg.empty() || arg[0] != '-' || arg == "-") {
      sources.emplace_back(arg);
    } else if (arg == "--") {
      options_end = true;
    } else if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--version") {
      std::puts("qelvu-list " QELVU_VERSION);
      return 0;
    } else {
      std::fprintf(stderr, "qelvu-list: unknown option %s\n%s", argv[i], kUsage);
      return 2;
    }
  }
  if (sources.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::vector<qelvu::TChannelList> per_source;
  for (const std::string& source : sources) {
    try {
      per_source.push_back(qelvu::ReadSource(source));
    } catch (const std::exception& failure) {
      std::fprintf(stderr, "qelvu-list: %s\n", failure.what());
      return 1;
    }
  }
  qelvu::Print(qelvu::ComposeList(std::move(per_source)));
  return std::fflush(stdout) == 0 ? 0 : 1;
}
