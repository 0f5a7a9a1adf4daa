// The PASSWORDS table as the program declares it (four text fields of 475
// bytes in all, a duplicate key on the client domain), for the benchmarks.
#pragma once

#include <cstdint>
#include <string>

#include "storage/file_control_block.h"

namespace ck::bench {

inline constexpr uint32_t kPasswordsRecordLength = 475;

// Declares the table in fcb over record (kPasswordsRecordLength bytes), in path.
inline void DeclarePasswords(storage::FileControlBlock& fcb, char* record, const std::string& path) {
  auto field = [&](const char* name, uint32_t offset, uint32_t length) {
    storage::FieldDescriptor f;
    f.type = storage::STRING;
    f.offset = offset;
    f.length = length;
    f.name = name;
    fcb.fields.push_back(f);
  };
  field("PAS:ClientDomain", 0, 100);
  field("PAS:Login", 100, 100);
  field("PAS:Password", 200, 20);
  field("PAS:OtherInfo", 220, 255);
  storage::KeyDescriptor key;
  key.name = "PAS:KeyClientDomain";
  key.externalName = "PAS:KEYCLIENTDOMAIN";
  key.duplicates = true;
  key.components.push_back({0, false});
  fcb.keys.push_back(key);
  fcb.recordLength = kPasswordsRecordLength;
  fcb.record = record;
  fcb.name = path;
}

}  // namespace ck::bench
