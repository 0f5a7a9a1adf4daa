// Vellum against SQLite on the program's own workload, side by side in one
// run on the same data: records of the PASSWORDS shape (four space-padded
// text fields, 475 bytes, a duplicates key on the 100-byte client domain).
// SQLite keeps the same values trimmed (as a SQLite user would store them)
// in a table with an index on the client domain, with its default journal
// and synchronous settings.
//
// Both files are closed after every phase and opened again for the next, so
// that neither side reads from a warm cache of its own (the operating
// system's file cache stays warm for both). Each phase is timed whole, in
// wall time and in processor time (user and system); every case runs
// several times and the median is printed. The cases:
//   add N in one transaction     at each size given, into fresh files
//   add N (workload)             then on that file, each after a reopen:
//   read N in key order          Vellum reads ahead (BUFFER) as the view
//                                engine does
//   10,000 random lookups by key
//   add 1,000, one commit each
//   build T, 10,000 a commit     fresh files, T records in commits of 10,000
//
// Usage: vellum_bench [--runs R] [--records N] [--sizes A,B,...] [--build T]
//                     [--folder DIR]
// Defaults: 3 runs, N = 100000, sizes 10000,100000,1000000, T = 1000000,
// /tmp. "--sizes 0" or "--build 0" leaves that case out.
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "bench/passwords_layout.h"
#include "storage/codes.h"
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

// Records read ahead per batch in a key-order read (the view engine's page).
constexpr int32_t kReadAhead = 64;

class VellumSide {
 public:
  // Creates the file when create is set, then opens it.
  VellumSide(const std::string& path, bool create) : buffer_(475, ' ') {
    ck::vellum::RegisterVellumDriver();
    ck::bench::DeclarePasswords(fcb_, buffer_.data(), path);
    if (create) Check(ck::storage::Create(fcb_) == 0, "vellum create");
    Check(ck::storage::Open(fcb_, ck::storage::ReadWrite | ck::storage::DenyNone) == 0, "vellum open");
  }
  ~VellumSide() { ck::storage::Close(fcb_); }

