// A fresh folder for one test, named after the running test and removed with all it holds.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace qelvu::test {

class TTempFolder {
 public:
  TTempFolder()
      : path_(std::filesystem::temp_directory_path() /
              ("qelvu-" + std::to_string(::getpid()) + "-" + TestName())) {
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TTempFolder() {
    std::error_code ignored;
    // A test may have taken the write bit away to make a save fail.
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }

 private:
  static std::string TestName() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return info == nullptr ? "none" : std::string(info->test_suite_name()) + "-" + info->name();
  }

  std::filesystem::path path_;
};

}  // namespace qelvu::test
