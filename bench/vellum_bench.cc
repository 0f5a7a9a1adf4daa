// Vellum against SQLite on the program's own workload, side by side in one
// run on the same data: records of the PASSWORDS shape (four space-padded
// text fields, 475 bytes, a duplicates key on the 100-byte client domain)
// added in one transaction, read in key order, looked up at random by key,
// then added one commit each. SQLite keeps the same rows in a table with an
// index on the client domain, with its default journal and synchronous
// settings. Each workload is timed whole (a plain main(), not Google
// Benchmark's repetitions: the steps build on each other).
//
// Usage: vellum_bench [RECORDS [FOLDER]]   (default 100000 records in /tmp)
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "storage/records.h"
#include "storage/vellum/vellum_driver.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Row {
  std::string domain, login, password, other;
};

// Deterministic rows; about one domain in five is shared by two records.
std::vector<Row> MakeRows(size_t count, uint32_t seed) {
  std::mt19937 rng(seed);
  const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  auto word = [&](size_t lo, size_t hi) {
    std::string s(lo + rng() % (hi - lo + 1), ' ');
    for (char& c : s) c = kLetters[rng() % 36];
    return s;
  };
  std::vector<Row> rows;
  rows.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    Row r;
    if (i > 0 && rng() % 5 == 0) r.domain = rows[rng() % i].domain;
    else r.domain = "www." + word(4, 20) + ".com";
    r.login = word(5, 30) + "@mail.example";
    r.password = word(8, 20);
    r.other = "notes " + word(10, 120);
    rows.push_back(std::move(r));
  }
  return rows;
}

void SetText(char* record, uint32_t offset, uint32_t length, const std::string& text) {
  std::memset(record + offset, ' ', length);
  std::memcpy(record + offset, text.data(), std::min<size_t>(text.size(), length));
}

// Wall time and the process's processor time (user and system) of a step:
// on a busy machine the second is the steadier comparison.
struct Cost {
  double wall = 0;
  double cpu = 0;
};

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  auto s = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
  return s(u.ru_utime) + s(u.ru_stime);
}

template <typename Fn>
Cost Measure(Fn&& fn) {
  const auto wall = Clock::now();
  const double cpu = CpuSeconds();
  fn();
  return {std::chrono::duration<double>(Clock::now() - wall).count(), CpuSeconds() - cpu};
}

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "vellum_bench: %s failed\n", what);
    std::exit(1);
  }
}

// ---- Vellum, through the record statements ----

class VellumSide {
 public:
  explicit VellumSide(const std::string& path) : buffer_(475, ' ') {
    ck::vellum::RegisterVellumDriver();
    auto field = [&](const char* name, uint32_t offset, uint32_t length) {
      ck::storage::FieldDescriptor f;
      f.type = ck::storage::STRING;
      f.offset = offset;
      f.length = length;
      f.name = name;
      fcb_.fields.push_back(f);
    };
    field("PAS:ClientDomain", 0, 100);
    field("PAS:Login", 100, 100);
    field("PAS:Password", 200, 20);
    field("PAS:OtherInfo", 220, 255);
    ck::storage::KeyDescriptor key;
    key.name = "PAS:KeyClientDomain";
    key.externalName = "PAS:KEYCLIENTDOMAIN";
    key.duplicates = true;
    key.components.push_back({0, false});
    fcb_.keys.push_back(key);
    fcb_.recordLength = 475;
    fcb_.record = buffer_.data();
    fcb_.name = path;
    Check(ck::storage::Create(fcb_) == 0, "vellum create");
    Check(ck::storage::Open(fcb_, ck::storage::ReadWrite | ck::storage::DenyNone) == 0, "vellum open");
  }
  ~VellumSide() { ck::storage::Close(fcb_); }

