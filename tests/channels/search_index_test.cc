// The search keys: what a typed query finds in a small channel list, the typing filter, and an
// alphabet large enough for every length of the keys' symbol code.
#include "channels/search_index.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "channels/gbk.h"

namespace qelvu {
namespace {

const std::vector<std::string> kNames = {
    "湖南卫视",                // 0
    "CCTV-1 综合",             // 1
    "ＣＣＴＶ－５ 体育",       // 2: full-width letters and dash
    "CCTV-10 科教",            // 3: added as GBK bytes
    "河南卫视",                // 4: the same initials as 0
    "绿色频道",                // 5: ü
    "重庆卫视",                // 6: a polyphone
    "Big B Radio - 中文流行",  // 7
    "Alpha Bravo Charlie Delta Echo Foxtrot Golf Hotel India Juliett Kilo 快乐大本营",  // 8
    "\xFF湖北",                                                                         // 9
};
constexpr int kGbkName = 3;

// Name 8 up to its Han characters, folded: 58 letters.
const std::string kLong = "alphabravocharliedeltaechofoxtrotgolfhotelindiajuliettkilo";

TSearchIndex BuildIndex() {
  TSearchIndexBuilder builder;
  for (int i = 0; i < static_cast<int>(kNames.size()); ++i) {
    if (i == kGbkName) {
      builder.AddGbk(Utf8ToGbk(kNames[i]));
    } else {
      builder.AddUtf8(kNames[i]);
    }
  }
  return builder.Build();
}

std::vector<int> All() {
  std::vector<int> all;
  for (int i = 0; i < static_cast<int>(kNames.size()); ++i) all.push_back(i);
  return all;
}

struct TSearchCase {
  std::string query;
  std::vector<int> found;
};

TEST(SearchIndex, FindsByCharactersAndPinyin) {
  // The fault byte matching had: 科教 is BF C6 BD CC in GBK, and its middle bytes C6 BD are 平.
  ASSERT_NE(Utf8ToGbk(kNames[kGbkName]).find(Utf8ToGbk("平")), std::string::npos);

  const TSearchCase cases[] = {
      // Characters, not bytes.
      {"平", {}},
      {"科教", {3}},
      {"卫视", {0, 4, 6}},
      // Case, width and separators.
      {"cctv", {1, 2, 3}},
      {"CcTv", {1, 2, 3}},
      {"ＣＣＴＶ", {1, 2, 3}},
      {"cctv5", {2}},
      {"CCTV-5", {2}},
      {"cctv1", {1, 3}},
      {"cctv-10科教", {3}},
      // Pinyin: full syllables, initials, any beginning of a syllable, mixed forms.
      {"hunan", {0}},
      {"hunanweishi", {0}},
      {"hunan weishi", {0}},
      {"hunanweis", {0}},
      {"hnws", {0, 4}},
      {"HNWS", {0, 4}},
      {"ｈｎｗｓ", {0, 4}},
      {"hunanws", {0}},
      {"hnweishi", {0, 4}},
      {"湖南ws", {0}},
      {"hu南weishi", {0}},
      {"nanws", {0, 4}},
      {"lvse", {5}},
      {"luse", {5}},
      // ICU reads 重 alone as zhòng, so 重庆 is "zhongqing" ("chongqing" is its reading only in
      // ICU's phrase rules, which a character on its own never meets).
      {"zhongqing", {6}},
      {"zqws", {6}},
      {"radio中文", {7}},
      {"radiozwlx", {7}},
      // A byte that is no UTF-8 is a character of its own.
      {"湖北", {9}},
      {"hubei", {9}},
      // A match starts at a character, never inside a syllable or past the name's end.
      {"unan", {}},
      {"hunanweishix", {}},
      {"xyz", {}},
      // Every channel for a query with nothing left to match.
      {"", All()},
      {" - ", All()},
      // Queries at and past the 63 characters of the bit-set matcher.
      {kLong + "kldby", {8}},
      {kLong + "kuailedabenying", {8}},
      {kLong.substr(1) + "kuail大by", {8}},
      {kLong + "kuailedabenyinx", {}},
      {kLong + kLong, {}},
  };
  const TSearchIndex index = BuildIndex();
  EXPECT_EQ(index.Size(), static_cast<int>(kNames.size()));
  for (const TSearchCase& search : cases) {
    EXPECT_EQ(index.Find(search.query), search.found) << "query \"" << search.query << "\"";
  }
}

TEST(SearchIndex, EmptyListFindsNothing) {
  const TSearchIndex indexes[] = {TSearchIndex(), TSearchIndexBuilder().Build()};
  for (const TSearchIndex& index : indexes) {
    EXPECT_EQ(index.Size(), 0);
    EXPECT_TRUE(index.Find("").empty());
    EXPECT_TRUE(index.Find("hunan").empty());
  }
  TSearchFilter filter;
  EXPECT_TRUE(filter.Update("hunan").empty());
}

// Typing narrows the previous matches; any other edit starts again, and each result is what a
// fresh search of the same text finds.
TEST(SearchIndex, FilterFollowsTyping) {
  auto index = std::make_shared<const TSearchIndex>(BuildIndex());
  TSearchFilter filter(index);
  std::string typed;
  for (char c : std::string("hunanweishi")) {
    typed.push_back(c);
    EXPECT_EQ(filter.Update(typed), index->Find(typed)) << typed;
  }
  EXPECT_EQ(filter.Matches(), std::vector<int>({0}));

  // Deleting and retyping: "hn" after "hunanweishi" must find 河南 again.
  EXPECT_EQ(filter.Update("hn"), std::vector<int>({0, 4}));
  EXPECT_EQ(filter.Update("hnw"), std::vector<int>({0, 4}));
  EXPECT_EQ(filter.Update(""), All());

  // A combining accent folds into the letter before it: "cafe" + U+0301 is "café", which is no
  // extension of "cafe".
  TSearchIndexBuilder builder;
  builder.AddUtf8("Café TV");
  builder.AddUtf8("Cafe Radio");
  filter.Reset(std::make_shared<const TSearchIndex>(builder.Build()));
  EXPECT_EQ(filter.Update("cafe"), std::vector<int>({1}));
  EXPECT_EQ(filter.Update("cafe\u0301"), std::vector<int>({0}));

  filter.Reset(nullptr);
  EXPECT_TRUE(filter.Update("cafe").empty());
}

// More distinct characters than the one- and two-byte symbols hold (private-use characters,
// which fold to themselves and have no pinyin).
TEST(SearchIndex, LargeAlphabet) {
  constexpr int kNamesOfPrivateUse = 300;
  constexpr int kPerName = 100;
  auto private_use = [](int i) {
    std::string utf8;
    const char32_t c = 0xF0000 + i;
    utf8 += static_cast<char>(0xF0 | (c >> 18));
    utf8 += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    utf8 += static_cast<char>(0x80 | (c & 0x3F));
    return utf8;
  };
  TSearchIndexBuilder builder;
  for (int name = 0; name < kNamesOfPrivateUse; ++name) {
    std::string text;
    for (int i = 0; i < kPerName; ++i) text += private_use(name * kPerName + i);
    builder.AddUtf8(text);
  }
  builder.AddUtf8("湖南卫视");
  const TSearchIndex index = builder.Build();

  const int last = kNamesOfPrivateUse * kPerName - 1;
  EXPECT_EQ(index.Find(private_use(0) + private_use(1)), std::vector<int>({0}));
  EXPECT_EQ(index.Find(private_use(last - 2) + private_use(last - 1) + private_use(last)),
            std::vector<int>({kNamesOfPrivateUse - 1}));
  EXPECT_TRUE(index.Find(private_use(last) + private_use(0)).empty());
  EXPECT_EQ(index.Find("hnws"), std::vector<int>({kNamesOfPrivateUse}));
}

}  // namespace
}  // namespace qelvu
