// vlutool's commands run in-process on real files: the record commands,
// declarations good and bad, CSV import and export, the tree views, the
// whole-file check on sound, inconsistent and damaged files, and failed
// commands that must leave the file as it was.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "storage/vellum/collation.h"
#include "storage/vellum/entry_keys.h"
#include "storage/vellum/physical_file.h"
#include "tests/tools/vlutool_fixture.h"
#include "tools/vlutool/vlutool_csv.h"
#include "tools/vlutool/vlutool_decl.h"

namespace ck::vlutool {
namespace {

TEST(VlutoolDeclaration, LaysOutFieldsAndKeys) {
  Declaration d;
  std::string error;
  ASSERT_TRUE(ParseDeclaration(std::string(kPasswords) +
                                   "field PAS:Amount DECIMAL(9,2)\nfield PAS:Seen LONG\n"
                                   "memo PAS:Notes MEMO(300)\nmemo PAS:Photo BLOB BINARY\n"
                                   "key PAS:KeyLogin NOCASE OPT : PAS:Login -PAS:Seen\n"
                                   "table Logins\nowner s3cret\nencrypt\n",
                               &d, &error))
      << error;
  const auto& f = d.fcb;
  ASSERT_EQ(f.fields.size(), 6u);
  EXPECT_EQ(f.fields[3].offset, 220u);
  EXPECT_EQ(f.fields[3].length, 255u);
  EXPECT_EQ(f.fields[0].picture, "s100");
  EXPECT_EQ(f.fields[4].length, 5u);  // 9 digits and the sign in 5 bytes
  EXPECT_EQ(f.fields[4].places, 2);
  EXPECT_EQ(f.fields[5].offset, 480u);
  EXPECT_EQ(f.recordLength, 484u);
  ASSERT_EQ(f.keys.size(), 2u);
  EXPECT_TRUE(f.keys[0].duplicates);
  EXPECT_EQ(f.keys[0].externalName, "PAS:KEYCLIENTDOMAIN");
  EXPECT_TRUE(f.keys[1].nocase && f.keys[1].opt && !f.keys[1].duplicates);
  ASSERT_EQ(f.keys[1].components.size(), 2u);
  EXPECT_EQ(f.keys[1].components[1].field, 5);
  EXPECT_TRUE(f.keys[1].components[1].descending);
  ASSERT_EQ(f.memos.size(), 2u);
  EXPECT_EQ(f.memos[0].size, 300u);
  EXPECT_TRUE(f.memos[1].blob && f.memos[1].binary);
  EXPECT_EQ(d.table, "Logins");
  EXPECT_TRUE(f.encrypt);
  EXPECT_EQ(f.owner, "s3cret");
}

TEST(VlutoolDeclaration, AByteOrderMarkIsNoText) {
  Declaration d;
  std::string error;
  ASSERT_TRUE(ParseDeclaration("\xEF\xBB\xBFtable Logins\n" + std::string(kPasswords), &d, &error))
      << error;
  EXPECT_EQ(d.table, "Logins");
  EXPECT_EQ(d.fcb.fields.size(), 4u);
}

TEST(VlutoolDeclaration, BadDeclarationsNameTheirLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"field A STRING(10)\nfield B WORD\n", "line 2: unknown type"},
      {"field A STRING\n", "line 1: STRING needs a length"},
      {"field A STRING(0)\n", "needs a length"},
      {"field A LONG(4)\n", "takes no length"},
      {"field A DECIMAL(3,5)\n", "places at most the digits"},
      {"field A STRING(10)\nfield a LONG\n", "line 2: the name 'a' is declared twice"},
      {"field A STRING(10)\nkey K : B\n", "key field 'B' is not declared"},
      {"field A STRING(10)\nkey K DUP A\n", "needs ':'"},
      {"field A STRING(10)\nkey K DUP PRIMARY : A\n", "PRIMARY key cannot allow duplicates"},
      {"field A STRING(10)\nkey K FAST : A\n", "unknown key flag"},
      {"field A STRING(10)\nencrypt\n", "encrypt needs an owner"},
      {"# nothing\n", "no fields declared"},
      {"feld A STRING(10)\n", "line 1: unknown statement 'feld'"},
      {"field A STRING(20000)\nkey K : A\n", "too long for one entry"},
      {"field A STRING(10) s10\n", "a picture starts with @"},
      {"field A STRING(10) DIM(3)\n", "line 1: 'DIM(3)' is no picture"},
      {"field A STRING(10)\nmemo M MEMO\n", "MEMO needs a size"},
  };
  for (const auto& [text, expected] : cases) {
    Declaration d;
    std::string error;
    EXPECT_FALSE(ParseDeclaration(text, &d, &error)) << text;
    EXPECT_NE(error.find(expected), std::string::npos) << text << " gave: " << error;
  }
}

