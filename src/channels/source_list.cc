#include "channels/source_list.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <unordered_map>
#include <utility>

#include "channels/channel_list.h"
#include "channels/key_value_pairs.h"

namespace qelvu {
namespace {

constexpr char kSourceKey[] = "source";
constexpr char kUserAgentKey[] = "user-agent";
constexpr char kRefererKey[] = "referer";

// The bytes an options field keeps as they are, by value: every channel's field is encoded.
constexpr std::array<bool, 256> kKeptAsIs = [] {
  std::array<bool, 256> kept{};
  for (int c = 0; c < 256; ++c) {
    kept[c] =
        (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
        std::string_view("-._~:/@!$'()*+,;").find(static_cast<char>(c)) != std::string_view::npos;
  }
  return kept;
}();

void AppendEncoded(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (kKeptAsIs[byte]) {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    }
  }
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string Decoded(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
        HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

void AppendPair(std::string& out, const char* key, std::string_view value) {
  if (value.empty()) return;
  if (!out.empty()) out += '&';
  out.append(key).append("=");
  AppendEncoded(out, value);
}

// The options field's source as it is written: "source=" and the encoded key, to be compared
// without decoding every channel's field.
std::string SourcePrefix(std::string_view source_key) {
  std::string prefix;
  AppendPair(prefix, kSourceKey, source_key);
  return prefix;
}

bool FromSource(const TListChannel& channel, std::string_view source_prefix) {
  if (source_prefix.empty()) return channel.options.empty();
  const std::string_view options = channel.options;
  return options.starts_with(source_prefix) &&
         (options.size() == source_prefix.size() || options[source_prefix.size()] == '&');
}

}  // namespace

std::string EncodeChannelOptions(const TChannelOptions& options) {
  std::string field;
  AppendPair(field, kSourceKey, options.source);
  AppendPair(field, kUserAgentKey, options.request.user_agent);
  AppendPair(field, kRefererKey, options.request.referer);
  return field;
}

TChannelOptions DecodeChannelOptions(std::string_view field) {
  TChannelOptions options;
  ForEachKeyValuePair(field, [&options](std::string_view key, std::string_view encoded) {
    std::string value = Decoded(encoded);
    if (key == kSourceKey) {
      options.source = std::move(value);
    } else if (key == kUserAgentKey) {
      options.request.user_agent = std::move(value);
    } else if (key == kRefererKey) {
      options.request.referer = std::move(value);
    }
  });
  return options;
}

bool IsPlaylistOptions(std::string_view field) {
  return !field.empty() && !DecodeChannelOptions(field).source.empty();
}

std::string ComposeCacheText(const TChannelList& list) {
  std::string text;
  for (const TListCategory& category : list) {
    for (const TListChannel& channel : category.channels) {
      text.append(ComposeCacheLine(category.name, channel.name, channel.target, channel.options))
          .append("\r\n");
    }
  }
  return text;
}

TChannelList ListFromTree(const TChannelTree& tree) {
  TChannelList list;
  const int count = tree.NodeCount();
  for (int i = 0; i < count; ++i) {
    const TreeNode node = tree.NodeAt(i);
    if (!node.IsChannel()) {
      list.push_back({tree.NodeText(node), {}});
      continue;
    }
    const std::string* options = tree.NodeOptions(node);
    list.back().channels.push_back(
        {tree.NodeText(node), *tree.NodeData(node), options ? *options : std::string()});
  }
  return list;
}

TChannelList ChannelsOf(const TChannelList& list, std::string_view source_key) {
  const std::string prefix = SourcePrefix(source_key);
  TChannelList own;
  for (const TListCategory& category : list) {
    TListCategory* kept = nullptr;
    for (const TListChannel& channel : category.channels) {
      if (!FromSource(channel, prefix)) continue;
      if (kept == nullptr) kept = &own.emplace_back(TListCategory{category.name, {}});
      kept->channels.push_back(channel);
    }
  }
  return own;
}

TChannelList ComposeList(std::vector<TChannelList> per_source) {
  TChannelList list;
  // The first category of each name among the sources already joined.
  std::unordered_map<std::string, size_t> earlier;
  for (TChannelList& source : per_source) {
    std::unordered_map<std::string, size_t> own;
    for (TListCategory& category : source) {
      const auto found = earlier.find(category.name);
      if (found == earlier.end()) {
        own.emplace(category.name, list.size());
        list.push_back(std::move(category));
        continue;
      }
      std::vector<TListChannel>& channels = list[found->second].channels;
      channels.insert(channels.end(), std::make_move_iterator(category.channels.begin()),
                      std::make_move_iterator(category.channels.end()));
    }
    earlier.merge(own);
  }
  return list;
}

TChannelList ListFromCacheText(std::string_view text) {
  TChannelList list;
  std::string previous;
  for (std::string_view line : SplitCacheLines(text)) {
    std::string category = GetField(line, "|", 1);
    if (category != previous) {
      list.push_back({category, {}});
      previous = std::move(category);
    }
    if (list.empty()) continue;
    std::string options = GetField(line, "|", 4);
    if (!IsPlaylistOptions(options)) options.clear();
    list.back().channels.push_back(
        {GetField(line, "|", 2), GetField(line, "|", 3), std::move(options)});
  }
  return list;
}

namespace {

// The positions of the longest strictly increasing run (not necessarily contiguous) in
// `values`, in order.
std::vector<size_t> LongestIncreasing(const std::vector<int>& values) {
  // tails[k]: the position ending the best run of length k + 1 found so far.
  std::vector<size_t> tails;
  std::vector<size_t> before(values.size(), SIZE_MAX);
  for (size_t i = 0; i < values.size(); ++i) {
    const auto place = std::lower_bound(tails.begin(), tails.end(), values[i],
                                        [&](size_t t, int v) { return values[t] < v; });
    if (place != tails.begin()) before[i] = *(place - 1);
    if (place == tails.end()) {
      tails.push_back(i);
    } else {
      *place = i;
    }
  }
  std::vector<size_t> run(tails.size());
  size_t at = tails.empty() ? SIZE_MAX : tails.back();
  for (size_t k = run.size(); k-- > 0; at = before[at]) run[k] = at;
  return run;
}

}  // namespace

TListChange DiffLists(const TChannelList& shown, const TChannelList& list) {
  TListChange change;
  change.shown_categories = shown.size();
  for (const TListCategory& category : shown) change.shown_channels += category.channels.size();
  change.categories.resize(list.size());

  // The n-th category of a name in the new list pairs with the n-th of that name shown.
  std::unordered_map<std::string_view, std::vector<int>> by_name;
  for (size_t j = shown.size(); j-- > 0;) by_name[shown[j].name].push_back(static_cast<int>(j));
  std::vector<size_t> paired;  // new categories with a partner, in order
  std::vector<int> partners;
  for (size_t i = 0; i < list.size(); ++i) {
    const auto found = by_name.find(list[i].name);
    if (found == by_name.end() || found->second.empty()) continue;
    paired.push_back(i);
    partners.push_back(found->second.back());
    found->second.pop_back();
  }
  // Nodes only stay where their order stays; a category that moved is made anew.
  std::vector<bool> kept(shown.size(), false);
  for (size_t k : LongestIncreasing(partners)) {
    const size_t i = paired[k];
    const int j = partners[k];
    kept[static_cast<size_t>(j)] = true;
    const std::vector<TListChannel>& before = shown[static_cast<size_t>(j)].channels;
    const std::vector<TListChannel>& after = list[i].channels;
    const size_t common = std::min(before.size(), after.size());
    size_t head = 0;
    while (head < common && before[head] == after[head]) ++head;
    size_t tail = 0;
    while (tail < common - head &&
           before[before.size() - 1 - tail] == after[after.size() - 1 - tail]) {
      ++tail;
    }
    change.categories[i] = {j, head, tail};
  }
  for (size_t j = 0; j < shown.size(); ++j) {
    if (!kept[j]) change.removed.push_back(static_cast<int>(j));
  }
  return change;
}

}  // namespace qelvu
