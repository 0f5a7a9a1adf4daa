#include "tools/vlutool/vlutool_commands.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <ostream>
#include <sstream>

#include "runtime/code_page.h"
#include "runtime/error_state.h"
#include "storage/codes.h"
#include "storage/records.h"
#include "storage/vellum/consistency.h"
#include "storage/vellum/key_codec.h"
#include "storage/vellum/table_name.h"
#include "storage/vellum/vellum_driver.h"
#include "tools/vlutool/vlutool_csv.h"
#include "tools/vlutool/vlutool_decl.h"
#include "tools/vlutool/vlutool_table.h"

namespace ck::vlutool {

namespace {

// Records a scan fetches under one access of the file.
constexpr int32_t kReadAhead = 64;

constexpr char kUsage[] =
    "usage: vlutool [--owner PASSWORD] COMMAND ARGS\n"
    "  tables FILE                       the tables of the file and their record counts\n"
    "  dump FILE [TABLE]                 the records as CSV, a header row first\n"
    "  entries FILE                      every tree entry in key order: kind, key, data (hex)\n"
    "  pages FILE                        the page tree: unit, class, level, entries, lengths\n"
    "  check FILE                        verify the whole file; one line per fault\n"
    "  create FILE DECLFILE              create a table from a declaration\n"
    "  add FILE FIELD=VALUE...           add a record\n"
    "  get FILE (@N | FIELD=VALUE...)    the records that match, as CSV\n"
    "  put FILE (@N | FIELD=VALUE...) set FIELD=VALUE...   change the one matching record\n"
    "  delete FILE (@N | FIELD=VALUE...) delete the one matching record\n"
    "  import FILE CSVFILE               add the rows of a CSV file (header: field names)\n"
    "  export FILE CSVFILE               write the records to a CSV file\n"
    "  builder [STRING]                  the driver string builder dialog; prints the string\n"
    "  choose                            choose a file and table in dialogs; prints FILE[\\!TABLE]\n"
    "FILE may name a table inside the file as FILE\\!TABLE.\n";

std::string CodeText(int rc) {
  std::string text = std::string(storage::ErrorText(rc)) + " (" + std::to_string(rc) + ")";
  // The operating system's error beside it, when the failed call posted one.
  const ErrorState& posted = ThreadErrorState();
  if (posted.code == rc && !posted.fileErrorText.empty())
    text += ": " + posted.fileErrorText + " (" + posted.fileErrorCode + ")";
  return text;
}

int Usage(Invocation& in, const char* usage) {
  in.error = std::string("usage: vlutool ") + usage;
  return kExitUsage;
}

TableRef RefOf(const Invocation& in, const std::string& file, const std::string& table = "") {
  return TableRef{file, table, in.owner};
}

bool SameTableName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

// The table that fileArg (FILE or FILE\!TABLE) and a second naming of it
// agree on: table as it is stored ("" when there is none), shown as the
// command line writes it (UTF-8), conflict the words between the two names
// in the refusal. The file part is split off once; joining two names would
// make a table named "A\!B".
bool JoinTable(const Invocation& in, const std::string& fileArg, const std::string& table,
               const std::string& shown, const std::string& conflict, TableRef* ref,
               std::string* error) {
  const vellum::TableName named = vellum::SplitTableName(fileArg);
  *ref = RefOf(in, fileArg, table);
  if (!named.explicitTable) return true;
  ref->file = named.path;
  ref->table = named.table;
  if (table.empty()) return true;
  if (!SameTableName(named.table, shown)) {
    *error = "the command line names the table " + named.table + conflict + shown;
    return false;
  }
  ref->table = table;
  return true;
}

// Ends the transaction of one table: Commit makes the changes last; leaving
// the scope without it rolls them back. Not copyable.
class WriteTransaction {
 public:
  explicit WriteTransaction(storage::FileControlBlock& fcb) : fcb_(fcb) {}
  ~WriteTransaction() {
    if (active_) storage::Rollback();
  }
  WriteTransaction(const WriteTransaction&) = delete;
  WriteTransaction& operator=(const WriteTransaction&) = delete;

