// Fuzz target: opening a data file. The input is the whole file; opening,
// reading every entry, checking the structure and committing one change
// must end in a result code or the consistency stop (thrown here), never in
// a crash or a hang. The first input byte picks how the file is made:
// 0 the input as it is; 1 the input with the magic in place; 2 a valid file
// of generated entries, then damaged at the (offset, byte) pairs that follow.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "storage/io/fault/fault_env.h"
#include "storage/vellum/consistency.h"
#include "storage/vellum/physical_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ck::vellum;
  static const ConsistencyHandler installed = SetConsistencyHandler(&ThrowCorruption);
  (void)installed;
  if (size < 2) return 0;
  ck::io::FaultEnv env;
  const int mode = data[0] % 3;
  std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  std::shared_ptr<PhysicalFile> file;
  if (mode == 1 && bytes.size() >= 18) bytes.replace(14, 4, "vElM");
  if (mode == 2) {
    env.SetContents("/fuzz.vlu", "");
    if (PhysicalFile::Open(&env, "/fuzz.vlu", 0x12, "", false, &file) != 0) return 0;
    file->BeginAccess(true);
    const int count = static_cast<uint8_t>(bytes[0]) % 64 * 4;
    for (int i = 0; i < count; ++i) {
      const std::string key = "k" + std::to_string(i * 7919 % 10007);
      file->store().Put(TreeEntry(key, std::string(static_cast<size_t>(i % 97), 'a' + i % 3)));
    }
    file->EndAccess();
    file.reset();
    std::string made = env.Contents("/fuzz.vlu");
    for (size_t at = 1; at + 2 < bytes.size() && !made.empty(); at += 3) {
      const size_t offset = (static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8)
                            * 7 % made.size();
      made[offset] = bytes[at + 2];
    }
    bytes = made;
  }
  env.SetContents("/fuzz.vlu", bytes);
  env.SetDiskLimit(16 << 20);
  try {
    if (PhysicalFile::Open(&env, "/fuzz.vlu", 0x12, "", false, &file) != 0) return 0;
    if (file->BeginAccess(false) != 0) return 0;
    TreeEntry entry;
    std::string key;
    for (int n = 0; n < 5000 && file->store().SeekGT(key, &entry) == 0; ++n) {
      key.assign(entry.key());
    }
    std::vector<std::string> problems;
    file->CheckStructure(&problems);
    file->EndAccess();
    if (file->BeginAccess(true) != 0) return 0;
    file->store().Put(TreeEntry("fuzz", "value"));
    file->EndAccess();
  } catch (const CorruptionError&) {
  }
  return 0;
}
