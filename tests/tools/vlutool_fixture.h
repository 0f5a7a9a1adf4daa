// The shared ground of vlutool's tests: a fresh folder per test, the
// program's table declaration, commands run in-process, and a way to change
// a file's tree behind the driver's back.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "storage/codes.h"
#include "storage/file_control_block.h"
#include "storage/vellum/physical_file.h"
#include "tools/vlutool/vlutool_commands.h"

namespace ck::vlutool {

namespace fs = std::filesystem;

inline constexpr char kPasswords[] =
    "# the program's table\n"
    "prefix PAS\n"
    "field PAS:ClientDomain STRING(100) @s100\n"
    "field PAS:Login STRING(100)\n"
    "field PAS:Password STRING(20)\n"
    "field PAS:OtherInfo STRING(255)\n"
    "key PAS:KeyClientDomain DUP NAME(PAS:KEYCLIENTDOMAIN) : PAS:ClientDomain\n";

struct Result {
  int code = -1;
  std::string out;
  std::string err;
};

class VlutoolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir = fs::temp_directory_path() / ("ck_vlutool_" + std::to_string(getpid()) + "_" + info->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    db = Path("PASSWORD.VLU");
  }
  void TearDown() override { fs::remove_all(dir); }

  std::string Path(const std::string& name) const { return (dir / name).string(); }

  std::string Write(const std::string& name, const std::string& text) const {
    std::ofstream(Path(name), std::ios::binary) << text;
    return Path(name);
  }
  static std::string Read(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
  }

  static Result Run(std::vector<std::string> args) {
    std::ostringstream out, err;
    Result r;
    r.code = RunVlutool(args, out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
  }

  void CreatePasswords() {
    const Result r = Run({"create", db, Write("passwords.decl", kPasswords)});
    ASSERT_EQ(r.code, 0) << r.err;
  }
  void AddDomain(const std::string& domain, const std::string& login) {
    const Result r = Run({"add", db, "ClientDomain=" + domain, "PAS:Login=" + login});
    ASSERT_EQ(r.code, 0) << r.err;
  }

  fs::path dir;
  std::string db;
};

// True when text is exactly prefix + "check N: Possible data corruption in
// file (N)" and a line end, with the same check number N twice.
inline bool IsStopLine(const std::string& text, const std::string& prefix) {
  const std::string head = prefix + "check ";
  if (text.rfind(head, 0) != 0) return false;
  const size_t digits = text.find_first_not_of("0123456789", head.size());
  if (digits == head.size() || digits == std::string::npos) return false;
  const std::string n = text.substr(head.size(), digits - head.size());
  return text.substr(digits) == ": Possible data corruption in file (" + n + ")\n";
}

// Changes the tree behind the driver's back, as damage or a faulty writer would.
inline void Tamper(const std::string& path, const std::function<void(vellum::EntryStore&)>& change) {
  std::shared_ptr<vellum::PhysicalFile> file;
  ASSERT_EQ(vellum::PhysicalFile::Open(path, storage::ReadWrite | storage::DenyNone, "", false, &file), 0);
  ASSERT_EQ(file->BeginAccess(true), 0);
  change(file->store());
  ASSERT_EQ(file->EndAccess(), 0);
}

}  // namespace ck::vlutool
