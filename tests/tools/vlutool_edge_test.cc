// vlutool at the edges a user meets: empty files, code pages, command
// lines, CSV files as other programs write them, and exported files.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include <sstream>
#include <string>

#include "tests/tools/vlutool_fixture.h"
#include "tools/vlutool/vlutool_decl.h"
#include "tests/vellum/mp_process.h"

namespace ck::vlutool {
namespace {

TEST_F(VlutoolTest, EmptyAndFreshFilesAreSoundAndEmpty) {
  Write("EMPTY.VLU", "");
  std::string fresh(512, '\0');
  fresh[5] = '\x02';             // block length 0x200
  fresh.replace(14, 4, "vElM");  // the magic
  Write("FRESH.VLU", fresh);
  for (const char* name : {"EMPTY.VLU", "FRESH.VLU"}) {
    const Result check = Run({"check", Path(name)});
    EXPECT_EQ(check.code, kExitOk) << name << ": " << check.out << check.err;
    EXPECT_EQ(check.out, "ok\n") << name;
    const Result pages = Run({"pages", Path(name)});
    EXPECT_EQ(pages.out, "unit\tclass\tlevel\tentries\tstored\tunpacked\n") << name;
  }
}

TEST_F(VlutoolTest, OemTablesRefuseWhatCodePage437CannotHold) {
  const std::string decl = Write("oem.decl",
                                 "prefix OE\noem\nfield OE:Name STRING(10)\nmemo OE:Note MEMO(20)\n"
                                 "key OE:ByName DUP : OE:Name\n");
  ASSERT_EQ(Run({"create", db, decl}).code, 0);
  for (const char* value : {"Name=\xC5\xA0" "b", "Note=\xE2\x82\xAC" "5"}) {  // S with caron, euro
    const Result r = Run({"add", db, value});
    EXPECT_EQ(r.code, kExitFailed) << value;
    EXPECT_NE(r.err.find("code page 437 cannot hold"), std::string::npos) << r.err;
  }
  ASSERT_EQ(Run({"add", db, "Name=caf\xC3\xA9", "Note=\xC3\xBC"}).code, 0);  // é and ü are in 437
  const Result r = Run({"get", db, "Name=caf\xC3\xA9"});
  EXPECT_EQ(r.out, "OE:Name,OE:Note\ncaf\xC3\xA9,\xC3\xBC\n") << r.err;
  EXPECT_EQ(Run({"check", db}).out, "ok\n");
}

struct PageLine {
  uint32_t unit = 0, sizeClass = 0, level = 0;
};

std::vector<PageLine> Leaves(const std::string& pagesOutput) {
  std::istringstream lines(pagesOutput);
  std::string line;
  std::getline(lines, line);  // header
  std::vector<PageLine> leaves;
  while (std::getline(lines, line)) {
    PageLine p;
    std::istringstream words(line);
    words >> p.unit >> p.sizeClass >> p.level;
    if (p.level == 0) leaves.push_back(p);
  }
  return leaves;
}

// Runs a command in a child with bounded memory; its exit code, 10 more when
// standard error is not one stop line, or -2 when it did not end in time.
int RunBounded(const std::vector<std::string>& args) {
  vellum::testing::Child child([&] {
#ifndef __SANITIZE_ADDRESS__  // the address sanitizer maps far more than this up front
    const rlimit memory{size_t{1} << 30, size_t{1} << 30};
    setrlimit(RLIMIT_AS, &memory);
#endif
    std::ostringstream out, err;
    const int code = RunVlutool(args, out, err);
    return code + (IsStopLine(err.str(), "vlutool: ") ? 0 : 10);
  });
  return child.Wait(30000);
}

TEST_F(VlutoolTest, ALeafCopiedOverAnotherEndsEveryWalk) {
  CreatePasswords();
  std::string csv = "ClientDomain,Login\n";
  for (int i = 0; i < 400; ++i) csv += "domain" + std::to_string(1000 + i) + ",login\n";
  ASSERT_EQ(Run({"import", db, Write("many.csv", csv)}).code, 0);
  const std::vector<PageLine> leaves = Leaves(Run({"pages", db}).out);
  const std::string sound = Read(db);
  // A leaf early in key order (key entries) and one late (records), each
  // copied over a later leaf of the same class.
  for (const bool late : {false, true}) {
    const PageLine* from = nullptr;
    const PageLine* to = nullptr;
    for (size_t i = 0; i < leaves.size() && !to; ++i) {
      const size_t a = late ? leaves.size() - 1 - i : i;
      for (size_t j = 0; j < leaves.size() && !to; ++j) {
        const bool after = late ? j < a : j > a + 1;
        if (after && leaves[j].sizeClass == leaves[a].sizeClass) {
          from = &leaves[late ? j : a];
          to = &leaves[late ? a : j];
        }
      }
    }
    ASSERT_NE(to, nullptr) << "no two leaves of one class";
    std::string bytes = sound;
    const size_t source = 0x200 + 256 * size_t{from->unit};
    const size_t target = 0x200 + 256 * size_t{to->unit};
    std::string block = bytes.substr(source, 256 * size_t{from->sizeClass});
    for (int i = 0; i < 4; ++i) block[i] = static_cast<char>(target >> (8 * i));  // its own offset
    bytes.replace(target, block.size(), block);
    std::ofstream(db, std::ios::binary | std::ios::trunc) << bytes;

    const char* kind = late ? " (records)" : " (keys)";
    EXPECT_EQ(RunBounded({"check", db}), kExitFailed) << kind;
    EXPECT_EQ(RunBounded({"entries", db}), kExitFailed) << kind;
    // dump reads records only: it meets the damage among them, and not otherwise.
    EXPECT_EQ(RunBounded({"dump", db}), late ? kExitFailed : kExitOk + 10) << kind;
  }
}

TEST_F(VlutoolTest, AFullDiskIsNamedAndChangesNothing) {
  CreatePasswords();
  std::string csv = "ClientDomain,Login\n";
  for (int i = 0; i < 300; ++i) csv += "domain" + std::to_string(1000 + i) + ",login\n";
  const std::string rows = Write("many.csv", csv);
  const std::string before = Read(db);
  // In a child whose files may not grow much: writes past the limit fail
  // as on a full disk.
  vellum::testing::Child child([&] {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit size{before.size() + 4096, before.size() + 4096};
    setrlimit(RLIMIT_FSIZE, &size);
    const Result r = Run({"import", db, rows});
    return r.code == kExitFailed &&
                   r.err.find("File System Error (90): Handle Disk Full (39)") != std::string::npos
               ? 0
               : 1;
  });
  EXPECT_EQ(child.Wait(), 0);
  EXPECT_EQ(Read(db), before);
}

TEST_F(VlutoolTest, AnOwnerPasswordOnTheCommandLineIsTheDeclaredOne) {
  // The declaration's owner is stored in Windows-1252; so is --owner's.
  ASSERT_EQ(Run({"create", db, Write("t.decl", "owner p\xC3\xA4ss\nencrypt\nfield A STRING(5)\n")}).code, 0);
  ASSERT_EQ(Run({"--owner", "p\xC3\xA4ss", "add", db, "A=x"}).code, 0);
  const Result r = Run({"--owner=p\xC3\xA4ss", "dump", db});
  EXPECT_EQ(r.code, kExitOk) << r.err;
  EXPECT_EQ(r.out, "A\nx\n");
  EXPECT_EQ(Run({"--owner", "\xF0\x9F\x94\x91", "dump", db}).code, kExitUsage);
}

TEST_F(VlutoolTest, DeclarationsRefuseZeroBytesAndReadManyFields) {
  const Result r = Run({"create", db, Write("nul.decl", std::string("field A\0B STRING(5)\n", 21))});
  EXPECT_EQ(r.code, kExitFailed);
  EXPECT_NE(r.err.find("line 1: a zero byte"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(db));

  std::string many = "prefix M\n";
  for (int i = 0; i < 15000; ++i) many += "field F" + std::to_string(i) + " STRING(1)\n";
  many += "key K : F14999 F0\nfield f7 LONG\n";
  Declaration d;
  std::string error;
  EXPECT_FALSE(ParseDeclaration(many, &d, &error));
  EXPECT_NE(error.find("line 15003: the name 'f7' is declared twice"), std::string::npos) << error;
  many.resize(many.size() - std::string("field f7 LONG\n").size());
  ASSERT_TRUE(ParseDeclaration(many, &d, &error)) << error;
  EXPECT_EQ(d.fcb.recordLength, 15000u);
  ASSERT_EQ(d.fcb.keys.size(), 1u);
  EXPECT_EQ(d.fcb.keys[0].components[0].field, 14999);
  EXPECT_EQ(d.fcb.keys[0].components[1].field, 0);
}

TEST_F(VlutoolTest, BlankValuesOfAnOptKeyAreFoundByAScan) {
  ASSERT_EQ(Run({"create", db,
                 Write("o.decl", "prefix P\nfield P:Domain STRING(20)\nfield P:Login STRING(20)\n"
                                 "key P:KDomain : P:Domain\nkey P:KLogin DUP OPT : P:Login\n")})
                .code,
            0);
  ASSERT_EQ(Run({"add", db, "Domain=b.com"}).code, 0);
  ASSERT_EQ(Run({"add", db, "Domain=c.com", "Login=me"}).code, 0);
  Result r = Run({"get", db, "Login="});
  EXPECT_EQ(r.out, "P:Domain,P:Login\nb.com,\n") << r.err;
  r = Run({"put", db, "Login=", "set", "Login=now"});
  EXPECT_EQ(r.out, "changed record 2\n") << r.err;
  ASSERT_EQ(Run({"put", db, "Login=me", "set", "Login="}).code, 0);
  r = Run({"delete", db, "Login="});
  EXPECT_EQ(r.out, "deleted record 3\n") << r.err;
  EXPECT_EQ(Run({"dump", db}).out, "P:Domain,P:Login\nb.com,now\n");
}

TEST_F(VlutoolTest, ImportRefusesAHeaderColumnThatNamesNoField) {
  CreatePasswords();
  const std::string before = Read(db);
  const std::pair<const char*, const char*> cases[] = {
      {"ClientDomain,,Login\na,,b\n", "header: column 2 '' is not a field name"},
      {"ClientDomain=evil,Login\na,b\n", "header: column 1 'ClientDomain=evil' is not a field name"},
      {",\n,\n", "header: column 1 '' is not a field name"}};
  for (const auto& [csv, said] : cases) {
    const Result r = Run({"import", db, Write("h.csv", csv)});
    EXPECT_EQ(r.code, kExitFailed) << csv;
    EXPECT_NE(r.err.find(said), std::string::npos) << r.err;
  }
  EXPECT_EQ(Read(db), before);
}

TEST_F(VlutoolTest, ImportTakesAByteOrderMarkAndBlankLastLines) {
  CreatePasswords();
  const Result r = Run({"import", db, Write("bom.csv", "\xEF\xBB\xBF" "ClientDomain,Login\r\na.com,x\r\nb.com,y\r\n\r\n\n")});
  EXPECT_EQ(r.out, "imported 2 records\n") << r.err;
  EXPECT_EQ(Run({"dump", db}).out,
            "PAS:ClientDomain,PAS:Login,PAS:Password,PAS:OtherInfo\na.com,x,,\nb.com,y,,\n");
}

TEST_F(VlutoolTest, ExportsAreForTheirOwnerAndReplaceOnlyRegularFiles) {
  CreatePasswords();
  AddDomain("a.com", "secret");
  const std::string fresh = Path("fresh.csv");
  ASSERT_EQ(Run({"export", db, fresh}).code, 0);
  EXPECT_EQ(fs::status(fresh).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  const std::string open = Write("open.csv", "old");
  fs::permissions(open, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
  ASSERT_EQ(Run({"export", db, open}).code, 0);
  EXPECT_EQ(Read(open), Read(fresh));
  EXPECT_EQ(fs::status(open).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);

  // A link (its target would be written), a FIFO (it would block) and a
  // folder are refused, and stay as they were.
  const std::string aim = Write("aim.txt", "kept");
  fs::create_symlink(aim, Path("link.csv"));
  ASSERT_EQ(mkfifo(Path("fifo.csv").c_str(), 0600), 0);
  fs::create_directories(Path("folder.csv"));
  for (const char* name : {"link.csv", "fifo.csv", "folder.csv"}) {
    const Result r = Run({"export", db, Path(name)});
    EXPECT_EQ(r.code, kExitFailed) << name;
    EXPECT_NE(r.err.find("not a regular file"), std::string::npos) << r.err;
  }
  EXPECT_TRUE(fs::is_symlink(Path("link.csv")));
  EXPECT_EQ(Read(aim), "kept");
  EXPECT_TRUE(fs::is_fifo(Path("fifo.csv")));
}

}  // namespace
}  // namespace ck::vlutool