  void Fill(const Row& r) {
    SetText(fcb_.record, 0, 100, r.domain);
    SetText(fcb_.record, 100, 100, r.login);
    SetText(fcb_.record, 200, 20, r.password);
    SetText(fcb_.record, 220, 255, r.other);
  }
  void AddInTransactions(const std::vector<Row>& rows, size_t perCommit) {
    for (size_t at = 0; at < rows.size(); at += perCommit) {
      Check(ck::storage::Logout(1, {&fcb_}) == 0, "vellum logout");
      for (size_t i = at; i < std::min(rows.size(), at + perCommit); ++i) {
        Fill(rows[i]);
        Check(ck::storage::Add(fcb_) == 0, "vellum add");
      }
      Check(ck::storage::Commit() == 0, "vellum commit");
    }
  }
  size_t ReadInKeyOrder() {
    size_t n = 0;
    Check(ck::storage::SetKey(fcb_, 0) == 0, "vellum set");
    ck::storage::DriverArgs ahead;
    ahead.count = kReadAhead;
    ck::storage::DriverEntry(ck::storage::BUFFER, fcb_, ahead);  // a driver without it reads one by one
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
  SqliteSide(const std::string& path, bool create) {
    Check(sqlite3_open(path.c_str(), &db_) == SQLITE_OK, "sqlite open");
    if (create) {
      Exec("CREATE TABLE passwords(client_domain TEXT, login TEXT, password TEXT, other_info TEXT)");
      Exec("CREATE INDEX key_client_domain ON passwords(client_domain)");
    }
    insert_ = Prepare("INSERT INTO passwords VALUES(?1, ?2, ?3, ?4)");
  }
  ~SqliteSide() {
    sqlite3_finalize(insert_);
    sqlite3_close(db_);
  }

  void AddInTransactions(const std::vector<Row>& rows, size_t perCommit) {
    for (size_t at = 0; at < rows.size(); at += perCommit) {
      Exec("BEGIN");
      for (size_t i = at; i < std::min(rows.size(), at + perCommit); ++i) Insert(rows[i]);
      Exec("COMMIT");
    }
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

// The median of one measure over the runs.
double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t m = v.size() / 2;
  return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

// Every run's cost of one case on both sides, cases in the order first met.
struct Case {
  std::string name;
  size_t records = 0;  // the per-record cost divides by this
  std::vector<Cost> vellum, sqlite;
};

class Results {
 public:
  void Add(const std::string& name, size_t records, const Cost& v, const Cost& s) {
    auto it = std::find_if(cases_.begin(), cases_.end(), [&](const Case& c) { return c.name == name; });
    if (it == cases_.end()) {
      cases_.push_back({name, records, {}, {}});
      it = cases_.end() - 1;
    }
    it->vellum.push_back(v);
    it->sqlite.push_back(s);
  }
  void Print() const {
    std::printf("%-34s %8s %8s %6s   %8s %8s %6s   %8s %8s\n", "case (median)", "wall V", "wall S",
                "ratio", "cpu V", "cpu S", "ratio", "us/rec V", "us/rec S");
    for (const Case& c : cases_) {
      auto med = [](const std::vector<Cost>& costs, double Cost::*m) {
        std::vector<double> v;
        for (const Cost& k : costs) v.push_back(k.*m);
        return Median(v);
      };
      const double wv = med(c.vellum, &Cost::wall), ws = med(c.sqlite, &Cost::wall);
      const double cv = med(c.vellum, &Cost::cpu), cs = med(c.sqlite, &Cost::cpu);
      const double n = static_cast<double>(c.records);
      std::printf("%-34s %8.3f %8.3f %6.2f   %8.3f %8.3f %6.2f   %8.2f %8.2f\n", c.name.c_str(), wv,
                  ws, ws > 0 ? wv / ws : 0.0, cv, cs, cs > 0 ? cv / cs : 0.0, cv * 1e6 / n,
                  cs * 1e6 / n);
    }
  }

 private:
  std::vector<Case> cases_;
};

std::vector<size_t> ParseSizes(const char* text) {
  std::vector<size_t> sizes;
  for (const char* p = text; *p;) {
    char* end = nullptr;
    const size_t n = std::strtoul(p, &end, 10);
    if (end == p) break;
    if (n > 0) sizes.push_back(n);
    p = *end == ',' ? end + 1 : end;
  }
  return sizes;
}

// 1000000 as "1,000,000".
std::string Count(size_t n) {
  const std::string digits = std::to_string(n);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

struct Files {
  std::string vellum, sqlite;
  void Remove() const {
    std::filesystem::remove(vellum);
    std::filesystem::remove(sqlite);
    std::filesystem::remove(sqlite + "-journal");
  }
};

}  // namespace

int main(int argc, char** argv) {
  size_t runs = 3, records = 100000, build = 1000000;
  std::vector<size_t> sizes = {10000, 100000, 1000000};
  std::string base = "/tmp";
  for (int i = 1; i < argc; i += 2) {
    const std::string opt = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : "";
    if (opt == "--runs") runs = std::max<size_t>(1, std::strtoul(value, nullptr, 10));
    else if (opt == "--records") records = std::max<size_t>(1, std::strtoul(value, nullptr, 10));
    else if (opt == "--sizes") sizes = ParseSizes(value);
    else if (opt == "--build") build = std::strtoul(value, nullptr, 10);
    else if (opt == "--folder") base = value;
    else {
      std::fprintf(stderr, "usage: vellum_bench [--runs R] [--records N] [--sizes A,B,...] "
                           "[--build T] [--folder DIR]\n");
      return 2;
    }
  }
  const std::filesystem::path folder =
      std::filesystem::path(base) / ("ck_vellum_bench_" + std::to_string(getpid()));
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const Files files{(folder / "PASSWORD.VLU").string(), (folder / "passwords.db").string()};

  const std::vector<Row> rows = MakeRows(records, 1);
  const std::vector<Row> single = MakeRows(1000, 2);
  const size_t lookups = std::min<size_t>(records, 10000);
  std::vector<const Row*> wanted;
  std::mt19937 rng(3);
  for (size_t i = 0; i < lookups; ++i) wanted.push_back(&rows[rng() % rows.size()]);

  // One case: the Vellum step, then the SQLite step, each on its own open.
  Results results;
  auto measure = [&](const std::string& name, size_t count, bool create,
                     const std::function<void(VellumSide&)>& onVellum,
                     const std::function<void(SqliteSide&)>& onSqlite) {
    Cost v, s;
    {
      VellumSide vellum(files.vellum, create);
      v = Measure([&] { onVellum(vellum); });
    }
    {
      SqliteSide sqlite(files.sqlite, create);
      s = Measure([&] { onSqlite(sqlite); });
    }
    results.Add(name, count, v, s);
  };

  uintmax_t vellumSize = 0, sqliteSize = 0;
  for (size_t run = 0; run < runs; ++run) {
    for (size_t size : sizes) {
      const std::vector<Row> bulk = MakeRows(size, 4);
      files.Remove();
      measure("add " + Count(size) + " in one transaction", size, true,
              [&](VellumSide& v) { v.AddInTransactions(bulk, bulk.size()); },
              [&](SqliteSide& s) { s.AddInTransactions(bulk, bulk.size()); });
    }
    // The program's workload on N records, each phase on a fresh open.
    files.Remove();
    measure("add " + Count(records) + " (workload)", records, true,
            [&](VellumSide& v) { v.AddInTransactions(rows, rows.size()); },
            [&](SqliteSide& s) { s.AddInTransactions(rows, rows.size()); });
    vellumSize = std::filesystem::file_size(files.vellum);
    sqliteSize = std::filesystem::file_size(files.sqlite);
    size_t vellumCount = 0, sqliteCount = 0;
    measure("read " + Count(records) + " in key order", records, false,
            [&](VellumSide& v) { vellumCount = v.ReadInKeyOrder(); },
            [&](SqliteSide& s) { sqliteCount = s.ReadInKeyOrder(); });
    Check(vellumCount == records && sqliteCount == records, "reading every record");
    measure(Count(lookups) + " random lookups by key", lookups, false,
            [&](VellumSide& v) { vellumCount = v.Lookups(wanted); },
            [&](SqliteSide& s) { sqliteCount = s.Lookups(wanted); });
    Check(vellumCount == lookups && sqliteCount == lookups, "finding every looked-up record");
    measure("add 1,000, one commit each", single.size(), false,
            [&](VellumSide& v) { v.AddEachInOwnCommit(single); },
            [&](SqliteSide& s) { s.AddEachInOwnCommit(single); });
    if (build > 0) {
      const std::vector<Row> many = MakeRows(build, 5);
      files.Remove();
      measure("build " + Count(build) + ", 10,000 a commit", build, true,
              [&](VellumSide& v) { v.AddInTransactions(many, 10000); },
              [&](SqliteSide& s) { s.AddInTransactions(many, 10000); });
    }
    std::fprintf(stderr, "vellum_bench: run %zu of %zu done\n", run + 1, runs);
  }

  std::printf("%zu run(s); records of 475 bytes (SQLite: the same values trimmed); seconds,\n"
              "Vellum's time as a multiple of SQLite's, processor microseconds per record\n",
              runs);
  results.Print();
  std::printf("file size after adding %s: Vellum %ju bytes, SQLite %ju bytes (ratio %.2f)\n",
              Count(records).c_str(), vellumSize, sqliteSize,
              static_cast<double>(vellumSize) / static_cast<double>(sqliteSize));
  std::filesystem::remove_all(folder);
  return 0;
}
