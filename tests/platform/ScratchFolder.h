// A fresh folder for one test, removed with everything in it afterwards.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "platform/Platform.h"

namespace testing_support {

class ScratchFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    dir_ =
        std::filesystem::temp_directory_path() / ("se_platform_test_" + std::to_string(random()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_, ignored)) {
      std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_write,
                                   std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(dir_, ignored);
  }
  // `name` inside the folder, in the platform's own spelling.
  std::string Path(const std::string& name) const {
    return dir_.string() + plat::kPathDelim + name;
  }
  std::string Dir() const { return dir_.string(); }
  // Makes a file holding `content` (through the standard library, not the code under test).
  void MakeFile(const std::string& name, const std::string& content = "abc") const;
  std::string ReadAll(const std::string& name) const;

  std::filesystem::path dir_;
};

}  // namespace testing_support