  void Fill(const Row& r) {
    SetText(fcb_.record, 0, 100, r.domain);
    SetText(fcb_.record, 100, 100, r.login);
    SetText(fcb_.record, 200, 20, r.password);
    SetText(fcb_.record, 220, 255, r.other);
  }
  void AddAllInOneTransaction(const std::vector<Row>& rows) {
    Check(ck::storage::Logout(1, {&fcb_}) == 0, "vellum logout");
    for (const Row& r : rows) {
      Fill(r);
      Check(ck::storage::Add(fcb_) == 0, "vellum add");
    }
    Check(ck::storage::Commit() == 0, "vellum commit");
  }
  size_t ReadInKeyOrder() {
    size_t n = 0;
    Check(ck::storage::SetKey(fcb_, 0) == 0, "vellum set");
    while (ck::storage::Next(fcb_) == 0) ++n;
    return n;
  }
  size_t Lookups(const std::vector<const Row*>& wanted) {
    size_t found = 0;
    for (const Row* r : wanted) {
      SetText(fcb_.record, 0, 100, r->domain);
      if (ck::storage::GetByKey(fcb_, 0) == 0) ++found;
    }
    return found;
  }
  void AddEachInOwnCommit(const std::vector<Row>& rows) {
    for (const Row& r : rows) {
      Fill(r);
      Check(ck::storage::Add(fcb_) == 0, "vellum add");
    }
  }

 private:
  std::string buffer_;
  ck::storage::FileControlBlock fcb_;
};

// ---- SQLite ----

class SqliteSide {
 public:
  explicit SqliteSide(const std::string& path) {
    Check(sqlite3_open(path.c_str(), &db_) == SQLITE_OK, "sqlite open");
    Exec("CREATE TABLE passwords(client_domain TEXT, login TEXT, password TEXT, other_info TEXT)");
    Exec("CREATE INDEX key_client_domain ON passwords(client_domain)");
    insert_ = Prepare("INSERT INTO passwords VALUES(?1, ?2, ?3, ?4)");
  }
  ~SqliteSide() {
    sqlite3_finalize(insert_);
    sqlite3_close(db_);
  }

  void AddAllInOneTransaction(const std::vector<Row>& rows) {
    Exec("BEGIN");
    for (const Row& r : rows) Insert(r);
    Exec("COMMIT");
  }
  // Each row copied into a record buffer, as the program's reads would.
  size_t ReadInKeyOrder() {
    sqlite3_stmt* s = Prepare(
        "SELECT client_domain, login, password, other_info FROM passwords ORDER BY client_domain");
    size_t n = 0;
    std::string record(475, ' ');
    while (sqlite3_step(s) == SQLITE_ROW) {
      CopyRow(s, record.data());
      ++n;
    }
    sqlite3_finalize(s);
    return n;
  }
  size_t Lookups(const std::vector<const Row*>& wanted) {
    sqlite3_stmt* s = Prepare(
        "SELECT client_domain, login, password, other_info FROM passwords WHERE client_domain = ?1 "
        "ORDER BY client_domain LIMIT 1");
    size_t found = 0;
    std::string record(475, ' ');
    for (const Row* r : wanted) {
      sqlite3_bind_text(s, 1, r->domain.data(), static_cast<int>(r->domain.size()), SQLITE_STATIC);
      if (sqlite3_step(s) == SQLITE_ROW) {
        CopyRow(s, record.data());
        ++found;
      }
      sqlite3_reset(s);
    }
    sqlite3_finalize(s);
    return found;
  }
  void AddEachInOwnCommit(const std::vector<Row>& rows) {
    for (const Row& r : rows) Insert(r);
  }

 private:
  void Exec(const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
      std::fprintf(stderr, "vellum_bench: %s: %s\n", sql, error ? error : "?");
      std::exit(1);
    }
  }
  sqlite3_stmt* Prepare(const char* sql) {
    sqlite3_stmt* s = nullptr;
    Check(sqlite3_prepare_v2(db_, sql, -1, &s, nullptr) == SQLITE_OK, "sqlite prepare");
    return s;
  }
  void Insert(const Row& r) {
    const std::string* values[] = {&r.domain, &r.login, &r.password, &r.other};
    for (int i = 0; i < 4; ++i)
      sqlite3_bind_text(insert_, i + 1, values[i]->data(), static_cast<int>(values[i]->size()), SQLITE_STATIC);
    Check(sqlite3_step(insert_) == SQLITE_DONE, "sqlite insert");
    sqlite3_reset(insert_);
  }
  static void CopyRow(sqlite3_stmt* s, char* record) {
    static const uint32_t kOffsets[] = {0, 100, 200, 220};
    static const uint32_t kLengths[] = {100, 100, 20, 255};
    for (int i = 0; i < 4; ++i) {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
      SetText(record, kOffsets[i], kLengths[i], text ? text : "");
    }
  }

  sqlite3* db_ = nullptr;
  sqlite3_stmt* insert_ = nullptr;
};

