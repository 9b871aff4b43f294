// Where the instance socket may live, and how command-line sources travel to another process.
// The hand-off itself runs between two real programs in tests/e2e/single_instance_test.py.
#include "app/single_instance.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <filesystem>
#include <functional>

#include "support/temp_folder.h"

namespace qelvu {
namespace {

namespace fs = std::filesystem;

QString Q(const fs::path& path) { return QString::fromStdString(path.string()); }

TEST(SingleInstanceTest, FolderIsPrivateToTheUser) {
  test::TTempFolder temp;
  const QString uid = QString::number(::geteuid());
  struct Case {
    const char* name;
    QString runtime;
    std::function<void()> prepare;
    QString expected;
  };
  const fs::path runtime = temp / "runtime";
  fs::create_directories(runtime);
  const Case cases[] = {
      {"the runtime folder", Q(runtime), [] {}, Q(runtime / "qelvu")},
      {"no runtime folder: a private one under the temporary folder", "", [] {},
       Q(temp.path()) + "/qelvu-" + uid},
      {"a relative runtime folder counts as none", "run", [] {}, Q(temp.path()) + "/qelvu-" + uid},
      {"a folder others may enter", "",
       [&] { fs::permissions(temp / ("qelvu-" + uid.toStdString()), fs::perms(0755)); }, ""},
      {"a link planted in its place", "",
       [&] {
         fs::remove_all(temp / ("qelvu-" + uid.toStdString()));
         fs::create_directory(temp / "elsewhere");
         fs::permissions(temp / "elsewhere", fs::perms(0700));
         fs::create_directory_symlink(temp / "elsewhere", temp / ("qelvu-" + uid.toStdString()));
       },
       ""},
      {"a plain file in its place", Q(runtime),
       [&] {
         fs::remove_all(runtime / "qelvu");
         std::FILE* file = std::fopen((runtime / "qelvu").c_str(), "w");
         std::fclose(file);
       },
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.prepare();
    const QString folder = InstanceFolder(c.runtime, Q(temp.path()));
    EXPECT_EQ(folder.toStdString(), c.expected.toStdString());
    if (folder.isEmpty()) continue;
    struct stat info;
    ASSERT_EQ(::lstat(folder.toLocal8Bit().constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
  }
}

TEST(SingleInstanceTest, FolderOfAnotherUserIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can hand a folder to another user";
  test::TTempFolder temp;
  const fs::path folder = temp / "runtime" / "qelvu";
  fs::create_directories(folder);
  fs::permissions(folder, fs::perms(0700));
  ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
  EXPECT_EQ(InstanceFolder(Q(temp / "runtime"), Q(temp.path())).toStdString(), "");
}

TEST(SingleInstanceTest, SourcesTravelAsAnotherProcessCanReadThem) {
  const QString here = QDir::currentPath();
  const struct {
    QString argument;
    QString expected;
  } cases[] = {
      {"http://127.0.0.1/a.m3u?x=1", "http://127.0.0.1/a.m3u?x=1"},
      {"HTTPS://127.0.0.1/a%20b.m3u8", "HTTPS://127.0.0.1/a%20b.m3u8"},
      {"file:///srv/tv/a%20b.m3u", "/srv/tv/a b.m3u"},
      {"/srv/tv/list.m3u", "/srv/tv/list.m3u"},
      {"lists/list.m3u", here + "/lists/list.m3u"},
      {"./list.m3u", here + "/list.m3u"},
      {"频道 list.m3u", here + "/频道 list.m3u"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SourceFromArgument(c.argument).toStdString(), c.expected.toStdString())
        << c.argument.toStdString();
  }
}

}  // namespace
}  // namespace qelvu
