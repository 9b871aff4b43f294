#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/desktop_shortcut.h"
#include "app/file_version.h"
#include "channels/atomic_file.h"
#include "channels/channel_list.h"
#include "support/temp_folder.h"
#include "test_files.h"

namespace qelvu {
namespace {

namespace fs = std::filesystem;
using test::ReadText;

void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A fresh folder per test, removed afterwards.
class ShellTest : public ::testing::Test {
 protected:
  test::TTempFolder folder_;
};

TEST_F(ShellTest, VersionTextComesFromTheNoteAlone) {
  const std::string sample = QELVU_VERSION_SAMPLE;
  const std::string elf = ReadText(sample);
  WriteText(folder_ / "truncated", elf.substr(0, 200));
  WriteText(folder_ / "text", "3.2.0.0\n");
  const struct {
    std::string file;
    std::string version;
  } cases[] = {
      {sample, "1.65535.0.7"},
      {QELVU_PROGRAM, "3.2.0.0"},
      {"/proc/self/exe", ""},  // an ELF file without the note
      {(folder_ / "truncated").string(), ""},
      {(folder_ / "text").string(), ""},
      {(folder_ / "missing").string(), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    EXPECT_EQ(GetFileVersionString(c.file), c.version);
  }
}

TEST_F(ShellTest, LauncherIsRecreatedAtEveryStartAndPointsAtTheLatestProgram) {
  ::setenv("XDG_DESKTOP_DIR", folder_.path().c_str(), 1);
  const std::string name = "Qelvu网络电视播放器";
  CreateShortcut("/opt/old/qelvu", name, false);
  CreateShortcut("/opt/new place/qelvu", name, false);

  ASSERT_EQ(std::distance(fs::directory_iterator(folder_.path()), fs::directory_iterator()), 1);
  EXPECT_EQ(ReadText(folder_ / (name + ".desktop")),
            "[Desktop Entry]\nType=Application\nName=Qelvu网络电视播放器\n"
            "Exec=\"/opt/new place/qelvu\"\nPath=/opt/new place/\nTerminal=false\n");
}

TEST_F(ShellTest, LauncherExecQuotesWhatTheLauncherWouldExpand) {
  EXPECT_EQ(DesktopEntryText("/o/a$b\"c\\d%e", "n"),
            "[Desktop Entry]\nType=Application\nName=n\n"
            "Exec=\"/o/a\\\\$b\\\\\"c\\\\\\\\d%%e\"\nPath=/o/\nTerminal=false\n");
}

TEST_F(ShellTest, ReadOnlyLauncherIsLeftAlone) {
  ::setenv("XDG_DESKTOP_DIR", folder_.path().c_str(), 1);
  const fs::path launcher = folder_ / "Qelvu.desktop";
  WriteText(launcher, "mine");
  fs::permissions(launcher, fs::perms::owner_read | fs::perms::group_read);
  CreateShortcut("/opt/qelvu/qelvu", "Qelvu", false);
  EXPECT_EQ(ReadText(launcher), "mine");
}

TEST_F(ShellTest, LauncherInOwnFolderAndWithoutDesktop) {
  fs::create_directories(folder_ / "bin");
  CreateShortcut((folder_ / "bin" / "qelvu").string(), "Qelvu", true);
  EXPECT_TRUE(fs::exists(folder_ / "bin" / "Qelvu.desktop"));

  // A desktop folder that does not exist gets no launcher and no complaint.
  ::setenv("XDG_DESKTOP_DIR", (folder_ / "no-desktop").c_str(), 1);
  CreateShortcut("/opt/qelvu/qelvu", "Qelvu", false);
  EXPECT_FALSE(fs::exists(folder_ / "no-desktop"));
}

TEST_F(ShellTest, CacheSaveReplacesWholeAndCreatesTheFolder) {
  const fs::path cache = folder_ / "qelvu" / "QoviList.dat";
  WriteFileReplacing(cache.string(), "A|x|1|\r\n");
  WriteFileReplacing(cache.string(), "B|y|2|\r\n");
  EXPECT_EQ(ReadText(cache), "B|y|2|\r\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(cache.parent_path()), fs::directory_iterator()),
            1);
}

TEST_F(ShellTest, FailedCacheSaveLeavesThePreviousFileAndNoLeftovers) {
  // The target is a folder that cannot be replaced by a file; the folder's parent is a file.
  fs::create_directories(folder_ / "QoviList.dat");
  EXPECT_THROW(WriteFileReplacing((folder_ / "QoviList.dat").string(), "new"), std::runtime_error);
  EXPECT_TRUE(fs::is_directory(folder_ / "QoviList.dat"));
  WriteText(folder_ / "plain", "old");
  EXPECT_THROW(WriteFileReplacing((folder_ / "plain" / "QoviList.dat").string(), "new"),
               std::runtime_error);
  EXPECT_EQ(ReadText(folder_ / "plain"), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_.path()), fs::directory_iterator()), 2);
}

}  // namespace
}  // namespace qelvu
