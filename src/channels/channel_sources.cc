#include "channels/channel_sources.h"

#include <QSettings>
#include <QString>
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "channels/channel_list.h"
#include "channels/gbk.h"
#include "http/net_exceptions.h"

namespace qelvu {
namespace {

namespace fs = std::filesystem;

constexpr char kSourcesArray[] = "sources";
constexpr char kKindKey[] = "kind";
constexpr char kLocationKey[] = "location";
constexpr char kDirectoryKind[] = "directory";
constexpr char kPlaylistKind[] = "playlist";

QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

// A '|' would end the cache field early; in a URL it is no delimiter, so its escaped form names
// the same resource.
std::string CacheSafeUrl(std::string url) {
  if (url.find('|') == std::string::npos) return url;
  std::string safe;
  safe.reserve(url.size() + 8);
  for (const char c : url) {
    if (c == '|') {
      safe += "%7C";
    } else {
      safe += c;
    }
  }
  return safe;
}

// An ASCII address moves instead of being copied.
std::string ToGbk(std::string text) {
  if (IsAscii(text)) return text;
  return Utf8ToGbk(text);
}

// A playlist's channels straight into list records.
class TListChannels final : public TPlaylistSink {
 public:
  explicit TListChannels(std::string_view source_key)
      : options_{std::string(source_key), {}}, source_only_(EncodeChannelOptions(options_)) {}

  void AddCategory(std::string_view name) override {
    list_.push_back(TListCategory{Utf8ToGbk(name), {}});
  }

  void AddChannel(size_t category, std::string_view name, std::string url,
                  const TRequestOptions& request) override {
    list_[category].channels.push_back(
        {Utf8ToGbk(name), ToGbk(CacheSafeUrl(std::move(url))), OptionsField(request)});
  }

  TChannelList Take() { return std::move(list_); }

 private:
  std::string OptionsField(const TRequestOptions& request) {
    if (request == TRequestOptions()) return source_only_;
    // The channels that need options mostly need the same.
    if (request != options_.request || options_field_.empty()) {
      options_.request = request;
      options_field_ = EncodeChannelOptions(options_);
    }
    return options_field_;
  }

