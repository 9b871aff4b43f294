// The files the channel list keeps: saves killed half-way leave nothing behind for long, and a
// failure dropped on purpose is written to its log category when someone asks for it.
#include <gtest/gtest.h>

#include <QLoggingCategory>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "channels/atomic_file.h"
#include "channels/dropped_failure.h"
#include "support/temp_folder.h"

namespace qelvu {
namespace {

namespace fs = std::filesystem;

TEST(UnfinishedReplacementTest, OnlyTheTemporaryFilesOfThatPathGo) {
  test::TTempFolder folder;
  const fs::path cache = folder / "QoviList.dat";
  WriteFileReplacing(cache.string(), "a|b|c|\r\n");
  struct Case {
    const char* name;
    bool removed;
  };
  const Case cases[] = {
      {"QoviList.dat.a1B2c3", true},    // what a killed save leaves
      {"QoviList.dat.XXXXXX", true},    // killed before the name was filled in
      {"QoviList.dat.a1B2c", false},    // five characters: not ours
      {"QoviList.dat.a1B2c3d", false},  // seven
      {"QoviList.dat.a1-2c3", false},   // not a letter or digit
      {"Other.dat.a1B2c3", false},      // another file's
      {"QoviList.dat.bak", false},
  };
  for (const Case& c : cases) std::ofstream(folder / c.name) << "x";
  fs::create_directory(folder / "QoviList.dat.folder");

  RemoveUnfinishedReplacements(cache.string());

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(fs::exists(folder / c.name), !c.removed);
  }
  EXPECT_TRUE(fs::exists(cache));
  EXPECT_TRUE(fs::exists(folder / "QoviList.dat.folder"));
  // A cache folder that does not exist yet holds nothing to remove.
  EXPECT_NO_THROW(RemoveUnfinishedReplacements((folder / "none" / "QoviList.dat").string()));
}

std::vector<std::string>* g_messages = nullptr;

void RecordMessage(QtMsgType, const QMessageLogContext& context, const QString& text) {
  g_messages->push_back(std::string(context.category) + ": " + text.toStdString());
}

TEST(DroppedFailureTest, IsSilentUntilItsCategoryIsTurnedOn) {
  std::vector<std::string> messages;
  g_messages = &messages;
  const QtMessageHandler previous = qInstallMessageHandler(RecordMessage);
  const auto fail = [] { throw std::runtime_error("Socket Error # 10061"); };

  EXPECT_FALSE(DropFailure(lcScrape(), "Scraping the channel directory", fail));
  EXPECT_TRUE(messages.empty());

  QLoggingCategory::setFilterRules(QStringLiteral("qelvu.*.info=true"));
  EXPECT_FALSE(DropFailure(lcScrape(), "Scraping the channel directory", fail));
  EXPECT_FALSE(DropFailure(lcRefresh(), "Starting the refresh", [] { throw 42; }));
  EXPECT_TRUE(DropFailure(lcList(), "Nothing", [] {}));
  QLoggingCategory::setFilterRules(QString());
  qInstallMessageHandler(previous);

  EXPECT_EQ(messages,
            (std::vector<std::string>{
                "qelvu.scrape: Scraping the channel directory failed: Socket Error # 10061",
                "qelvu.refresh: Starting the refresh failed: unknown failure"}));
}

}  // namespace
}  // namespace qelvu
