#include "browser/browser_options.h"

#include <gtest/gtest.h>

namespace qelvu {
namespace {

TEST(BrowserOptionsTest, UserInterfaceFlagWords) {
  struct Case {
    const char* name;
    TUserInterfaceOptions options;
    uint32_t expected;
  };
  const Case cases[] = {
      {"empty", {}, 0},
      {"channel pane", {EnablesFormsAutoComplete, EnableThemes}, 0x44000},
      {"notice pane",
       {DontUseScrollBars, EnablesFormsAutoComplete, DontUse3DBorders, EnableThemes},
       0x4400C},
      {"first member", {DisableTextSelect}, 0x1},
      // The table skips 0x8000 between these two neighbours.
      {"around the gap", {EnablesFormsAutoComplete, ForceSameWindowNavigation}, 0x14000},
      {"last member", {DisableFrame}, 0x200000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(UserInterfaceFlagWord(c.options), c.expected);
  }
}

TEST(BrowserOptionsTest, DownloadControlFlagWords) {
  struct Case {
    const char* name;
    TDownloadControlOptions options;
    uint32_t expected;
  };
  const Case cases[] = {
      {"empty", {}, 0},
      {"default", {DownloadImages, DownloadVideos, DownloadBGSounds}, 0x70},
      {"no scripts", {DontExecuteScripts}, 0x80},
      {"offline pair", {EnableUrlIfEncodingUTF8, ForceOfflineMode}, 0x10040000},
      {"last member", {WorkOffline}, 0x80000000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DownloadControlFlagWord(c.options), c.expected);
  }
}

TEST(BrowserOptionsTest, OptionSetIncludeExclude) {
  TIEPopupMenus menus{rcmImage};
  menus.Include(rcmAll);
  menus.Exclude(rcmImage);
  EXPECT_TRUE(menus.Contains(rcmAll));
  EXPECT_FALSE(menus.Contains(rcmImage));
  EXPECT_FALSE(menus.Empty());
}

}  // namespace
}  // namespace qelvu
