// The program's command line, parsed alone and answered by the real program.
#include "app/command_line.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

namespace qelvu {
namespace {

using TAction = TCommandLine::TAction;

TEST(CommandLineTest, Parse) {
  const struct {
    std::vector<std::string> arguments;
    TAction action;
    std::vector<std::string> playlists;
    std::string text;  // a part of what is printed
  } cases[] = {
      {{"qelvu"}, TAction::Run, {}, ""},
      {{"qelvu", "tv.m3u", "http://a.test/x.m3u8", "/电视/b.m3u"},
       TAction::Run,
       {"tv.m3u", "http://a.test/x.m3u8", "/电视/b.m3u"},
       ""},
      {{"qelvu", "--", "--odd-name.m3u"}, TAction::Run, {"--odd-name.m3u"}, ""},
      {{"qelvu", "--help"}, TAction::PrintAndExit, {}, "FILE_OR_URL"},
      {{"qelvu", "--help-all"}, TAction::PrintAndExit, {}, "FILE_OR_URL"},
      {{"qelvu", "--version"}, TAction::PrintAndExit, {}, "qelvu 3.2.0.0\n"},
      {{"qelvu", "--bogus"}, TAction::FailAndExit, {}, "bogus"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments.back());
    const TCommandLine command = ParseCommandLine(c.arguments);
    EXPECT_EQ(command.action, c.action);
    EXPECT_EQ(command.playlists, c.playlists);
    EXPECT_NE(command.text.find(c.text), std::string::npos) << command.text;
  }
}

// Without a display: --help and --version must not need one.
TEST(CommandLineTest, TheProgramAnswersHelpAndVersion) {
  for (const std::string option : {"--version", "--help"}) {
    SCOPED_TRACE(option);
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= '" +
                                std::string(QELVU_PROGRAM) + "' " + option + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char chunk[4096];
    while (size_t n = fread(chunk, 1, sizeof chunk, pipe)) out.append(chunk, n);
    const int status = pclose(pipe);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
    EXPECT_NE(out.find(option == "--version" ? "qelvu 3.2.0.0" : "--version"), std::string::npos)
        << out;
  }
}

}  // namespace
}  // namespace qelvu
