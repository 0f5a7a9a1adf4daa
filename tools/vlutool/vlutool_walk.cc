// The commands that look at a file below the tables: tables, entries, pages
// and check open the physical file for a read access and walk its tree.
#include <memory>

#include "storage/codes.h"
#include "storage/file_control_block.h"
#include "storage/vellum/consistency.h"
#include "storage/vellum/entry_keys.h"
#include "storage/vellum/file_check.h"
#include "storage/vellum/physical_file.h"
#include "storage/vellum/table_name.h"
#include "tools/vlutool/vlutool_commands.h"

namespace ck::vlutool {

using vellum::PhysicalFile;
using vellum::TreeEntry;

namespace {

std::string Hex(std::string_view bytes) {
  static const char kDigits[] = "0123456789abcdef";
  if (bytes.empty()) return "-";
  std::string out;
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

std::string KindName(const TreeEntry& e) {
  if (e.keyLength == 0) return "empty";
  const auto first = static_cast<uint8_t>(e.key()[0]);
  if (first == vellum::kNameEntry) return "name";
  if (first == vellum::kTransactionEntry) return "transaction";
  if (e.keyLength < 5) return "short";
  const auto kind = static_cast<uint8_t>(e.key()[4]);
  switch (kind) {
    case vellum::kDataEntry: return "record";
    case vellum::kCounterEntry: return "counter";
    case vellum::kDefinitionEntry: return "definition";
    case vellum::kCollationEntry: return "collation";
    case vellum::kMemoEntry: return "memo";
    default: break;
  }
  if (kind < vellum::kMaxKeys) return "key" + std::to_string(kind);
  return "kind" + std::to_string(kind);
}

// The data file opened for reading, inside a read access for its lifetime.
// Not copyable.
class ReadAccess {
 public:
  ReadAccess() = default;
  ~ReadAccess() {
    if (inAccess_) file_->EndAccess();
  }
  ReadAccess(const ReadAccess&) = delete;
  ReadAccess& operator=(const ReadAccess&) = delete;

  bool Open(Invocation& in, const std::string& name) {
    const std::string path = vellum::SplitTableName(name).path;
    int rc = PhysicalFile::Open(path, storage::ReadOnly | storage::DenyNone, in.owner, false, &file_);
    if (rc == 0) {
      rc = file_->BeginAccess(false);
      inAccess_ = rc == 0;
    }
    if (rc != 0) {
      in.error = "cannot open " + path + ": " + std::string(storage::ErrorText(rc)) + " (" +
                 std::to_string(rc) + ")";
      return false;
    }
    return true;
  }
  PhysicalFile& file() { return *file_; }

 private:
  std::shared_ptr<PhysicalFile> file_;
  bool inAccess_ = false;
};

bool OneFileArgument(Invocation& in, const char* usage) {
  if (in.args.size() == 1) return true;
  in.error = std::string("usage: vlutool ") + usage;
  return false;
}

}  // namespace

int CmdTables(Invocation& in) {
  if (!OneFileArgument(in, "tables FILE")) return kExitUsage;
  ReadAccess access;
  if (!access.Open(in, in.args[0])) return kExitFailed;
  vellum::EntryStore& store = access.file().store();
  const std::string start(1, static_cast<char>(vellum::kNameEntry));
  TreeEntry e;
  int rc = store.SeekGE(start, &e);
  while (rc == 0 && e.key().substr(0, 1) == start) {
    std::string line(e.key().substr(1));
    if (e.data().size() == 4) {
      TreeEntry counter;
      const uint32_t number = vellum::ReadBE32(e.data(), 0);
      if (store.Get(vellum::CounterKey(number, vellum::kTableCounter), &counter) == 0 &&
          counter.data().size() >= 4) {
        line += '\t';
        line += std::to_string(vellum::ReadLE32(counter.data(), 0));
      }
    }
    in.out += line + "\n";
    const std::string key(e.key());
    rc = store.SeekGT(key, &e);
  }
  if (rc != 0 && rc != vellum::kNotFound) return Fail(in, "reading the tables: " + std::string(storage::ErrorText(rc)));
  return kExitOk;
}

int CmdEntries(Invocation& in) {
  if (!OneFileArgument(in, "entries FILE")) return kExitUsage;
  ReadAccess access;
  if (!access.Open(in, in.args[0])) return kExitFailed;
  vellum::EntryStore& store = access.file().store();
  TreeEntry e;
  int rc = store.SeekGE("", &e);
  while (rc == 0) {
    in.out += KindName(e) + " " + Hex(e.key()) + " " + Hex(e.data()) + "\n";
    const std::string key(e.key());
    rc = store.SeekGT(key, &e);
  }
  if (rc != vellum::kNotFound) return Fail(in, "reading the entries: " + std::string(storage::ErrorText(rc)));
  return kExitOk;
}

int CmdPages(Invocation& in) {
  if (!OneFileArgument(in, "pages FILE")) return kExitUsage;
  ReadAccess access;
  if (!access.Open(in, in.args[0])) return kExitFailed;
  in.out += "unit\tclass\tlevel\tentries\tstored\tunpacked\n";
  const int rc = access.file().WalkPages([&](const vellum::PageInfo& p) {
    in.out += std::to_string(p.unit) + "\t" + std::to_string(p.sizeClass) + "\t" +
              std::to_string(p.level) + "\t" + std::to_string(p.entries) + "\t" +
              std::to_string(p.storedLength) + "\t" + std::to_string(p.unpackedLength) + "\n";
  });
  if (rc != 0) return Fail(in, "walking the pages: " + std::string(storage::ErrorText(rc)));
  return kExitOk;
}

int CmdCheck(Invocation& in) {
  if (!OneFileArgument(in, "check FILE")) return kExitUsage;
  ReadAccess access;
  if (!access.Open(in, in.args[0])) return kExitFailed;
  std::vector<vellum::CheckFinding> findings;
  auto report = [&] {
    for (const auto& f : findings) in.out += "check " + f.check + ": " + f.detail + "\n";
  };
  int rc = 0;
  try {
    rc = vellum::CheckFile(access.file(), &findings);
  } catch (const vellum::CorruptionError&) {
    report();  // what was found before the damage stopped the check
    throw;
  }
  report();
  if (rc != 0) return Fail(in, "reading the file: " + std::string(storage::ErrorText(rc)));
  if (!findings.empty()) {
    in.error = std::to_string(findings.size()) + " fault(s) found";
    return kExitFailed;
  }
  in.out += "ok\n";
  return kExitOk;
}

}  // namespace ck::vlutool