  int Begin() {
    const int rc = storage::Logout(1, {&fcb_});
    active_ = rc == 0;
    return rc;
  }
  int Commit() {
    active_ = false;
    return storage::Commit();
  }

 private:
  storage::FileControlBlock& fcb_;
  bool active_ = false;
};

struct Assignment {
  int column = -1;
  std::string value;
};

// FIELD=VALUE arguments of the table's columns.
bool ParseAssignments(const ToolTable& t, const std::vector<std::string>& args, size_t from,
                      size_t to, std::vector<Assignment>* out, std::string* error) {
  out->clear();
  for (size_t i = from; i < to; ++i) {
    const size_t eq = args[i].find('=');
    if (eq == std::string::npos || eq == 0) {
      *error = "'" + args[i] + "' is not FIELD=VALUE";
      return false;
    }
    const int c = t.FindColumn(std::string_view(args[i]).substr(0, eq));
    if (c < 0) {
      *error = "the table has no field '" + args[i].substr(0, eq) + "'";
      return false;
    }
    for (const Assignment& a : *out)
      if (a.column == c) {
        *error = "field '" + args[i].substr(0, eq) + "' is given twice";
        return false;
      }
    out->push_back({c, args[i].substr(eq + 1)});
  }
  return true;
}

bool ApplyAssignments(ToolTable& t, const std::vector<Assignment>& values, std::string* error) {
  for (const Assignment& a : values)
    if (!t.Assign(a.column, a.value, error)) return false;
  return true;
}

// Which records a get, put or delete names: one record number, or the
// records whose columns hold the given values.
struct Selection {
  bool byNumber = false;
  uint32_t number = 0;
  std::vector<Assignment> values;
};

bool ParseSelection(const ToolTable& t, const std::vector<std::string>& args, size_t from,
                    size_t to, Selection* out, std::string* error) {
  if (from == to) {
    *error = "name the record: @NUMBER or FIELD=VALUE...";
    return false;
  }
  if (args[from].size() > 1 && args[from][0] == '@') {
    if (to - from != 1) {
      *error = "@NUMBER names one record on its own";
      return false;
    }
    char* end = nullptr;
    const unsigned long n = std::strtoul(args[from].c_str() + 1, &end, 10);
    if (*end != '\0' || n == 0 || n > 0xFFFFFFFFul) {
      *error = "'" + args[from] + "' is not a record number";
      return false;
    }
    out->byNumber = true;
    out->number = static_cast<uint32_t>(n);
    return true;
  }
  return ParseAssignments(t, args, from, to, &out->values, error);
}

// Reads the selected records; for each match calls found with its record
// number while the buffer holds it. Reads through a key when the values
// give all of a case-sensitive key's fields, else in record order.
int Select(ToolTable& t, const Selection& sel, const std::function<void(uint32_t)>& found,
           std::string* error) {
  storage::FileControlBlock& fcb = t.fcb();
  if (sel.byNumber) {
    const int rc = storage::GetByPointer(fcb, sel.number);
    if (rc == 0) found(sel.number);
    else if (rc != storage::RecordNotFoundErr) *error = "reading record " + std::to_string(sel.number) + ": " + CodeText(rc);
    return rc == storage::RecordNotFoundErr ? 0 : rc;
  }
  t.ClearBuffer();
  if (!ApplyAssignments(t, sel.values, error)) return storage::BadRecErr;
  // What each given column reads as once stored (numbers and text normalised).
  std::vector<std::string> wanted;
  for (const Assignment& a : sel.values) wanted.push_back(t.Text(a.column));
  auto given = [&](int field) {
    for (const Assignment& a : sel.values)
      if (t.columns()[a.column].field == field) return true;
    return false;
  };
  int key = -1;
  for (size_t k = 0; k < fcb.keys.size() && key < 0; ++k) {
    bool all = !fcb.keys[k].nocase;
    for (const auto& c : fcb.keys[k].components) all = all && given(c.field);
    // An OPT key leaves records with blank values out: those are found by a scan.
    if (all && fcb.keys[k].opt && vellum::IsNullKey(fcb, static_cast<int>(k), fcb.record)) all = false;
    if (all) key = static_cast<int>(k);
  }
  auto inKey = [&](int column) {
    if (key < 0) return false;
    for (const auto& c : fcb.keys[key].components)
      if (c.field == t.columns()[column].field) return true;
    return false;
  };
  // onlyKey: compare just the key's fields (still inside the key value?).
  auto matches = [&](bool onlyKey) {
    for (size_t i = 0; i < sel.values.size(); ++i)
      if ((!onlyKey || inKey(sel.values[i].column)) && t.Text(sel.values[i].column) != wanted[i])
        return false;
    return true;
  };
  int rc = key >= 0 ? storage::SetKeyValue(fcb, key) : storage::Set(fcb);
  if (rc == 0) rc = storage::Buffer(fcb, kReadAhead);
  while (rc == 0 && (rc = storage::Next(fcb)) == 0) {
    if (key >= 0 && !matches(true)) break;  // past the key value: nothing further can match
    if (!matches(false)) continue;
    int64_t n = 0;
    if ((rc = storage::Pointer(fcb, &n)) != 0) break;
    found(static_cast<uint32_t>(n));
  }
  if (rc == storage::RecordNotAvailableErr || rc == 0) return 0;
  *error = "reading the records: " + CodeText(rc);
  return rc;
}

// The one record a put or delete names, made the current record.
int SelectOne(ToolTable& t, const Selection& sel, std::string* error) {
  std::vector<uint32_t> numbers;
  int rc = Select(t, sel, [&](uint32_t n) { numbers.push_back(n); }, error);
  if (rc != 0) return rc;
  if (numbers.empty()) {
    *error = "no record matches";
    return storage::RecordNotFoundErr;
  }
  if (numbers.size() > 1) {
    *error = std::to_string(numbers.size()) + " records match; name one with @NUMBER";
    return storage::RecordNotAvailableErr;
  }
  rc = storage::GetByPointer(t.fcb(), numbers[0]);
  if (rc != 0) *error = "reading record " + std::to_string(numbers[0]) + ": " + CodeText(rc);
  return rc;
}

std::string Header(const ToolTable& t) {
  CsvRow names;
  for (const Column& c : t.columns()) names.push_back(c.name);
  return CsvLine(names);
}

// The table's records in record order as CSV, header first.
int AllRecords(ToolTable& t, std::string* csv, std::string* error) {
  *csv = Header(t);
  int rc = storage::Set(t.fcb());
  if (rc == 0) rc = storage::Buffer(t.fcb(), kReadAhead);
  while (rc == 0 && (rc = storage::Next(t.fcb())) == 0) *csv += CsvLine(t.Row());
  if (rc == storage::RecordNotAvailableErr) return 0;
  *error = "reading the records: " + CodeText(rc);
  return rc;
}

}  // namespace

int Fail(Invocation& in, const std::string& message) {
  in.error = message;
  return kExitFailed;
}

bool ReadWholeFile(const std::string& path, std::string* text, std::string* error) {
  std::ifstream f(path, std::ios::binary);
  if (!f) {
    *error = "cannot read " + path;
    return false;
  }
  std::ostringstream s;
  s << f.rdbuf();
  *text = s.str();
  return true;
}

int CmdDump(Invocation& in) {
  if (in.args.empty() || in.args.size() > 2) return Usage(in, "dump FILE [TABLE]");
  TableRef ref;
  const std::string table = in.args.size() == 2 ? in.args[1] : "";
  if (!JoinTable(in, in.args[0], table, table, " and the table ", &ref, &in.error))
    return kExitFailed;
  ToolTable t;
  if (t.Open(ref, false, &in.error) != 0) return kExitFailed;
  return AllRecords(t, &in.out, &in.error) == 0 ? kExitOk : kExitFailed;
}

int CmdCreate(Invocation& in) {
  if (in.args.size() != 2) return Usage(in, "create FILE DECLFILE");
  std::string text;
  if (!ReadWholeFile(in.args[1], &text, &in.error)) return kExitFailed;
  Declaration decl;
  std::string why;
  if (!ParseDeclaration(text, &decl, &why)) return Fail(in, in.args[1] + ": " + why);
  TableRef ref;
  if (!JoinTable(in, in.args[0], decl.table, Cp1252ToUtf8(decl.table),
                 ", " + in.args[1] + " declares the table ", &ref, &in.error))
    return kExitFailed;
  if (decl.fcb.encrypt) ref.owner = decl.fcb.owner;
  const std::string path = vellum::SplitTableName(TableFileName(ref)).path;
  std::error_code ec;
  const bool existed = std::filesystem::exists(path, ec);
  if (existed) {
    // Creating a table again would drop its records: refuse instead.
    ToolTable probe;
    std::string ignored;
    const int rc = probe.Open(ref, false, &ignored);
    if (rc == 0) return Fail(in, "the table already exists in " + path);
    if (rc != storage::FileNotFoundErr) return Fail(in, "cannot create in " + path + ": " + CodeText(rc));
  }
  storage::FileControlBlock& fcb = decl.fcb;
  fcb.name = TableFileName(ref);
  std::string buffer(fcb.recordLength, '\0');
  fcb.record = buffer.data();
  const int rc = storage::Create(fcb);
  if (rc != 0) {
    if (!existed) std::filesystem::remove(path, ec);
    return Fail(in, "cannot create " + fcb.name + ": " + CodeText(rc));
  }
  return kExitOk;
}

int CmdAdd(Invocation& in) {
  if (in.args.size() < 2) return Usage(in, "add FILE FIELD=VALUE...");
  ToolTable t;
  if (t.Open(RefOf(in, in.args[0]), true, &in.error) != 0) return kExitFailed;
  std::vector<Assignment> values;
  if (!ParseAssignments(t, in.args, 1, in.args.size(), &values, &in.error)) return kExitFailed;
  t.ClearBuffer();
  if (!ApplyAssignments(t, values, &in.error)) return kExitFailed;
  WriteTransaction tx(t.fcb());
  int rc = tx.Begin();
  int64_t number = 0;
  if (rc == 0) rc = storage::Add(t.fcb());
  if (rc == 0) rc = storage::Pointer(t.fcb(), &number);
  if (rc == 0) rc = tx.Commit();
  if (rc != 0) return Fail(in, "cannot add the record: " + CodeText(rc));
  in.out += "added record " + std::to_string(number) + "\n";
  return kExitOk;
}

int CmdGet(Invocation& in) {
  if (in.args.size() < 2) return Usage(in, "get FILE (@NUMBER | FIELD=VALUE...)");
  ToolTable t;
  if (t.Open(RefOf(in, in.args[0]), false, &in.error) != 0) return kExitFailed;
  Selection sel;
  if (!ParseSelection(t, in.args, 1, in.args.size(), &sel, &in.error)) return kExitFailed;
  std::string rows;
  if (Select(t, sel, [&](uint32_t) { rows += CsvLine(t.Row()); }, &in.error) != 0) return kExitFailed;
  if (rows.empty()) return Fail(in, "no record matches");
  in.out += Header(t) + rows;
  return kExitOk;
}

int CmdPut(Invocation& in) {
  size_t set = 1;
  while (set < in.args.size() && in.args[set] != "set") ++set;
  if (in.args.size() < 4 || set == in.args.size() || set + 1 == in.args.size())
    return Usage(in, "put FILE (@NUMBER | FIELD=VALUE...) set FIELD=VALUE...");
  ToolTable t;
  if (t.Open(RefOf(in, in.args[0]), true, &in.error) != 0) return kExitFailed;
  Selection sel;
  std::vector<Assignment> changes;
  if (!ParseSelection(t, in.args, 1, set, &sel, &in.error) ||
      !ParseAssignments(t, in.args, set + 1, in.args.size(), &changes, &in.error))
    return kExitFailed;
  WriteTransaction tx(t.fcb());
  int rc = tx.Begin();
  if (rc != 0) return Fail(in, "cannot start the change: " + CodeText(rc));
  if (SelectOne(t, sel, &in.error) != 0) return kExitFailed;
  int64_t number = 0;
  if (!ApplyAssignments(t, changes, &in.error)) return kExitFailed;
  rc = storage::Pointer(t.fcb(), &number);
  if (rc == 0) rc = storage::Put(t.fcb());
  if (rc == 0) rc = tx.Commit();
  if (rc != 0) return Fail(in, "cannot change the record: " + CodeText(rc));
  in.out += "changed record " + std::to_string(number) + "\n";
  return kExitOk;
}

int CmdDelete(Invocation& in) {
  if (in.args.size() < 2) return Usage(in, "delete FILE (@NUMBER | FIELD=VALUE...)");
  ToolTable t;
  if (t.Open(RefOf(in, in.args[0]), true, &in.error) != 0) return kExitFailed;
  Selection sel;
  if (!ParseSelection(t, in.args, 1, in.args.size(), &sel, &in.error)) return kExitFailed;
  WriteTransaction tx(t.fcb());
  int rc = tx.Begin();
  if (rc != 0) return Fail(in, "cannot start the change: " + CodeText(rc));
  if (SelectOne(t, sel, &in.error) != 0) return kExitFailed;
  int64_t number = 0;
  rc = storage::Pointer(t.fcb(), &number);
  if (rc == 0) rc = storage::Delete(t.fcb());
  if (rc == 0) rc = tx.Commit();
  if (rc != 0) return Fail(in, "cannot delete the record: " + CodeText(rc));
  in.out += "deleted record " + std::to_string(number) + "\n";
  return kExitOk;
}

int CmdImport(Invocation& in) {
  if (in.args.size() != 2) return Usage(in, "import FILE CSVFILE");
  std::string text;
  if (!ReadWholeFile(in.args[1], &text, &in.error)) return kExitFailed;
  std::vector<CsvRow> rows;
  std::string why;
  if (!ParseCsv(text, &rows, &why)) return Fail(in, in.args[1] + ": " + why);
  if (rows.empty()) return Fail(in, in.args[1] + ": no header row");
  ToolTable t;
  if (t.Open(RefOf(in, in.args[0]), true, &in.error) != 0) return kExitFailed;
  // The header names the columns as FIELD=VALUE names them.
  std::vector<std::string> names;
  for (size_t c = 0; c < rows[0].size(); ++c) {
    const std::string& h = rows[0][c];
    // A column is named by a field alone: no blank name, no value riding along.
    if (h.find_first_not_of(' ') == std::string::npos || h.find('=') != std::string::npos)
      return Fail(in, in.args[1] + ": header: column " + std::to_string(c + 1) + " '" + h +
                          "' is not a field name");
    names.push_back(h + "=");
  }
  std::vector<Assignment> columns;
  if (!ParseAssignments(t, names, 0, names.size(), &columns, &why))
    return Fail(in, in.args[1] + ": header: " + why);
  WriteTransaction tx(t.fcb());
  int rc = tx.Begin();
  if (rc != 0) return Fail(in, "cannot start the import: " + CodeText(rc));
  for (size_t r = 1; r < rows.size(); ++r) {
    const std::string where = in.args[1] + ": row " + std::to_string(r + 1) + ": ";
    if (rows[r].size() != columns.size())
      return Fail(in, where + std::to_string(rows[r].size()) + " values for " +
                          std::to_string(columns.size()) + " columns");
    t.ClearBuffer();
    for (size_t c = 0; c < columns.size(); ++c)
      if (!t.Assign(columns[c].column, rows[r][c], &why)) return Fail(in, where + why);
    if ((rc = storage::Add(t.fcb())) != 0) return Fail(in, where + "cannot add: " + CodeText(rc));
  }
  if ((rc = tx.Commit()) != 0) return Fail(in, "cannot commit the import: " + CodeText(rc));
  in.out += "imported " + std::to_string(rows.size() - 1) + " records\n";
  return kExitOk;
}

// Writes text to a new file at path that only its owner may read (the
// export holds every password); false when it cannot.
bool WriteOwnerOnly(const std::string& path, const std::string& text) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const bool ok = done == text.size() && fsync(fd) == 0;
  return close(fd) == 0 && ok;
}

