// LockArea: the file offsets from 2 GiB up that serve only for byte-range
// locks between processes sharing a Vellum file (no data ever lies there):
// 1023 reader slots, the writer byte, and one byte per held record or
// locked table.
#pragma once

#include <cstdint>

namespace ck::vellum {

struct LockArea {
  static constexpr uint64_t kBase = 0x80000000ull;
  static constexpr uint32_t kReaderSlots = 1023;
  static constexpr uint64_t kWriterByte = kBase + 0x3FF;

  // Reader slot s (0..1022).
  static constexpr uint64_t ReaderSlot(uint32_t s) { return kBase + s; }
  // All reader slots at once: the commit lock (length kReaderSlots).
  static constexpr uint64_t AllReaderSlots() { return kBase; }
  // The hold byte of record n and the lock byte of table n.
  static constexpr uint64_t RecordByte(uint32_t n) { return kBase + 1024 + uint64_t{n} + 1; }
};

}  // namespace ck::vellum
