#include "framework/toolbar_tips.h"

namespace ck {

namespace {

std::string Pack(const TipTable& tips) {
  std::string block(1, static_cast<char>(tips.size()));
  for (const auto& [feq, text] : tips) {
    block += static_cast<char>(feq & 0xFF);
    block += static_cast<char>((feq >> 8) & 0xFF);
    block += static_cast<char>(text.size());
    block += text;
  }
  return block;
}

}  // namespace

std::string_view FormChangeTips() {
  static const std::string block = Pack({
      {toolbar::Bottom, "Save changes and go to last record"},
      {toolbar::Top, "Save changes and go to first record"},
      {toolbar::PageDown, "Save changes and page down to record"},
      {toolbar::PageUp, "Save changes and page up to record"},
      {toolbar::Down, "Save changes and go to next record"},
      {toolbar::Up, "Save changes and go to previous record"},
      {toolbar::Insert, "Save this record and add a new one"},
  });
  return block;
}

std::string_view FormInsertTips() {
  static const std::string block = Pack({
      {toolbar::Insert, "Save record and add another"},
      {toolbar::Down, "Save record and add another"},
  });
  return block;
}

std::string_view ListTips() {
  static const std::string block = Pack({
      {toolbar::Down, "Go to the Next Record"},
      {toolbar::Bottom, "Go to the Last Page"},
      {toolbar::Top, "Go to the First Page"},
      {toolbar::PageDown, "Go to the Next Page"},
      {toolbar::PageUp, "Go to the Prior Page"},
      {toolbar::Down, "Go to the Next Record"},
      {toolbar::Up, "Go to the Prior Record"},
      {toolbar::Insert, "Insert a new Record"},
  });
  return block;
}

bool DecodeTips(std::string_view block, TipTable* out) {
  out->clear();
  if (block.empty()) return false;
  auto byte = [&](size_t at) { return static_cast<unsigned char>(block[at]); };
  const size_t count = byte(0);
  TipTable tips;
  size_t at = 1;
  for (size_t i = 0; i < count; ++i) {
    if (at + 3 > block.size()) return false;
    const int feq = byte(at) | (byte(at + 1) << 8);
    const size_t length = byte(at + 2);
    at += 3;
    if (at + length > block.size()) return false;
    tips.emplace_back(feq, std::string(block.substr(at, length)));
    at += length;
  }
  *out = std::move(tips);
  return true;
}

}  // namespace ck