TEST(VlutoolCsv, QuotesWhatNeedsItAndReadsItBack) {
  const CsvRow row = {"plain", "a,b", "say \"hi\"", "two\nlines", " padded", "", "é"};
  const std::string line = CsvLine(row);
  EXPECT_EQ(line, "plain,\"a,b\",\"say \"\"hi\"\"\",\"two\nlines\",\" padded\",,é\n");
  std::vector<CsvRow> rows;
  std::string error;
  ASSERT_TRUE(ParseCsv(line + "x,y\r\nlast", &rows, &error)) << error;
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], row);
  EXPECT_EQ(rows[1], (CsvRow{"x", "y"}));
  EXPECT_EQ(rows[2], (CsvRow{"last"}));

  EXPECT_FALSE(ParseCsv("a,\"open\nb\n", &rows, &error));
  EXPECT_NE(error.find("line 1: a quoted field is not closed"), std::string::npos) << error;
  EXPECT_FALSE(ParseCsv("a\n\"x\"y,b\n", &rows, &error));
  EXPECT_NE(error.find("line 2"), std::string::npos) << error;
}

TEST_F(VlutoolTest, RecordCommandsAddGetPutDeleteDumpAndTables) {
  CreatePasswords();
  AddDomain("ebay", "first");
  AddDomain("amazon", "shopper");
  AddDomain("ebay", "second");

  Result r = Run({"get", db, "ClientDomain=ebay"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "PAS:ClientDomain,PAS:Login,PAS:Password,PAS:OtherInfo\n"
            "ebay,first,,\nebay,second,,\n");
  // A non-key field narrows the match; record numbers select directly.
  r = Run({"get", db, "ClientDomain=ebay", "Login=second"});
  EXPECT_EQ(r.out.substr(r.out.find('\n') + 1), "ebay,second,,\n");
  r = Run({"get", db, "Login=shopper"});
  EXPECT_EQ(r.out.substr(r.out.find('\n') + 1), "amazon,shopper,,\n");
  r = Run({"get", db, "@3"});
  EXPECT_EQ(r.out.substr(r.out.find('\n') + 1), "amazon,shopper,,\n");
  r = Run({"get", db, "ClientDomain=Ebay"});  // the key is case-sensitive
  EXPECT_EQ(r.code, kExitFailed);
  EXPECT_EQ(r.err, "vlutool: no record matches\n");

  // Two records match: put refuses and changes nothing.
  r = Run({"put", db, "ClientDomain=ebay", "set", "Password=x"});
  EXPECT_EQ(r.code, kExitFailed);
  EXPECT_NE(r.err.find("2 records match"), std::string::npos) << r.err;
  r = Run({"put", db, "ClientDomain=ebay", "Login=second", "set", "Password=pw2", "OtherInfo=a, b"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "changed record 4\n");
  r = Run({"delete", db, "@2"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Run({"delete", db, "@2"}).code, kExitFailed);

  r = Run({"dump", db});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "PAS:ClientDomain,PAS:Login,PAS:Password,PAS:OtherInfo\n"
            "amazon,shopper,,\nebay,second,pw2,\"a, b\"\n");
  r = Run({"tables", db});
  EXPECT_EQ(r.out, "UNNAMED\t2\n");
  EXPECT_EQ(Run({"check", db}).code, 0);
}

TEST_F(VlutoolTest, NamedTablesAndEncipheredFiles) {
  const std::string decl = Write("t.decl",
                                 "table Vault\nowner s3cret\nencrypt\nfield Name CSTRING(20)\n"
                                 "field Count LONG\nkey ByName : Name\n");
  ASSERT_EQ(Run({"create", db, decl}).code, 0);
  // The table exists now: creating it again would drop it, so it is refused.
  Result r = Run({"create", db, decl});
  EXPECT_EQ(r.code, kExitFailed);
  EXPECT_NE(r.err.find("already exists"), std::string::npos) << r.err;

  const std::string vault = db + "\\!Vault";
  ASSERT_EQ(Run({"--owner", "s3cret", "add", vault, "Name=alpha", "Count=-7"}).code, 0);
  r = Run({"--owner=s3cret", "add", vault, "Name=alpha", "Count=1"});
  EXPECT_EQ(r.code, kExitFailed);  // unique key
  EXPECT_NE(r.err.find("Creates Duplicate Key (40)"), std::string::npos) << r.err;
  r = Run({"--owner", "s3cret", "dump", db, "Vault"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "Name,Count\nalpha,-7\n");
  EXPECT_EQ(Run({"--owner", "s3cret", "check", db}).out, "ok\n");
  // Without the password the file is not readable: a clear failure, no output.
  r = Run({"dump", db, "Vault"});
  EXPECT_EQ(r.code, kExitFailed);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind("vlutool: ", 0), 0u);
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
}

// A table named both on the command line (FILE\!TABLE) and in the
// declaration is one table: the name is split once, and names that disagree
// are refused before anything is made.
TEST_F(VlutoolTest, ATableNamedTwiceIsOneTableOrRefused) {
  const std::string decl = Write("t.decl", "table Logins\nfield Name CSTRING(20)\n");
  ASSERT_EQ(Run({"create", db + "\\!Logins", decl}).code, 0);
  EXPECT_EQ(Run({"tables", db}).out, "Logins\t0\n");
  ASSERT_EQ(Run({"add", db + "\\!logins", "Name=x"}).code, 0);
  EXPECT_EQ(Run({"dump", db + "\\!Logins", "LOGINS"}).out, "Name\nx\n");

  const std::string other = Path("OTHER.VLU");
  Result r = Run({"create", other + "\\!Archive", decl});
  EXPECT_EQ(r.code, kExitFailed);
  EXPECT_EQ(r.err, "vlutool: the command line names the table Archive, " + decl +
                       " declares the table Logins\n");
  EXPECT_FALSE(fs::exists(other));
  r = Run({"dump", db + "\\!Logins", "Archive"});
  EXPECT_EQ(r.code, kExitFailed);
  EXPECT_EQ(r.err, "vlutool: the command line names the table Logins and the table Archive\n");
  // Without a table in the declaration the command line names it.
  ASSERT_EQ(Run({"create", other + "\\!Archive", Write("u.decl", "field N LONG\n")}).code, 0);
  EXPECT_EQ(Run({"tables", other}).out, "Archive\t0\n");
}

TEST_F(VlutoolTest, ImportAndExportRoundTrip) {
  ASSERT_EQ(Run({"create", db,
                 Write("t.decl", "field Name STRING(30)\nfield Amount DECIMAL(9,2)\nfield N SHORT\n"
                                 "field Ratio REAL\nmemo Notes MEMO(100)\nkey K DUP : Name\n")})
                .code,
            0);
  const std::string csv =
      "Name,Amount,N,Ratio,Notes\n"
      "\"Smith, J.\",12.50,-3,0.25,\"said \"\"hello\"\"\nand left\"\n"
      "Éclair,-0.07,32767,-1e+100,\n"
      "\" lead\",0.00,0,0,x\n";
  Result r = Run({"import", db, Write("in.csv", csv)});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "imported 3 records\n");
  ASSERT_EQ(Run({"export", db, Path("out.csv")}).code, 0);
  EXPECT_EQ(Read(Path("out.csv")), csv);

  // The export imports into a second file and exports the same again.
  const std::string copy = Path("COPY.VLU");
  ASSERT_EQ(Run({"create", copy, Path("t.decl")}).code, 0);
  ASSERT_EQ(Run({"import", copy, Path("out.csv")}).code, 0);
  ASSERT_EQ(Run({"export", copy, Path("again.csv")}).code, 0);
  EXPECT_EQ(Read(Path("again.csv")), csv);
}

TEST_F(VlutoolTest, FailedCommandsLeaveTheFileAsItWas) {
  CreatePasswords();
  AddDomain("ebay", "me");
  const std::string before = Read(db);

  const std::vector<std::vector<std::string>> failing = {
      {"add", db, "ClientDomain=" + std::string(101, 'x')},             // longer than the field
      {"add", db, "Colour=red"},                                         // no such field
      {"add", db, "ClientDomain=€uro", "ClientDomain=again"},            // given twice
      {"add", db, "ClientDomain=\xF0\x9F\x94\x91"},                      // not in Windows-1252
      {"put", db, "ClientDomain=nothere", "set", "Login=x"},             // no match
      {"delete", db, "@99"},
      {"import", db, Write("bad.csv", "ClientDomain,Login\na,1\nb,2,3\nc,4\n")},  // row 3 too long
      {"import", db, Write("badhead.csv", "ClientDomain,Shoe\na,1\n")},
      {"import", db, Write("quote.csv", "ClientDomain\n\"open\n")},
      {"create", db, Write("bad.decl", "field A WORD\n")},
  };
  for (const auto& args : failing) {
    const Result r = Run(args);
    EXPECT_EQ(r.code, kExitFailed) << args[0] << " " << args.back();
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(Read(db), before) << args[0] << " " << args.back();
  }
  const Result bad = Run({"import", db, Path("bad.csv")});
  EXPECT_NE(bad.err.find("row 3: 3 values for 2 columns"), std::string::npos) << bad.err;

  // A bad declaration creates no file; a failed export leaves no file.
  EXPECT_EQ(Run({"create", Path("NEW.VLU"), Path("bad.decl")}).code, kExitFailed);
  EXPECT_FALSE(fs::exists(Path("NEW.VLU")));
  EXPECT_EQ(Run({"export", db, Path("missing/out.csv")}).code, kExitFailed);
  fs::create_directories(dir / "taken" / "inner");  // a folder where the CSV should go
  EXPECT_EQ(Run({"export", db, Path("taken")}).code, kExitFailed);
  for (const auto& entry : fs::directory_iterator(dir))
    EXPECT_EQ(entry.path().filename().string().find(".vlutool-"), std::string::npos) << entry.path();
  EXPECT_TRUE(fs::exists(dir / "taken" / "inner"));
}

TEST_F(VlutoolTest, UsageErrorsExitWithTwo) {
  EXPECT_EQ(Run({}).code, kExitUsage);
  const Result unknown = Run({"frobnicate", db});
  EXPECT_EQ(unknown.code, kExitUsage);
  EXPECT_EQ(unknown.err, "vlutool: unknown command frobnicate (vlutool --help lists the commands)\n");
  EXPECT_EQ(Run({"--colour", "dump", db}).code, kExitUsage);
  const Result noOwner = Run({"--owner"});
  EXPECT_EQ(noOwner.code, kExitUsage);
  EXPECT_EQ(noOwner.err, "vlutool: --owner needs a password\n");
  EXPECT_EQ(Run({"dump"}).code, kExitUsage);
  EXPECT_EQ(Run({"put", db, "@1", "Login=x"}).code, kExitUsage);  // no "set"
  const Result r = Run({"dump", Path("NONE.VLU")});
  EXPECT_EQ(r.code, kExitFailed);
  EXPECT_NE(r.err.find("File Not Found (2)"), std::string::npos) << r.err;
}

TEST_F(VlutoolTest, EntriesAndPagesShowTheTree) {
  CreatePasswords();
  std::string csv = "ClientDomain,Login\n";
  for (int i = 0; i < 400; ++i) csv += "domain" + std::to_string(1000 + i) + ",login\n";
  ASSERT_EQ(Run({"import", db, Write("many.csv", csv)}).code, 0);

  Result r = Run({"entries", db});
  ASSERT_EQ(r.code, 0) << r.err;
  std::istringstream lines(r.out);
  std::map<std::string, int> kinds;
  std::string previousKey;
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string kind, key, data;
    words >> kind >> key >> data;
    ++kinds[kind];
    EXPECT_LT(previousKey, key);  // hex keeps the byte order of the keys
    if (kind == "record") {
      EXPECT_EQ(data.size(), 950u);
    }
    if (kind == "name") {
      EXPECT_EQ(key, "fe554e4e414d4544");  // FE "UNNAMED"
      EXPECT_EQ(data, "00000001");
    }
    previousKey = key;
  }
  EXPECT_EQ(kinds["record"], 400);
  EXPECT_EQ(kinds["key0"], 400);
  EXPECT_EQ(kinds["counter"], 2);
  EXPECT_EQ(kinds["collation"], 1);
  EXPECT_EQ(kinds["name"], 1);
  EXPECT_GE(kinds["definition"], 1);

  r = Run({"pages", db});
  ASSERT_EQ(r.code, 0) << r.err;
  std::istringstream pages(r.out);
  std::string header;
  std::getline(pages, header);
  EXPECT_EQ(header, "unit\tclass\tlevel\tentries\tstored\tunpacked");
  int leaves = 0, rootLevel = -1;
  uint64_t leafEntries = 0;
  for (std::string line; std::getline(pages, line);) {
    unsigned unit, cls, level, entries, stored, unpacked;
    ASSERT_EQ(sscanf(line.c_str(), "%u %u %u %u %u %u", &unit, &cls, &level, &entries, &stored, &unpacked), 6)
        << line;
    if (rootLevel < 0) rootLevel = static_cast<int>(level);
    EXPECT_EQ((stored + 255) / 256, cls) << line;
    EXPECT_LE(stored, unpacked) << line;
    if (level == 0) {
      ++leaves;
      leafEntries += entries;
    }
  }
  EXPECT_GE(rootLevel, 1);  // 400 records of 475 bytes need more than one page
  EXPECT_GT(leaves, 1);
  EXPECT_EQ(leafEntries, 400u * 2 + 2 + 1 + 1 + static_cast<uint64_t>(kinds["definition"]));
}

