// Fuzz target: decoding a stored page block. Any input must either decode or
// end in the consistency stop (thrown here), decoded for a change or not; a
// decoded page must encode and decode again to the same entries.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "storage/vellum/consistency.h"
#include "storage/vellum/page_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ck::vellum;
  static const ConsistencyHandler installed = SetConsistencyHandler(&ThrowCorruption);
  (void)installed;
  if (size < 1) return 0;
  // The first byte picks the slot's class; the rest is the block.
  const int sizeClass = 1 + data[0] % kMaxStoredPage / 256;
  std::string block(reinterpret_cast<const char*>(data + 1), size - 1);
  block.resize(static_cast<size_t>(sizeClass) * 256, static_cast<char>(0xB0));
  // A page decoded to be changed must end as the walk does: the same
  // entries or the same stop.
  int ownedStop = 0;
  PageImage owned;
  try {
    owned = DecodePage(ByteBuffer(block), sizeClass, nullptr, true);
  } catch (const CorruptionError& e) {
    ownedStop = e.check;
  }
  PageImage page;
  try {
    page = DecodePage(block, sizeClass);
  } catch (const CorruptionError& e) {
    if (e.check != ownedStop) std::abort();
    return 0;
  }
  if (ownedStop != 0 || owned.entries.size() != page.entries.size()) std::abort();
  for (size_t i = 0; i < page.entries.size(); ++i) {
    if (owned.entries[i].bytes != page.entries[i].bytes) std::abort();
  }
  const std::string again = PadToClass(EncodePage(page, 0));
  const PageImage back = DecodePage(again, ClassOfLength(static_cast<uint32_t>(again.size())));
  if (back.entries.size() != page.entries.size() || back.level != page.level) std::abort();
  for (size_t i = 0; i < page.entries.size(); ++i) {
    if (back.entries[i].bytes != page.entries[i].bytes ||
        back.entries[i].keyLength != page.entries[i].keyLength) {
      std::abort();
    }
  }
  // Run-length packing alone must round trip as well.
  std::string packed;
  const std::string_view raw(reinterpret_cast<const char*>(data), size);
  if (PackRuns(raw, &packed) && UnpackRuns(packed, size) != raw) std::abort();
  return 0;
}
