#include "runtime/view/view_order.h"

#include "runtime/code_page.h"

namespace ck::view {
namespace {

std::string_view Trim(std::string_view s) {
  const size_t b = s.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

bool IsTextType(uint8_t type) {
  return type == storage::STRING || type == storage::CSTRING || type == storage::PSTRING;
}

}  // namespace

bool ParseOrder(std::string_view text, const FieldTable& fields,
                std::vector<OrderComponent>* out, std::string* reason) {
  std::vector<OrderComponent> order;
  if (Trim(text).empty()) {
    out->clear();
    return true;
  }
  size_t start = 0;
  for (int n = 1;; ++n) {
    const size_t comma = text.find(',', start);
    std::string_view part =
        Trim(text.substr(start, comma == std::string_view::npos ? std::string_view::npos
                                                                : comma - start));
    const std::string where = " in order component " + std::to_string(n);
    OrderComponent c;
    if (!part.empty() && (part.front() == '+' || part.front() == '-')) {
      c.descending = part.front() == '-';
      part = Trim(part.substr(1));
    }
    if (part.size() > 6 && Upper1252(part.substr(0, 6)) == "UPPER(") {
      if (part.back() != ')') {
        *reason = "missing \")\" after UPPER(" + where;
        return false;
      }
      c.upper = true;
      part = Trim(part.substr(6, part.size() - 7));
    }
    if (part.empty()) {
      *reason = "missing field name" + where;
      return false;
    }
    bool found = false;
    for (size_t i = 0; i < fields.size() && !found; ++i) {
      if (Upper1252(fields.name(i)) == Upper1252(part)) {
        c.field = static_cast<int>(i);
        found = true;
      }
    }
    if (!found) {
      *reason = "unknown field " + std::string(part) + where;
      return false;
    }
    order.push_back(c);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  *out = std::move(order);
  return true;
}

int KeyForOrder(const std::vector<OrderComponent>& order, const storage::FileControlBlock& fcb,
                bool* reversed) {
  if (order.empty()) return -1;
  for (size_t k = 0; k < fcb.keys.size(); ++k) {
    const storage::KeyDescriptor& key = fcb.keys[k];
    if (key.components.size() < order.size()) continue;
    bool valid = true;
    for (const storage::KeyComponent& kc : key.components)
      valid = valid && kc.field >= 0 && static_cast<size_t>(kc.field) < fcb.fields.size();
    if (!valid) continue;  // a broken declaration serves no order
    bool forward = true, backward = true;
    for (size_t i = 0; i < order.size(); ++i) {
      const storage::KeyComponent& kc = key.components[i];
      const OrderComponent& oc = order[i];
      const bool text = IsTextType(fcb.fields[static_cast<size_t>(kc.field)].type);
      if (kc.field != oc.field || (text && oc.upper != key.nocase)) {
        forward = backward = false;
        break;
      }
      if (kc.descending != oc.descending) forward = false;
      else backward = false;
    }
    if (forward || backward) {
      *reversed = !forward;
      return static_cast<int>(k);
    }
  }
  return -1;
}

}  // namespace ck::view
