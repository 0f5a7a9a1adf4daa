// Shared setup of the driver tests: a fresh folder per test, the Vellum
// driver registered, and a PASSWORDS-shaped table with its record buffer.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "storage/records.h"
#include "storage/vellum/vellum_driver.h"
#include "tests/vellum/table_memory_store.h"

namespace ck::vellum::testing {

class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterVellumDriver();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir = std::filesystem::temp_directory_path() /
          ("ck_vellum_" + std::to_string(getpid()) + "_" + info->test_suite_name() + "_" + info->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    fcb = Declare(File("PASSWORD"));
  }
  void TearDown() override {
    storage::Close(fcb);
    std::filesystem::remove_all(dir);
  }

  std::string File(const std::string& name) const { return (dir / name).string(); }

  // A PASSWORDS-shaped block on name, with its own record buffer.
  storage::FileControlBlock Declare(const std::string& name) {
    storage::FileControlBlock f = PasswordsDeclaration();
    f.name = name;
    buffers.emplace_back(std::make_unique<std::string>(475, ' '));
    f.record = buffers.back()->data();
    return f;
  }

  static void SetDomain(storage::FileControlBlock& f, const std::string& domain,
                        const std::string& login = "me") {
    std::string rec(f.record, f.recordLength);
    SetText(rec, 0, 100, domain);
    SetText(rec, 100, 100, login);
    rec.copy(f.record, f.recordLength);
  }
  static std::string Domain(const storage::FileControlBlock& f) {
    std::string d(f.record, 100);
    d.erase(d.find_last_not_of(' ') + 1);
    return d;
  }
  static std::string Login(const storage::FileControlBlock& f) {
    std::string d(f.record + 100, 100);
    d.erase(d.find_last_not_of(' ') + 1);
    return d;
  }

  // Creates and opens fcb's table and adds one record per domain.
  void CreateWith(storage::FileControlBlock& f, std::initializer_list<const char*> domains) {
    ASSERT_EQ(storage::Create(f), 0);
    ASSERT_EQ(storage::Open(f, storage::ReadWrite | storage::DenyNone), 0);
    for (const char* d : domains) {
      SetDomain(f, d);
      ASSERT_EQ(storage::Add(f), 0) << d;
    }
  }

  // The domains read by NEXT (or PREVIOUS) from the current sequence position.
  static std::vector<std::string> ReadAll(storage::FileControlBlock& f, bool forward = true) {
    std::vector<std::string> out;
    while ((forward ? storage::Next(f) : storage::Previous(f)) == 0) out.push_back(Domain(f));
    return out;
  }

  std::filesystem::path dir;
  std::vector<std::unique_ptr<std::string>> buffers;
  storage::FileControlBlock fcb;
};

}  // namespace ck::vellum::testing
