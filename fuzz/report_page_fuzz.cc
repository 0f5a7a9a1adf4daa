// Fuzz target: reading a report page image file. Any input must be read or
// refused with a page image message; a page that was read must write and
// read again to the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "ui/report/page_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace ck::report;
  PageImage page;
  PageImageError error;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  if (!DecodePageImage(text, &page, &error)) {
    if (error.message != 22 && (error.message < 48 || error.message > 51)) std::abort();
    return 0;
  }
  const std::string once = EncodePageImage(page);
  PageImage back;
  if (!DecodePageImage(once, &back, &error)) std::abort();
  if (EncodePageImage(back) != once) std::abort();
  return 0;
}
