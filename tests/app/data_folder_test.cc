// The per-user data folder: made on first start (owner only), entered, and
// found from XDG_DATA_HOME or, when that is unset or relative, from HOME.
#include "app/data_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "tests/app/app_fixture.h"

namespace ck::app {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable for the test's length.
class EnvVar {
 public:
  EnvVar(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) ::setenv(name, value, 1);
    else ::unsetenv(name);
  }
  ~EnvVar() {
    if (old_) ::setenv(name_, old_->c_str(), 1);
    else ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(DataFolder, MadeOnFirstStartForItsOwnerAndEntered) {
  test::AppFolder folder;
  const fs::path base = folder.path() / "share";
  EnvVar xdg("XDG_DATA_HOME", base.c_str());
  std::string error;
  ASSERT_TRUE(EnterUserDataFolder(&error)) << error;
  EXPECT_EQ(fs::current_path(), base / "cellarkey");
  struct stat st {};
  ASSERT_EQ(::stat((base / "cellarkey").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  // A second start finds it.
  ASSERT_TRUE(EnterUserDataFolder(&error)) << error;

  EnvVar relative("XDG_DATA_HOME", "relative/share");
  EnvVar home("HOME", folder.path().c_str());
  EXPECT_EQ(UserDataFolder(), folder.path().string() + "/.local/share/cellarkey");
  // A file where the folder should be is reported, not entered.
  fs::create_directories(folder.path() / ".local/share");
  std::ofstream(folder.path() / ".local/share/cellarkey") << "x";
  EXPECT_FALSE(EnterUserDataFolder(&error));
  EXPECT_NE(error.find("cellarkey"), std::string::npos) << error;
  EnvVar noHome("HOME", nullptr);
  EXPECT_EQ(UserDataFolder(), "");
  EXPECT_FALSE(EnterUserDataFolder(&error));
}

}  // namespace
}  // namespace ck::app