void Line(const char* what, const Cost& vellum, const Cost& sqlite) {
  auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
  std::printf("%-38s %9.3f %9.3f %7.2f   %9.3f %9.3f %7.2f\n", what, vellum.wall, sqlite.wall,
              ratio(vellum.wall, sqlite.wall), vellum.cpu, sqlite.cpu, ratio(vellum.cpu, sqlite.cpu));
}

}  // namespace

int main(int argc, char** argv) {
  const size_t records = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
  const std::filesystem::path folder =
      std::filesystem::path(argc > 2 ? argv[2] : "/tmp") / ("ck_vellum_bench_" + std::to_string(getpid()));
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::string vellumPath = (folder / "PASSWORD.VLU").string();
  const std::string sqlitePath = (folder / "passwords.db").string();

  const std::vector<Row> rows = MakeRows(records, 1);
  const std::vector<Row> single = MakeRows(1000, 2);
  const size_t lookups = std::min<size_t>(records, 10000);
  std::vector<const Row*> wanted;
  std::mt19937 rng(3);
  for (size_t i = 0; i < lookups; ++i) wanted.push_back(&rows[rng() % rows.size()]);

  Cost v[4], s[4];
  size_t vellumRead = 0, sqliteRead = 0, vellumFound = 0, sqliteFound = 0;
  {
    VellumSide vellum(vellumPath);
    SqliteSide sqlite(sqlitePath);
    v[0] = Measure([&] { vellum.AddAllInOneTransaction(rows); });
    s[0] = Measure([&] { sqlite.AddAllInOneTransaction(rows); });
    v[1] = Measure([&] { vellumRead = vellum.ReadInKeyOrder(); });
    s[1] = Measure([&] { sqliteRead = sqlite.ReadInKeyOrder(); });
    v[2] = Measure([&] { vellumFound = vellum.Lookups(wanted); });
    s[2] = Measure([&] { sqliteFound = sqlite.Lookups(wanted); });
    v[3] = Measure([&] { vellum.AddEachInOwnCommit(single); });
    s[3] = Measure([&] { sqlite.AddEachInOwnCommit(single); });
  }
  Check(vellumRead == records && sqliteRead == records, "reading every record");
  Check(vellumFound == lookups && sqliteFound == lookups, "finding every looked-up record");

  std::printf("%zu records of 475 bytes; seconds, and Vellum's time as a multiple of SQLite's\n", records);
  std::printf("%-38s %9s %9s %7s   %9s %9s %7s\n", "workload", "Vellum", "SQLite", "ratio", "cpu V",
              "cpu S", "ratio");
  const std::string addAll = "add " + std::to_string(records) + " in one transaction";
  const std::string read = "read " + std::to_string(records) + " in key order";
  const std::string look = std::to_string(lookups) + " random lookups by key";
  Line(addAll.c_str(), v[0], s[0]);
  Line(read.c_str(), v[1], s[1]);
  Line(look.c_str(), v[2], s[2]);
  Line("add 1000, one commit each", v[3], s[3]);
  const auto vellumSize = std::filesystem::file_size(vellumPath);
  const auto sqliteSize = std::filesystem::file_size(sqlitePath);
  std::printf("file size: Vellum %llu bytes, SQLite %llu bytes (ratio %.2f)\n",
              static_cast<unsigned long long>(vellumSize), static_cast<unsigned long long>(sqliteSize),
              static_cast<double>(vellumSize) / static_cast<double>(sqliteSize));
  std::filesystem::remove_all(folder);
  return 0;
}
