// The order of a view: the order text parsed into components, and which key
// (if any) can deliver that order.
//
// Order text: components separated by ",", each a field name optionally
// prefixed "+" (ascending, the default) or "-" (descending), and optionally
// written UPPER(name) to order without regard to case.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "runtime/expression.h"
#include "storage/file_control_block.h"

namespace ck::view {

struct OrderComponent {
  int field = 0;            // index into the view's fields (= FileControlBlock::fields)
  bool descending = false;
  bool upper = false;       // UPPER(name): without regard to case
};

// Parses an order text over the view's fields. A blank text gives no
// components (record order). Refused text returns false and a reason.
bool ParseOrder(std::string_view text, const FieldTable& fields,
                std::vector<OrderComponent>* out, std::string* reason);

// The key whose leading components deliver the order, read forwards or (with
// *reversed) backwards; -1 when no key does or the order is empty. A text
// component is served only by a key with the same case rule (UPPER() and a
// NOCASE key go together).
int KeyForOrder(const std::vector<OrderComponent>& order, const storage::FileControlBlock& fcb,
                bool* reversed);

}  // namespace ck::view
