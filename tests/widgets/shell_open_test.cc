#include "widgets/shell_open.h"

#include <gtest/gtest.h>

#include <QUrl>
#include <fstream>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace qelvu {
namespace {

TEST(ShellOpenTest, AddressForEachKindOfTarget) {
  struct Case {
    const char* target;
    const char* address;
  } cases[] = {
      {"pen.example", "http://pen.example"},  // a bare host name opens as a web site
      {"  pen.example/typing ", "http://pen.example/typing"},
      {"127.0.0.1:8080/pemblo/", "http://127.0.0.1:8080/pemblo/"},
      {"localhost:8080", "http://localhost:8080"},  // a port, not a scheme
      {"http://pen.example/", "http://pen.example/"},
      {"HTTPS://pen.example", "HTTPS://pen.example"},
      {"mailto:sales@pen.example", "mailto:sales@pen.example"},
      {"/no/such/file.htm", ""},
      {"", ""},
      {" \t ", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    EXPECT_EQ(ShellOpenAddress(c.target), c.address);
  }
}

TEST(ShellOpenTest, ExistingFileOpensAsFile) {
  test::TTempFolder folder;
  const std::string file = (folder / "notice.htm").string();
  ASSERT_TRUE(std::ofstream(file));
  const std::string address = ShellOpenAddress(file);
  EXPECT_EQ(QUrl(QString::fromStdString(address)).toLocalFile().toStdString(), file);
}

TEST(ShellOpenTest, OverrideSeesTheUntouchedTargetAndNests) {
  std::vector<std::string> outer_calls;
  std::vector<std::string> inner_calls;
  {
    TShellOpenOverride outer([&](const std::string& t) {
      outer_calls.push_back(t);
      return true;
    });
    {
      TShellOpenOverride inner([&](const std::string& t) {
        inner_calls.push_back(t);
        return false;
      });
      EXPECT_FALSE(ShellOpen(" pen.example "));
    }
    EXPECT_TRUE(ShellOpen("x"));
  }
  EXPECT_EQ(inner_calls, std::vector<std::string>{" pen.example "});
  EXPECT_EQ(outer_calls, std::vector<std::string>{"x"});
}

}  // namespace
}  // namespace qelvu