  TChannelOptions options_;
  // Most channels need no request options: their field is the source's alone.
  const std::string source_only_;
  // The field of the last channel with request options, which are options_.request.
  std::string options_field_;
  TChannelList list_;
};

}  // namespace

bool IsWebAddress(std::string_view text) {
  return StartsWithNoCase(text, "http://") || StartsWithNoCase(text, "https://");
}

TChannelSource TChannelSource::Playlist(std::string_view given) {
  if (qelvu::IsWebAddress(given)) return {TKind::Playlist, std::string(given)};
  return {TKind::Playlist, fs::absolute(fs::path(given)).lexically_normal().string()};
}

bool TChannelSource::IsWebAddress() const { return qelvu::IsWebAddress(location); }

TSources TSources::Load(const std::string& settings_file) {
  std::error_code ignored;
  if (!fs::exists(settings_file, ignored)) return {};
  QSettings settings(Q(settings_file), QSettings::IniFormat);
  if (!settings.contains(QStringLiteral("%1/size").arg(QLatin1String(kSourcesArray)))) return {};
  TSources sources;
  sources.items_.clear();
  const int size = settings.beginReadArray(QLatin1String(kSourcesArray));
  for (int i = 0; i < size; ++i) {
    settings.setArrayIndex(i);
    const QString kind = settings.value(QLatin1String(kKindKey)).toString();
    const std::string location =
        settings.value(QLatin1String(kLocationKey)).toString().toStdString();
    if (kind == QLatin1String(kDirectoryKind)) {
      sources.Add(TChannelSource::Directory());
    } else if (kind == QLatin1String(kPlaylistKind) && !location.empty()) {
      sources.Add(TChannelSource::Playlist(location));
    }
  }
  settings.endArray();
  return sources;
}

void TSources::Save(const std::string& settings_file) const {
  std::error_code ignored;
  fs::create_directories(fs::path(settings_file).parent_path(), ignored);
  QSettings settings(Q(settings_file), QSettings::IniFormat);
  settings.remove(QLatin1String(kSourcesArray));
  settings.beginWriteArray(QLatin1String(kSourcesArray), static_cast<int>(items_.size()));
  for (size_t i = 0; i < items_.size(); ++i) {
    settings.setArrayIndex(static_cast<int>(i));
    const TChannelSource& source = items_[i];
    settings.setValue(QLatin1String(kKindKey),
                      QLatin1String(source.IsDirectory() ? kDirectoryKind : kPlaylistKind));
    if (!source.IsDirectory()) settings.setValue(QLatin1String(kLocationKey), Q(source.location));
  }
  settings.endArray();
  settings.sync();
  if (settings.status() != QSettings::NoError) {
    throw std::runtime_error("Cannot write the settings file \"" + settings_file + "\".");
  }
}

bool TSources::Contains(const TChannelSource& source) const {
  return std::find(items_.begin(), items_.end(), source) != items_.end();
}

bool TSources::Add(const TChannelSource& source) {
  if (Contains(source)) return false;
  items_.push_back(source);
  return true;
}

void TSources::Remove(size_t index) {
  if (index < items_.size()) items_.erase(items_.begin() + static_cast<ptrdiff_t>(index));
}

void TSources::Move(size_t from, size_t to) {
  if (from >= items_.size() || to >= items_.size()) return;
  const auto first = items_.begin();
  if (from < to) {
    std::rotate(first + static_cast<ptrdiff_t>(from), first + static_cast<ptrdiff_t>(from) + 1,
                first + static_cast<ptrdiff_t>(to) + 1);
  } else {
    std::rotate(first + static_cast<ptrdiff_t>(to), first + static_cast<ptrdiff_t>(from),
                first + static_cast<ptrdiff_t>(from) + 1);
  }
}

std::string GetSettingsFileName() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && *xdg != '\0') return std::string(xdg) + "/qelvu/qelvu.conf";
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/.config/qelvu/qelvu.conf";
}

std::string DescribeFailure(const std::exception& failure) {
  if (const auto* net = dynamic_cast<const ENetException*>(&failure)) {
    return std::string(net->ClassName()) + ": " + net->what();
  }
  return failure.what();
}

TChannelList PlaylistChannels(std::string_view bytes, std::string_view base_url,
                              std::string_view source_key) {
  TListChannels channels(source_key);
  ReadPlaylist(bytes, base_url, channels);
  return channels.Take();
}

TChannelList ReadChannelSource(const TChannelSource& source, const std::string& directory_base_url,
                               TPageSource& pages) {
  const std::string& name = source.IsDirectory() ? directory_base_url : source.location;
  TChannelList list;
  try {
    if (source.IsDirectory()) {
      pages.SetFollowRedirects(false);
      TChannelBatch batch;
      ScrapeDirectoryPages(pages, directory_base_url, batch);
      list = batch.TakeList();
    } else if (!source.IsWebAddress()) {
      list =
          PlaylistChannels(ReadFileBytes(source.location), FileUrl(source.location), source.Key());
    } else {
      pages.SetFollowRedirects(true);
      pages.GetDocument(source.location);
      list = PlaylistChannels(pages.TakePageText(), pages.DocumentUrl(), source.Key());
    }
  } catch (const std::exception& failure) {
    // The next source reads through the same pages: nothing of this one may stay in them.
    pages.TakePageText();
    if (!source.IsDirectory() && !source.IsWebAddress()) throw ESourceFailed(failure.what());
    throw ESourceFailed(name + ": " + DescribeFailure(failure));
  }
  RequireChannels(list, name);
  return list;
}

void RequireChannels(const TChannelList& list, const std::string& source_name) {
  const bool any = std::any_of(list.begin(), list.end(), [](const TListCategory& category) {
    return !category.channels.empty();
  });
  if (!any) throw ESourceFailed(source_name + ": no channel in it");
}

}  // namespace qelvu
