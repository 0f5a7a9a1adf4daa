// The trace layer: declaration text, call lines, value formats, settings
// and the log it writes through the real entry point.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "runtime/date_time.h"
#include "storage/records.h"
#include "storage/trace.h"
#include "storage/vellum/consistency.h"
#include "tests/storage/mem_table_driver.h"

namespace ck::storage {
namespace {

using testing::MemTableDriver;
using testing::TestFile;

FileControlBlock DeclaredTable() {
  FileControlBlock fcb;
  fcb.label = "PASSWORDS";
  fcb.name = "PASSWORD";
  fcb.owner = "s3cret-owner";
  fcb.create = true;
  fcb.encrypt = true;
  fcb.thread = true;
  auto field = [&](const char* name, uint8_t type, uint32_t length) -> FieldDescriptor& {
    FieldDescriptor f;
    f.name = name;
    f.type = type;
    f.length = length;
    fcb.fields.push_back(f);
    return fcb.fields.back();
  };
  field("PAS:ClientDomain", STRING, 100).picture = "s100";
  field("PAS:Code", STRING, 20);
  FieldDescriptor& amount = field("PAS:Amount", DECIMAL, 4);
  amount.digits = 7;
  amount.places = 2;
  FieldDescriptor& list = field("PAS:List", LONG, 12);
  list.dim = 3;
  list.externalName = "LST";
  field("PAS:Whole", STRING, 12).over = 3;
  field("PAS:Odd", 42, 1);

  KeyDescriptor key;
  key.name = "PAS:KeyClientDomain";
  key.externalName = "PAS:KEYCLIENTDOMAIN";
  key.duplicates = true;
  key.nocase = true;
  key.components = {{0, false}, {1, true}};
  fcb.keys.push_back(key);
  KeyDescriptor index;
  index.name = "PAS:ByCode";
  index.isIndex = true;
  index.opt = true;
  index.primary = true;
  index.components = {{1, false}};
  fcb.keys.push_back(index);

  MemoDescriptor memo;
  memo.name = "PAS:Notes";
  memo.size = 1000;
  memo.externalName = "NOTES";
  memo.binary = true;
  fcb.memos.push_back(memo);
  MemoDescriptor blob;
  blob.name = "PAS:Picture";
  blob.blob = true;
  fcb.memos.push_back(blob);
  return fcb;
}

TEST(TraceTextTest, DeclarationMasksTheOwnerAndListsEveryPart) {
  const std::string text = DeclarationText(DeclaredTable());
  EXPECT_EQ(text.find("s3cret"), std::string::npos) << "the password is never written";
  EXPECT_EQ(text,
            "PASSWORDS FILE,DRIVER('VELLUM'),OWNER(******),NAME('PASSWORD'),CREATE,ENCRYPT,THREAD\n"
            "  PAS:KeyClientDomain KEY(PAS:ClientDomain,-PAS:Code),DUP,NOCASE,"
            "NAME('PAS:KEYCLIENTDOMAIN')\n"
            "  PAS:ByCode INDEX(PAS:Code),OPT,PRIMARY\n"
            "  PAS:Notes MEMO(1000),NAME('NOTES'),BINARY\n"
            "  PAS:Picture BLOB\n"
            "  RECORD\n"
            "    PAS:ClientDomain STRING(@s100)\n"
            "    PAS:Code STRING(20)\n"
            "    PAS:Amount DECIMAL(7,2)\n"
            "    PAS:List LONG, DIM(3), NAME('LST')\n"
            "    PAS:Whole STRING(12), OVER(PAS:List)\n"
            "    PAS:Odd UNKNOWN\n"
            "  END\n"
            "END\n");
}

TEST(TraceTextTest, CallLines) {
  FileControlBlock fcb = DeclaredTable();
  DriverArgs args;
  args.key = 0;
  args.pointer = 12;
  EXPECT_EQ(CallText(GETkeyptr, fcb, args, 35, 105),
            "GETkeyptr(PASSWORDS) Key(PAS:KeyClientDomain) Pointer(12) Error: 35 "
            "Time Taken: 1.05 secs");

  // An unknown code has no name; binary arguments cannot break the line.
  DriverArgs odd;
  odd.text = std::string_view("a\nb\x01", 4);
  EXPECT_EQ(CallText(200, fcb, odd, 80, 0),
            "(PASSWORDS) Text('a\\x0Ab\\x01') Error: 80 Time Taken: 0.00 secs");

  // Outputs are shown only when the call succeeded.
  int64_t count = 7;
  std::string value = "ON";
  DriverArgs out;
  out.number = &count;
  out.result = &value;
  EXPECT_EQ(CallText(RECORDSfile, fcb, out, 0, 0),
            "RECORDSfile(PASSWORDS) Number(7) Result('ON') Error: 0 Time Taken: 0.00 secs");
  EXPECT_EQ(CallText(RECORDSfile, fcb, out, 37, 0),
            "RECORDSfile(PASSWORDS) Error: 37 Time Taken: 0.00 secs");
  fcb.accessMode = 0x42;
  EXPECT_EQ(CallText(OPEN, fcb, DriverArgs{}, 0, 12345),
            "OPEN(PASSWORDS) Mode(0x42) Error: 0 Time Taken: 123.45 secs");
}

TEST(TraceTextTest, DatesAndTimes) {
  EXPECT_EQ(DateText(4), "01 Jan 1801 (4)");
  EXPECT_EQ(DateText(72687), "01 Jan 2000 (72687)");
  EXPECT_EQ(DateText(kLastDate), "31 Dec 9999 (2994626)");
  EXPECT_EQ(DateText(0), "Invalid date (0)");
  EXPECT_EQ(DateText(3), "Invalid date (3)");
  EXPECT_EQ(DateText(-5), "Invalid date (-5)");
  EXPECT_EQ(TimeText(1), "00:00:00.00 (1)");
  EXPECT_EQ(TimeText(8640000), "23:59:59.99 (8640000)");
  EXPECT_EQ(TimeText(4526502), "12:34:25.01 (4526502)");
  EXPECT_EQ(TimeText(0), "Invalid time (0)");
  EXPECT_EQ(TimeText(8640001), "Invalid time (8640001)");
  EXPECT_EQ(ElapsedText(7), "0.07 secs");
  EXPECT_EQ(ElapsedText(6000), "60.00 secs");
}

class TraceLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() /
          ("ck_trace_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    ini = (dir / "trace.ini").string();
    ::setenv("CELLARKEY_TRACE_INI", ini.c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("CELLARKEY_TRACE_INI");
    std::filesystem::remove(ini);
    ReloadTraceSettings();  // back to off for the other tests
    std::filesystem::remove_all(dir);
  }
  void WriteIni(const std::string& body) {
    std::ofstream(ini) << "[other]\nTraceFile=wrong\n[cellarkey_trace]\n" << body;
  }
  std::string ReadLog(const std::string& name) {
    std::ifstream in(dir / name);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::filesystem::path dir;
  std::string ini;
};

TEST_F(TraceLogTest, SettingsDecideWhetherAndWhereToTrace) {
  WriteIni("Details=1\n");
  EXPECT_TRUE(ReadTraceSettings().logFile.empty()) << "neither TraceFile nor Profile: off";
  WriteIni("Profile=1\n");
  EXPECT_EQ(ReadTraceSettings().logFile, "CellarkeyTrace.LOG");
  WriteIni("TraceFile=" + (dir / "calls").string() + "\nFlush=1\n");
  EXPECT_EQ(ReadTraceSettings().logFile, (dir / "calls.LOG").string());
  EXPECT_TRUE(ReadTraceSettings().flush);
  EXPECT_FALSE(ReadTraceSettings().details);
  WriteIni("TraceFile=" + (dir / "calls.txt").string() + "\n");
  EXPECT_EQ(ReadTraceSettings().logFile, (dir / "calls.txt").string());
  WriteIni("TraceFile=" + (dir / "v1.2" / "calls").string() + "\n");
  EXPECT_EQ(ReadTraceSettings().logFile, (dir / "v1.2" / "calls.LOG").string())
      << "a dot in a folder name is no extension";
}

TEST_F(TraceLogTest, ALogThatCannotBeWrittenTurnsTracingOffAndSaysWhy) {
  // A FIFO without a reader would block an ordinary open for ever.
  const std::string fifo = (dir / "pipe.LOG").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string missing = (dir / "no" / "such" / "folder" / "calls.LOG").string();
  const std::string folder = (dir / "folder.LOG").string();
  std::filesystem::create_directories(folder);
  for (const std::string& log : {fifo, missing, folder}) {
    WriteIni("TraceFile=" + log + "\n");
    ::testing::internal::CaptureStderr();
    ReloadTraceSettings();
    EXPECT_FALSE(TraceEnabled()) << log;
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("the trace log " + ReadTraceSettings().logFile + " cannot be written"),
              std::string::npos)
        << said;
  }
}

TEST_F(TraceLogTest, TracesCallsThroughTheEntryPointWithoutChangingResults) {
  auto driver = MemTableDriver::Install();
  WriteIni("TraceFile=" + (dir / "calls").string() + "\nDetails=1\nFlush=1\n");
  ReloadTraceSettings();
  ASSERT_TRUE(TraceEnabled());

  TestFile file("traced", 12);
  file.fcb.owner = "hunter2";
  auto field = [&](uint8_t type, uint32_t offset, const char* name) {
    FieldDescriptor f;
    f.type = type;
    f.offset = offset;
    f.length = 4;
    f.name = name;
    file.fcb.fields.push_back(f);
  };
  field(STRING, 0, "T:Text");
  field(DATE, 4, "T:Date");
  field(TIME, 8, "T:Time");
  ASSERT_EQ(Create(file.fcb), 0);
  const int32_t day = 72687, clock = 4526502;
  std::memcpy(file.buffer.data(), "ab  ", 4);
  std::memcpy(file.buffer.data() + 4, &day, 4);
  std::memcpy(file.buffer.data() + 8, &clock, 4);
  ASSERT_EQ(Add(file.fcb), 0);
  ASSERT_EQ(Close(file.fcb), 0);
  ASSERT_EQ(Open(file.fcb, ReadWrite | DenyNone), 0);
  EXPECT_EQ(GetByPointer(file.fcb, 9), RecordNotFoundErr);
  EXPECT_EQ(DriverEntry(200, file.fcb), NoDriverSupportErr);
  // Calls the entry point answers itself are calls all the same.
  EXPECT_EQ(DriverEntry(QUERY_VIEW, file.fcb), 0);
  EXPECT_EQ(DriverEntry(STARTRAN, file.fcb), 0);
  EXPECT_EQ(DriverEntry(ENDTRAN, file.fcb), 0);
  ASSERT_EQ(Close(file.fcb), 0);
  ASSERT_EQ(Close(file.fcb), 0);  // closed already: answered before the driver, traced all the same
  // A consistency stop leaves its check in the log before the program ends.
  {
    vellum::ScopedThrowOnCorruption catching;
    EXPECT_THROW(vellum::ConsistencyStop(1477), vellum::CorruptionError);
  }

  const std::string log = ReadLog("calls.LOG");
  EXPECT_EQ(log.find("hunter2"), std::string::npos);
  EXPECT_NE(log.find("TEST FILE,DRIVER('MEMTABLE'),OWNER(******),NAME('traced')\n"),
            std::string::npos)
      << log;
  const std::regex timeTaken(R"(Time Taken: \d+\.\d\d secs)");
  EXPECT_TRUE(std::regex_search(log, timeTaken));
  EXPECT_TRUE(std::regex_search(
      log, std::regex(R"(T\d+ ADD\(TEST\) Error: 0 Time Taken: \d+\.\d\d secs\n)"
                      R"(    T:Text = 'ab'\n)"
                      R"(    T:Date = 01 Jan 2000 \(72687\)\n)"
                      R"(    T:Time = 12:34:25\.01 \(4526502\)\n)")))
      << log;
  EXPECT_TRUE(std::regex_search(log, std::regex(R"(T\d+ OPEN\(TEST\) Mode\(0x42\) Error: 0 )")));
  EXPECT_TRUE(std::regex_search(log, std::regex(R"(GETfileptr\(TEST\) Pointer\(9\) Error: 35 )")));
  EXPECT_TRUE(std::regex_search(log, std::regex(R"(T\d+ \(TEST\) Error: 80 )")))
      << "a code outside 0..104 is traced without a name";
  EXPECT_NE(log.find("Vellum File Driver Error: Possible data corruption in file (1477)\n"),
            std::string::npos);
  const std::regex close(R"(T\d+ CLOSE\(TEST\) Error: 0 )");
  EXPECT_EQ(std::distance(std::sregex_iterator(log.begin(), log.end(), close), std::sregex_iterator()), 3);
  for (const char* op : {"QUERY_VIEW", "STARTRAN", "ENDTRAN"}) {
    EXPECT_TRUE(std::regex_search(log, std::regex(std::string(R"(T\d+ )") + op +
                                                  R"(\(TEST\) Error: 0 Time Taken: )")))
        << op << " untraced";
  }
  EXPECT_EQ(log.find("T:Date", log.find("GETfileptr")), std::string::npos)
      << "no record dump after a failed read";

  struct stat st {};
  ASSERT_EQ(::stat((dir / "calls.LOG").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u) << "the log can hold record contents";
}

}  // namespace
}  // namespace ck::storage
