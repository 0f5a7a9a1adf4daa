// Fuzz target: whole small data files damaged as disks and crashes damage
// them. A few sound files are made once (committed; with a commit cut off
// after its commit point; with a transaction over two files cut off before
// it; with a transaction entry naming the file itself as its control file).
// The input picks one and changes it: pages copied over or swapped with
// others, the file cut short, bytes set, header and journal fields and
// pending blocks' targets and lengths changed. Then the whole-file check, a
// full read in key and record order, and an add run over it through the
// driver. Each must end in a result code or the consistency stop (thrown
// here): never a crash, a hang or unbounded memory (libFuzzer's -timeout
// and -rss_limit_mb bound each input; the in-memory disk holds 16 MiB).
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "storage/io/fault/fault_env.h"
#include "storage/records.h"
#include "storage/vellum/consistency.h"
#include "storage/vellum/file_check.h"
#include "storage/vellum/physical_file.h"
#include "storage/vellum/transaction.h"
#include "storage/vellum/vellum_driver.h"

namespace {

using namespace ck;
using namespace ck::vellum;

constexpr const char* kDriver = "VELLUMFUZZ";
const std::string kData = "/f/DATA.VLU";
const std::string kOther = "/f/OTHER.VLU";
const std::string kControl = "/f/vellum.tcf";

// The files of one case: path -> bytes.
using Files = std::map<std::string, std::string>;

// A table of the program's shape, with a memo and an OPT key as well.
storage::FileControlBlock Declare(const std::string& name, std::string* buffer) {
  storage::FileControlBlock f;
  f.driverName = kDriver;
  f.name = name;
  f.recordLength = 60;
  auto field = [&](const char* fieldName, uint32_t offset, uint32_t length) {
    storage::FieldDescriptor d;
    d.name = fieldName;
    d.offset = offset;
    d.length = length;
    f.fields.push_back(d);
  };
  field("F:DOMAIN", 0, 30);
  field("F:LOGIN", 30, 30);
  storage::KeyDescriptor byDomain;
  byDomain.name = "F:BYDOMAIN";
  byDomain.duplicates = true;
  byDomain.components = {{0, false}};
  storage::KeyDescriptor byLogin;
  byLogin.name = "F:BYLOGIN";
  byLogin.opt = true;
  byLogin.nocase = true;
  byLogin.duplicates = true;
  byLogin.components = {{1, false}, {0, true}};
  f.keys = {byDomain, byLogin};
  storage::MemoDescriptor notes;
  notes.name = "F:NOTES";
  notes.size = 600;
  f.memos = {notes};
  buffer->assign(f.recordLength, ' ');
  f.record = buffer->data();
  return f;
}

void SetRecord(storage::FileControlBlock& f, int i) {
  std::string record(f.recordLength, ' ');
  const std::string domain = "site" + std::to_string(i * 7919 % 1000) + ".example";
  record.replace(0, domain.size(), domain);
  if (i % 3 != 0) record.replace(30, 5, "login");
  record.copy(f.record, f.recordLength);
  f.memoValues.assign(1, std::string(static_cast<size_t>(i * 37 % 500), static_cast<char>('a' + i % 26)));
}

// Creates the table in path and adds count records, one commit each.
void Fill(const std::string& path, int count) {
  std::string buffer;
  storage::FileControlBlock f = Declare(path, &buffer);
  storage::Create(f);
  storage::Open(f);
  for (int i = 0; i < count; ++i) {
    SetRecord(f, i);
    storage::Add(f);
  }
  storage::Close(f);
}

Files Snapshot(io::FaultEnv& env) {
  Files files;
  for (const std::string& path : {kData, kOther, kControl}) {
    if (env.Exists(path)) files[path] = env.Contents(path);
  }
  return files;
}

// The sound files the inputs start from, made once.
const std::vector<Files>& Seeds() {
  static const std::vector<Files> seeds = [] {
    std::vector<Files> out;
    {
      io::FaultEnv env;
      storage::RegisterDriver(kDriver, std::make_shared<VellumDriver>(&env));
      Fill(kData, 36);
      out.push_back(Snapshot(env));
      // A change cut off right after its commit point: a whole pending region.
      std::string buffer;
      storage::FileControlBlock f = Declare(kData, &buffer);
      storage::Open(f);
      PhysicalFile::SetCommitStageHook([&](CommitStage) { env.PowerCut(); });
      SetRecord(f, 1);
      storage::Add(f);
      PhysicalFile::SetCommitStageHook(nullptr);
      storage::Close(f);
      env.Revive();
      out.push_back(Snapshot(env));
    }
    {
      // A transaction over two files cut off before its commit point.
      io::FaultEnv env;
      storage::RegisterDriver(kDriver, std::make_shared<VellumDriver>(&env));
      Fill(kData, 28);
      Fill(kOther, 5);
      std::string b1, b2;
      storage::FileControlBlock a = Declare(kData, &b1);
      storage::FileControlBlock b = Declare(kOther, &b2);
      storage::Open(a);
      storage::Open(b);
      storage::Logout(0, {&a, &b});
      SetRecord(a, 100);
      storage::Add(a);
      SetRecord(b, 101);
      storage::Add(b);
      ProcessTransaction::SetStageHook([&](TransactionStage stage) {
        if (stage == TransactionStage::FilesPrepared) env.PowerCut();
      });
      storage::Commit();
      ProcessTransaction::SetStageHook(nullptr);
      storage::Close(a);
      storage::Close(b);
      env.Revive();
      out.push_back(Snapshot(env));
    }
    {
      // A pending region whose transaction entry names the file itself.
      io::FaultEnv env;
      storage::RegisterDriver(kDriver, std::make_shared<VellumDriver>(&env));
      Fill(kData, 24);
      std::shared_ptr<PhysicalFile> file;
      PhysicalFile::Open(&env, kData, 0x42, "", false, &file);
      file->SetEnlisted(true);
      file->BeginAccess(true);
      file->store().Put(TreeEntry(std::string(5, '\x01'), "fuzz"));
      file->SetTransactionEntry(std::string("\xFF\0\0\0\x09", 5), kData);
      file->EndAccess();
      file->Prepare();
      env.PowerCut();
      file.reset();
      env.Revive();
      out.push_back(Snapshot(env));
    }
    return out;
  }();
  return seeds;
}

uint32_t Le32(const std::string& b, size_t at) {
  if (at + 4 > b.size()) return 0;
  return static_cast<uint32_t>(static_cast<uint8_t>(b[at])) |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}

void SetLe(std::string& b, size_t at, uint32_t v, int bytes) {
  for (int i = 0; i < bytes && at + static_cast<size_t>(i) < b.size(); ++i) {
    b[at + static_cast<size_t>(i)] = static_cast<char>(v >> (8 * i));
  }
}

// Offsets of the blocks of the pending region (journal start to end).
std::vector<size_t> PendingBlocks(const std::string& b) {
  std::vector<size_t> blocks;
  for (uint64_t at = Le32(b, 6), end = Le32(b, 10); at < end && at + 6 <= b.size() && blocks.size() < 64;) {
    blocks.push_back(static_cast<size_t>(at));
    const uint64_t length = ((Le32(b, static_cast<size_t>(at) + 4) & 0xFFFF) + 255) / 256 * 256;
    if (length == 0) break;
    at += length;
  }
  return blocks;
}

// Applies one change of six input bytes: what, then a, b (16 bits each), c.
void Damage(Files& files, const uint8_t* op) {
  std::string& b = op[0] & 0x80 && files.count(kControl) ? files[kControl] : files[kData];
  if (b.size() < 0x200) return;
  const uint32_t a = op[1] | op[2] << 8;
  const uint32_t c = op[3] | op[4] << 8;
  const uint8_t v = op[5];
  const size_t units = (b.size() - 0x200) / 256;
  auto unit = [&](uint32_t n) { return 0x200 + 256 * static_cast<size_t>(units ? n % units : 0); };
  switch (op[0] % 8) {
    case 0: {  // a page's units copied over another's (v: how many units)
      const size_t from = unit(a), to = unit(c), n = 256 * (1 + v % 16);
      if (units == 0) break;
      const std::string block = b.substr(from, n);
      b.replace(to, std::min(block.size(), b.size() - to), block.substr(0, b.size() - to));
      if (v & 0x80) SetLe(b, to, static_cast<uint32_t>(to), 4);  // with its own offset fixed
      break;
    }
    case 1: {  // two single units swapped
      if (units == 0) break;
      const size_t x = unit(a), y = unit(c);
      const std::string bx = b.substr(x, 256), by = b.substr(y, 256);
      b.replace(x, 256, by);
      b.replace(y, 256, bx);
      break;
    }
    case 2:  // cut short
      b.resize(std::min(b.size(), static_cast<size_t>(a) << 4 | (v & 15)));
      break;
    case 3:  // one byte
      b[(static_cast<size_t>(c) << 16 | a) % b.size()] = static_cast<char>(v);
      break;
    case 4:  // a header word: journal, counters, root, region bounds
      SetLe(b, 4 + 2 * (v % 254), a | c << 16, 1 + op[0] % 4);
      break;
    case 5: {  // a pending block's target or length
      const std::vector<size_t> blocks = PendingBlocks(b);
      if (blocks.empty()) break;
      const size_t at = blocks[v % blocks.size()];
      if (op[0] & 0x40) {
        SetLe(b, at + 4, a, 2);
      } else {
        SetLe(b, at, a | c << 16, 4);
      }
      break;
    }
    case 6:  // the journal opened or moved
      SetLe(b, 6, static_cast<uint32_t>(unit(a)), 4);
      SetLe(b, 10, static_cast<uint32_t>(unit(c)), 4);
      break;
    default:  // a page's entry bytes
      b[std::min(b.size() - 1, unit(a) + 13 + v % 64)] = static_cast<char>(c);
      break;
  }
}

// Check, full reads and an add over the damaged files.
void Exercise(io::FaultEnv& env) {
  try {
    std::shared_ptr<PhysicalFile> file;
    if (PhysicalFile::Open(&env, kData, 0x40, "", false, &file) == 0 && file->BeginAccess(false) == 0) {
      std::vector<CheckFinding> findings;
      CheckFile(*file, &findings);
      file->EndAccess();
    }
  } catch (const CorruptionError&) {
  }
  std::string buffer;
  storage::FileControlBlock f = Declare(kData, &buffer);
  try {
    if (storage::Open(f) == 0) {
      for (const int order : {-1, 0, 1}) {
        if ((order < 0 ? storage::Set(f) : storage::SetKey(f, order)) != 0) continue;
        for (int rc = 0; rc == 0 || rc == storage::RecordNotFoundErr;) rc = storage::Next(f);
      }
      SetRecord(f, 999);
      storage::Add(f);
    }
  } catch (const CorruptionError&) {
  }
  storage::Close(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const ConsistencyHandler installed = SetConsistencyHandler(&ThrowCorruption);
  (void)installed;
  const std::vector<Files>& seeds = Seeds();
  if (size < 1) return 0;
  Files files = seeds[data[0] % seeds.size()];
  // At most 64 changes: more add nothing a few of them cannot do.
  for (size_t at = 1; at + 6 <= size && at < 1 + 6 * 64; at += 6) Damage(files, data + at);

  io::FaultEnv env;
  for (const auto& [path, bytes] : files) env.SetContents(path, bytes);
  env.SetDiskLimit(16 << 20);
  storage::RegisterDriver(kDriver, std::make_shared<VellumDriver>(&env));
  Exercise(env);
  storage::RegisterDriver(kDriver, nullptr);
  return 0;
}
