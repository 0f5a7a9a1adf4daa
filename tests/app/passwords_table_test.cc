// The PASSWORDS table as each thread gets it from the thread hooks: its
// managers' set-up, a data file made in the current folder on first use,
// duplicate and case-distinct client domains in key order, and a second
// thread with a buffer and an open of its own.
#include "app/passwords_table.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include "app/program.h"
#include "app/thread_hooks.h"
#include "framework/file_manager.h"
#include "framework/relation_manager.h"
#include "runtime/thread.h"
#include "storage/file_control_block.h"
#include "storage/records.h"
#include "tests/app/app_fixture.h"

namespace ck::app {
namespace {

void Add(const char* domain, const char* login, const char* password = "") {
  PAS_ClientDomain().Assign(domain);
  PAS_Login().Assign(login);
  PAS_Password().Assign(password);
  PAS_OtherInfo().Clear();
  EXPECT_EQ(Access_PASSWORDS()->Insert(), level::Benign) << domain << " " << login;
}

// The table in key order as "domain/login".
std::vector<std::string> InKeyOrder() {
  std::vector<std::string> rows;
  storage::FileControlBlock& t = PASSWORDS();
  EXPECT_EQ(storage::SetKey(t, kKeyClientDomain), 0);
  while (storage::Next(t) == 0)
    rows.push_back(std::string(PAS_ClientDomain().clipped()) + "/" +
                   std::string(PAS_Login().clipped()));
  return rows;
}

TEST(PasswordsTable, EachThreadHasItsOwnTableAndManagers) {
  test::AppFolder folder;
  PrepareProcess();
  struct Seen {
    bool ready = false;
    std::string name;
    int lockRecover = 0, create = 0, useLogout = 0, logoutTimeout = 0;
    size_t keys = 0;
    std::string keyDescription;
    uint32_t recordLength = 0;
    std::vector<std::string> rows;
    std::string otherThreadRow, ownRowAfter;
    bool otherBuffer = false, otherManagers = false;
  } seen;
  ASSERT_TRUE(RunFirstThread([&] {
    seen.ready = ThreadReady();
    FileManager* access = Access_PASSWORDS();
    RelationManager* relate = Relate_PASSWORDS();
    if (access == nullptr || relate == nullptr) return;
    seen.name = access->FileNameValue;
    seen.lockRecover = access->LockRecover;
    seen.create = access->Create;
    seen.useLogout = relate->UseLogout;
    seen.logoutTimeout = relate->LogoutTimeout;
    seen.keys = access->Keys.size();
    if (!access->Keys.empty()) seen.keyDescription = access->Keys[0].PDESCRIPTION;
    seen.recordLength = PASSWORDS().recordLength;
    ASSERT_EQ(relate->Open(), level::Benign);
    Add("ebay", "ann", "pw1");
    Add("Ebay", "bob");
    Add("ebay", "carl");  // the same client domain again
    Add("amazon", "dora");
    seen.rows = InKeyOrder();
    PAS_ClientDomain().Assign("mine");

    // Another thread reads the first entry into its own buffer.
    std::promise<void> done;
    const char* myRecord = PASSWORDS().record;
    FileManager* myAccess = access;
    StartThread([&] {
      seen.otherBuffer = PASSWORDS().record != myRecord;
      seen.otherManagers = Access_PASSWORDS() != nullptr && Access_PASSWORDS() != myAccess;
      if (Relate_PASSWORDS()->Open() == level::Benign &&
          Access_PASSWORDS()->UseFile() == level::Benign) {
        storage::SetKey(PASSWORDS(), kKeyClientDomain);
        if (Access_PASSWORDS()->Next() == level::Benign)
          seen.otherThreadRow = std::string(PAS_ClientDomain().clipped());
        Relate_PASSWORDS()->Close();
      }
      done.set_value();
    });
    done.get_future().wait();
    seen.ownRowAfter = std::string(PAS_ClientDomain().clipped());
    relate->Close();
  }));
  EXPECT_TRUE(seen.ready);
  EXPECT_EQ(seen.name, "PASSWORDS");
  EXPECT_EQ(seen.lockRecover, 10);
  EXPECT_EQ(seen.create, 1);
  EXPECT_EQ(seen.useLogout, 1);
  EXPECT_EQ(seen.logoutTimeout, 2);
  EXPECT_EQ(seen.keys, 1u);
  EXPECT_EQ(seen.keyDescription, "PAS:KeyClientDomain");
  EXPECT_EQ(seen.recordLength, 475u);
  // The key's collation puts a letter's lower case before its upper case;
  // duplicates come in the order added.
  EXPECT_EQ(seen.rows,
            (std::vector<std::string>{"amazon/dora", "ebay/ann", "ebay/carl", "Ebay/bob"}));
  EXPECT_TRUE(seen.otherBuffer);
  EXPECT_TRUE(seen.otherManagers);
  EXPECT_EQ(seen.otherThreadRow, "amazon");
  EXPECT_EQ(seen.ownRowAfter, "mine") << "another thread's read changed this thread's buffer";
  EXPECT_TRUE(std::filesystem::exists(folder.path() / "PASSWORD.VLU"));
}

}  // namespace
}  // namespace ck::app
