// The toolbar's control numbers and its tip tables. A tip table is a packed
// byte block: a count byte, then per entry a 16-bit control number (low
// byte first), a length byte and the tip text.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ck {

// Toolbar control numbers, the same on every window.
namespace toolbar {
inline constexpr int First = 3000;  // first number of the toolbar range
inline constexpr int Insert = 3001;
inline constexpr int Change = 3002;
inline constexpr int Delete = 3003;
inline constexpr int Select = 3004;
inline constexpr int Bottom = 3005;  // last page
inline constexpr int Top = 3006;     // first page
inline constexpr int PageDown = 3007;
inline constexpr int PageUp = 3008;
inline constexpr int Down = 3009;  // next record
inline constexpr int Up = 3010;    // previous record
inline constexpr int Locate = 3011;
inline constexpr int History = 3012;  // restore the field's previous value
inline constexpr int Help = 3013;
inline constexpr int Last = 3019;  // last number of the range the forms redisplay

inline bool IsButton(int feq) { return feq >= Insert && feq <= Help; }
}  // namespace toolbar

using TipTable = std::vector<std::pair<int, std::string>>;

// The tips of a form under a change request, under an insert request, and of a list.
std::string_view FormChangeTips();
std::string_view FormInsertTips();
std::string_view ListTips();

// Decodes a packed tip table; false (and *out left empty) when it is damaged.
bool DecodeTips(std::string_view block, TipTable* out);

}  // namespace ck