TEST_F(VlutoolTest, CheckNamesEachInconsistency) {
  CreatePasswords();
  AddDomain("alpha", "a");  // record 2
  AddDomain("beta", "b");   // record 3
  AddDomain("gamma", "c");  // record 4
  ASSERT_EQ(Run({"check", db}).code, 0);
  // Table 1: its key entries are table, key 0, the 100-byte value, record number.
  auto keyPart = [](const std::string& domain, uint32_t record) {
    std::string value = domain + std::string(100 - domain.size(), ' ');
    std::string mapped;
    vellum::Collation collation;
    for (char c : value) mapped += static_cast<char>(collation.Map(static_cast<uint8_t>(c)));
    std::string key = vellum::TablePrefix(1) + '\0' + mapped;
    vellum::AppendBE32(key, record);
    return key;
  };
  Tamper(db, [&](vellum::EntryStore& store) {
    ASSERT_EQ(store.Erase(keyPart("beta", 3)), 0);                          // record without its key entry
    ASSERT_EQ(store.Insert(vellum::TreeEntry(keyPart("zeta", 9), "")), 0);  // key entry of no record
    ASSERT_EQ(store.Insert(vellum::TreeEntry(keyPart("gamme", 4), "")), 0); // stale value of record 4
    std::string counter;
    vellum::AppendLE32(counter, 7);
    vellum::AppendLE32(counter, 0);
    ASSERT_EQ(store.Put(vellum::TreeEntry(vellum::CounterKey(1, vellum::kTableCounter), counter)), 0);
    ASSERT_EQ(store.Insert(vellum::TreeEntry(vellum::DataKey(5, 1), "orphan")), 0);
  });
  const Result r = Run({"check", db});
  EXPECT_EQ(r.code, kExitFailed);
  EXPECT_NE(r.out.find("check record-keys: table UNNAMED: record 3 has no entry in key PAS:KeyClientDomain"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("check key-entry: table UNNAMED: an entry of key PAS:KeyClientDomain names record 9, "
                       "which does not exist"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("for record 4 does not hold the record's value"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("check counter: table UNNAMED: the record counter says 7, the table holds 3 records"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("the counter of key PAS:KeyClientDomain says 3, the key holds 4 entries"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("check orphan: entries of table number 5, which has no name"), std::string::npos) << r.out;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 6) << r.out;
  EXPECT_EQ(r.err, "vlutool: 6 fault(s) found\n");
}

TEST_F(VlutoolTest, CheckFindsBrokenDefinitionsNamesAndStrayEntries) {
  CreatePasswords();
  AddDomain("alpha", "a");
  Tamper(db, [&](vellum::EntryStore& store) {
    ASSERT_EQ(store.Put(vellum::TreeEntry(vellum::DefinitionKey(1, 0), "xx")), 0);
    ASSERT_EQ(store.Erase(vellum::CollationKey(1)), 0);
    ASSERT_EQ(store.Insert(vellum::TreeEntry(vellum::MemoKey(1, 77, 0, 0), "chunk")), 0);
    ASSERT_EQ(store.Insert(vellum::TreeEntry(vellum::KindPrefix(1, 0xF8), "?")), 0);
    std::string number;
    vellum::AppendBE32(number, 0x100000);
    ASSERT_EQ(store.Insert(vellum::TreeEntry(vellum::NameKey("GHOST"), number)), 0);
  });
  const Result r = Run({"check", db});
  EXPECT_EQ(r.code, kExitFailed);
  EXPECT_EQ(r.out,
            "check name: table GHOST has number 1048576, which the file never handed out\n"
            "check definition: table UNNAMED: its definition cannot be read\n"
            "check entry-kind: table UNNAMED: an entry of unknown kind 248\n"
            "check memo: table UNNAMED: a memo chunk of record 77, which does not exist\n"
            "check collation: table UNNAMED: no collating table\n");
  // The other commands refuse the table with a clear line rather than guess its layout.
  const Result dump = Run({"dump", db});
  EXPECT_EQ(dump.code, kExitFailed);
  EXPECT_NE(dump.err.find("Invalid Record Declaration (47)"), std::string::npos) << dump.err;
}

TEST_F(VlutoolTest, DamagedPageIsAFailedCheckNotACrash) {
  CreatePasswords();
  for (int i = 0; i < 5; ++i) AddDomain("site" + std::to_string(i), "me");
  ASSERT_EQ(Run({"check", db}).code, 0);
  std::string bytes = Read(db);
  const uint32_t root = static_cast<uint8_t>(bytes[28]) | static_cast<uint8_t>(bytes[29]) << 8;
  const size_t page = 0x200 + 256 * size_t{root};
  ASSERT_LT(page + 64, bytes.size());
  for (size_t i = page + 13; i < page + 64; ++i) bytes[i] = '\xEE';  // the first entries
  std::ofstream(db, std::ios::binary | std::ios::trunc) << bytes;

  for (const char* command : {"check", "dump", "entries", "get"}) {
    std::vector<std::string> args = {command, db};
    if (std::string(command) == "get") args.push_back("ClientDomain=site1");
    const Result r = Run(args);
    EXPECT_EQ(r.code, kExitFailed) << command;
    EXPECT_TRUE(IsStopLine(r.err, "vlutool: ")) << command << ": " << r.err;
    if (std::string(command) == "check") {
      EXPECT_TRUE(IsStopLine(r.out, "")) << r.out;
    }
  }
}

// The built program itself on a damaged file: the stop becomes exit 1 and
// one line, not an abort.
TEST_F(VlutoolTest, BuiltProgramReportsDamageWithExitOne) {
  const std::string tool = std::string(CELLARKEY_BINARY_DIR) + "/tools/vlutool";
  if (!fs::exists(tool)) GTEST_SKIP() << "vlutool is not built in " << CELLARKEY_BINARY_DIR;
  CreatePasswords();
  AddDomain("site", "me");
  std::string bytes = Read(db);
  const uint32_t root = static_cast<uint8_t>(bytes[28]) | static_cast<uint8_t>(bytes[29]) << 8;
  const size_t page = 0x200 + 256 * size_t{root};
  for (size_t i = page + 13; i < page + 64; ++i) bytes[i] = '\xEE';  // the first entries
  std::ofstream(db, std::ios::binary | std::ios::trunc) << bytes;

  const std::string command = tool + " check " + db + " 2>" + Path("err.txt") + " >" + Path("out.txt");
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), kExitFailed);
  EXPECT_TRUE(IsStopLine(Read(Path("err.txt")), "vlutool: "))
      << Read(Path("err.txt"));
}

}  // namespace
}  // namespace ck::vlutool