int CmdExport(Invocation& in) {
  if (in.args.size() != 2) return Usage(in, "export FILE CSVFILE");
  // Only a regular file is replaced: not a link (whose target would be
  // written), a folder, a FIFO or a device.
  const std::string target = in.args[1];
  struct stat st {};
  if (lstat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
    return Fail(in, "will not replace " + target + ": it is not a regular file");
  ToolTable t;
  if (t.Open(RefOf(in, in.args[0]), false, &in.error) != 0) return kExitFailed;
  std::string csv;
  if (AllRecords(t, &csv, &in.error) != 0) return kExitFailed;
  // Written beside the target and renamed over it, so a failure leaves no
  // half-written file behind.
  const std::string temp = target + ".vlutool-" + std::to_string(getpid());
  if (!WriteOwnerOnly(temp, csv) || rename(temp.c_str(), target.c_str()) != 0) {
    unlink(temp.c_str());
    return Fail(in, "cannot write " + target);
  }
  return kExitOk;
}

int RunVlutool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  vellum::RegisterVellumDriver();
  Invocation in;
  size_t i = 0;
  for (; i < args.size() && args[i].rfind("--", 0) == 0; ++i) {
    std::string owner;
    if (args[i] == "--owner" && i + 1 < args.size()) {
      owner = args[++i];
    } else if (args[i].rfind("--owner=", 0) == 0) {
      owner = args[i].substr(8);
    } else if (args[i] == "--help") {
      out << kUsage;
      return kExitOk;
    } else if (args[i] == "--owner") {
      err << "vlutool: --owner needs a password\n";
      return kExitUsage;
    } else {
      err << "vlutool: unknown option " << args[i] << " (vlutool --help lists the commands)\n";
      return kExitUsage;
    }
    // The password in the 1252 bytes a declaration's owner is stored in.
    if (!Utf8ToCp1252(owner, &in.owner)) {
      err << "vlutool: --owner: a character that Windows-1252 cannot hold\n";
      return kExitUsage;
    }
  }
  if (i == args.size()) {
    err << kUsage;
    return kExitUsage;
  }
  const std::string command = args[i];
  in.args.assign(args.begin() + static_cast<long>(i) + 1, args.end());
  static const std::pair<const char*, int (*)(Invocation&)> kCommands[] = {
      {"tables", CmdTables}, {"dump", CmdDump},     {"entries", CmdEntries}, {"pages", CmdPages},
      {"check", CmdCheck},   {"create", CmdCreate}, {"add", CmdAdd},         {"get", CmdGet},
      {"put", CmdPut},       {"delete", CmdDelete}, {"import", CmdImport},   {"export", CmdExport},
  };
  int (*run)(Invocation&) = nullptr;
  for (const auto& [name, fn] : kCommands)
    if (command == name) run = fn;
  if (!run) {
    err << "vlutool: unknown command " << command << " (vlutool --help lists the commands)\n";
    return kExitUsage;
  }
  int code = kExitFailed;
  {
    // A damaged page ends in the consistency stop: here a failed check.
    vellum::ScopedThrowOnCorruption throwOnCorruption;
    try {
      code = run(in);
    } catch (const vellum::CorruptionError& e) {
      if (command == "check") in.out += "check " + std::to_string(e.check) + ": " + vellum::ConsistencyText(e.check) + "\n";
      in.error = "check " + std::to_string(e.check) + ": " + vellum::ConsistencyText(e.check);
      code = kExitFailed;
    }
  }
  if (code == kExitOk || command == "check") out << in.out;
  if (code != kExitOk) err << "vlutool: " << in.error << "\n";
  return code;
}

}  // namespace ck::vlutool
