#include "runtime/ini_file.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace ck {
namespace {

class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/ck_ini_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    file_ = dir_ + "/settings.ini";
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  void Put(const std::string& content) { std::ofstream(file_, std::ios::binary) << content; }
  std::string Get() const {
    std::ifstream in(file_, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    DIR* d = opendir(dir_.c_str());
    while (dirent* e = readdir(d)) {
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    }
    closedir(d);
    return names;
  }

  std::string dir_;
  std::string file_;
};

TEST_F(IniFileTest, MissingFileSectionOrKeyGivesTheDefault) {
  EXPECT_EQ(ReadIniString(file_, "Ada Quillon - Password Control", "Pwd", "qelvant"), "qelvant");
  EXPECT_TRUE(Entries().empty());  // reading creates nothing
  Put("[Other]\nPwd=x\n[Ada Quillon - Password Control]\nUser=me\n");
  EXPECT_EQ(ReadIniString(file_, "Ada Quillon - Password Control", "Pwd", "qelvant"), "qelvant");
  EXPECT_EQ(ReadIniString(file_, "Nowhere", "User", "d"), "d");
  EXPECT_FALSE(FindIniString(file_, "Nowhere", "User").has_value());
}

TEST_F(IniFileTest, ReadingSemantics) {
  Put("; comment\r\n"
      "[ Main ]\r\n"
      "  XPos = 12  \r\n"
      "Empty=\r\n"
      "Quoted=\"  padded \"\r\n"
      "Single='x'\r\n"
      "Half=\"x\r\n"
      "XPos=99\r\n"
      "no equals sign\r\n"
      "[main]\r\n"
      "Later=1\r\n");
  EXPECT_EQ(ReadIniString(file_, "MAIN", "xpos", "d"), "12");  // first match, any case
  EXPECT_EQ(ReadIniString(file_, "Main", "Empty", "d"), "");  // an empty value is a value
  EXPECT_TRUE(FindIniString(file_, "Main", "Empty").has_value());
  EXPECT_EQ(ReadIniString(file_, "Main", "Quoted", "d"), "  padded ");
  EXPECT_EQ(ReadIniString(file_, "Main", "Single", "d"), "x");
  EXPECT_EQ(ReadIniString(file_, "Main", "Half", "d"), "\"x");
  EXPECT_EQ(ReadIniString(file_, "Main", "Later", "d"), "d");  // only the first section counts
  EXPECT_EQ(ReadIniString(file_, "Main", "; comment", "d"), "d");
}

TEST_F(IniFileTest, IntegerReads) {
  Put("[S]\na=42\nb= -7 \nc=12abc\nd=abc\ne=99999999999999999999\nf=\n");
  EXPECT_EQ(ReadIniInt(file_, "s", "a", 5), 42);
  EXPECT_EQ(ReadIniInt(file_, "s", "b", 5), -7);
  EXPECT_EQ(ReadIniInt(file_, "s", "c", 5), 12);
  EXPECT_EQ(ReadIniInt(file_, "s", "d", 5), 5);
  EXPECT_EQ(ReadIniInt(file_, "s", "e", 5), 5);
  EXPECT_EQ(ReadIniInt(file_, "s", "f", 5), 5);
  EXPECT_EQ(ReadIniInt(file_, "s", "missing", 5), 5);
}

TEST_F(IniFileTest, WriteKeepsEveryOtherLine) {
  const std::string before =
      "; settings\r\n"
      "\r\n"
      "[Main]\r\n"
      "Maximize=No\r\n"
      "XPos = 10\r\n"
      "Unknown=kept ; as is\r\n"
      "\r\n"
      "; next\r\n"
      "[PASSWORD]\r\n"
      "Width=5";  // no line break at the end
  Put(before);
  ASSERT_TRUE(WriteIniString(file_, "main", "xpos", "20"));
  std::string expected = before;
  expected.replace(expected.find("XPos = 10"), 9, "XPos = 20");
  EXPECT_EQ(Get(), expected);

  // A new key goes after the section's last key, before its trailing blank and comment lines.
  ASSERT_TRUE(WriteIniString(file_, "Main", "Height", "7"));
  expected.insert(expected.find("\r\n\r\n; next"), "\r\nHeight=7");
  EXPECT_EQ(Get(), expected);

  ASSERT_TRUE(WriteIniString(file_, "PASSWORD", "Height", "8"));
  expected += "\r\nHeight=8\r\n";
  EXPECT_EQ(Get(), expected);

  ASSERT_TRUE(WriteIniString(file_, "New", "k", "v"));
  expected += "[New]\r\nk=v\r\n";
  EXPECT_EQ(Get(), expected);
  EXPECT_EQ(ReadIniString(file_, "Main", "Unknown", ""), "kept ; as is");
}

TEST_F(IniFileTest, WriteCreatesAPrivateFileAndLeavesNoTemporary) {
  ASSERT_TRUE(WriteIniString(file_, "Ada Quillon - Password Control", "Pwd", "s3cret"));
  EXPECT_EQ(Get(), "[Ada Quillon - Password Control]\nPwd=s3cret\n");
  struct stat st;
  ASSERT_EQ(stat(file_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  chmod(file_.c_str(), 0640);  // an existing file keeps its permissions
  ASSERT_TRUE(WriteIniString(file_, "Ada Quillon - Password Control", "Pwd", "other"));
  ASSERT_EQ(stat(file_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(Entries(), std::vector<std::string>{"settings.ini"});
}

TEST_F(IniFileTest, ValuesReadBackAsWritten) {
  for (std::string value : {"  leading", "\"quoted\"", "'single'", "a=b;c", "", "\"", "x\"y"}) {
    ASSERT_TRUE(WriteIniString(file_, "S", "K", value)) << value;
    EXPECT_EQ(ReadIniString(file_, "S", "K", "default"), value) << value;
  }
  ASSERT_TRUE(WriteIniString(file_, "S", "K", "trailing   "));  // trailing blanks never count
  EXPECT_EQ(ReadIniString(file_, "S", "K", ""), "trailing");
}

TEST_F(IniFileTest, RefusesTextsThatWouldBreakTheFile) {
  Put("[S]\nK=old\n");
  EXPECT_FALSE(WriteIniString(file_, "S", "K", "new\n[Evil]\nK=1"));
  EXPECT_FALSE(WriteIniString(file_, "S", "K", "a\rb"));
  EXPECT_FALSE(WriteIniString(file_, "S", "K=2", "v"));
  EXPECT_FALSE(WriteIniString(file_, "S]x", "K", "v"));
  EXPECT_FALSE(WriteIniString(file_, "S", "", "v"));
  EXPECT_FALSE(WriteIniString(file_, "S", ";K", "v"));
  EXPECT_FALSE(WriteIniString(file_, " ", "K", "v"));
  EXPECT_EQ(Get(), "[S]\nK=old\n");
  EXPECT_FALSE(WriteIniString(dir_ + "/no/such/dir/x.ini", "S", "K", "v"));
}

TEST_F(IniFileTest, DeleteKeyAndSection) {
  Put("[A]\nk=1\nK=2\nj=3\n; about B\n[B]\nk=4\n[a]\nk=5\n");
  ASSERT_TRUE(DeleteIniKey(file_, "a", "k"));  // every copy, so a read finds none
  EXPECT_EQ(Get(), "[A]\nj=3\n; about B\n[B]\nk=4\n[a]\n");
  EXPECT_FALSE(FindIniString(file_, "A", "k").has_value());
  ASSERT_TRUE(DeleteIniSection(file_, "B"));
  EXPECT_EQ(Get(), "[A]\nj=3\n; about B\n[a]\n");
  ASSERT_TRUE(DeleteIniSection(file_, "a"));
  EXPECT_EQ(Get(), "");
  EXPECT_TRUE(DeleteIniKey(file_, "A", "j"));  // nothing left to remove
  EXPECT_TRUE(DeleteIniSection(dir_ + "/missing.ini", "A"));
  EXPECT_EQ(Entries(), std::vector<std::string>{"settings.ini"});
}

TEST_F(IniFileTest, SeveralKeysInOneRewrite) {
  Put("[Main]\nMaximize=Yes\nXPos=1\nYPos=2\n");
  ASSERT_TRUE(UpdateIniSection(file_, "MAIN", {{"Maximize", "No"}, {"XPos", std::nullopt},
                                               {"Width", "300"}}));
  EXPECT_EQ(Get(), "[Main]\nMaximize=No\nYPos=2\nWidth=300\n");
  // One unusable text refuses the whole batch.
  EXPECT_FALSE(UpdateIniSection(file_, "Main", {{"YPos", "5"}, {"Bad=Key", "1"}}));
  EXPECT_EQ(Get(), "[Main]\nMaximize=No\nYPos=2\nWidth=300\n");
}

TEST_F(IniFileTest, WindowsStyleNames) {
  EXPECT_EQ(IniPath(".\\AQuilon.ini"), "./AQuilon.ini");
  ASSERT_TRUE(WriteIniString(dir_ + "\\win.ini", "S", "K", "v"));
  EXPECT_EQ(ReadIniString(dir_ + "/win.ini", "S", "K", ""), "v");

  char* saved = getcwd(nullptr, 0);
  ASSERT_EQ(chdir(dir_.c_str()), 0);
  bool wrote = WriteIniString(".\\AQuilon.ini", "S", "Pwd", "x");
  std::string read = ReadIniString(dir_ + "/AQuilon.ini", "S", "Pwd", "");
  ASSERT_EQ(chdir(saved), 0);
  free(saved);
  EXPECT_TRUE(wrote);
  EXPECT_EQ(read, "x");
}

TEST_F(IniFileTest, ANameThatIsNoRegularFileReadsAsUnreadableAndIsNotWritten) {
  // A FIFO would block a reader until a writer comes, /dev/zero never ends,
  // and a folder cannot be read: none may stall or fool the program.
  const std::string fifo = dir_ + "/fifo.ini", zero = dir_ + "/zero.ini", folder = dir_ + "/d.ini";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(symlink("/dev/zero", zero.c_str()), 0);
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  for (const std::string& name : {fifo, zero, folder}) {
    EXPECT_FALSE(IniFileReadable(name)) << name;
    EXPECT_EQ(ReadIniString(name, "S", "K", "default"), "default") << name;
    EXPECT_FALSE(WriteIniString(name, "S", "K", "v")) << name;
  }
  struct stat st;
  ASSERT_EQ(stat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the FIFO was replaced";
  EXPECT_TRUE(IniFileReadable(dir_ + "/missing.ini"));
  Put("[S]\nK=1\n");
  EXPECT_TRUE(IniFileReadable(file_));
}

TEST_F(IniFileTest, WritesThroughASymbolicLink) {
  Put("[S]\nK=1\n");
  std::string link = dir_ + "/link.ini";
  ASSERT_EQ(symlink(file_.c_str(), link.c_str()), 0);
  ASSERT_TRUE(WriteIniString(link, "S", "K", "2"));
  struct stat st;
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(Get(), "[S]\nK=2\n");
}

TEST_F(IniFileTest, ConcurrentWritersLoseNothing) {
  constexpr int kThreads = 6, kKeys = 12;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      for (int k = 0; k < kKeys; ++k) {
        WriteIniString(file_, "S" + std::to_string(k % 3), "T" + std::to_string(t) + "K" + std::to_string(k),
                       std::to_string(t * 100 + k));
      }
    });
  }
  for (std::thread& t : threads) t.join();
  for (int t = 0; t < kThreads; ++t) {
    for (int k = 0; k < kKeys; ++k) {
      EXPECT_EQ(ReadIniInt(file_, "S" + std::to_string(k % 3),
                           "T" + std::to_string(t) + "K" + std::to_string(k), -1),
                t * 100 + k);
    }
  }
  EXPECT_EQ(Entries(), std::vector<std::string>{"settings.ini"});
}

}  // namespace
}  // namespace ck
