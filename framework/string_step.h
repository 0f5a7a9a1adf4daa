// The string step: maps between a list's vertical scroll thumb (1 to 100 %)
// and values of the sort order's free key field, so the thumb shows roughly
// where the highlighted record lies in the whole order, and dragging it jumps
// to a matching place, without counting records. Its table holds 100
// entries, entry 1 the lowest value; entry k stands for the k-th percent.
// Two tables are fixed (three-letter name prefixes, a two-letter alphabet);
// the third is built at run time between a low and a high value.
// Belongs to one thread; not copyable.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ck {

// Bits of StringStep::CONTROLS.
namespace stepflag {
inline constexpr uint8_t Letters = 1;
inline constexpr uint8_t Punctuation = 2;
inline constexpr uint8_t Digits = 4;
inline constexpr uint8_t CaseSensitive = 8;
inline constexpr uint8_t Descending = 16;
}  // namespace stepflag

// LOOKUPMODE values.
namespace steptable {
inline constexpr uint8_t Names = 1;     // fixed: three-letter name prefixes
inline constexpr uint8_t Alphabet = 2;  // fixed: two letters
inline constexpr uint8_t RunTime = 3;   // built by StepSetLimits
}  // namespace steptable

class StringStep {
 public:
  StringStep() = default;
  virtual ~StringStep() = default;
  StringStep(const StringStep&) = delete;
  StringStep& operator=(const StringStep&) = delete;

  // Stores the flags and chooses the table (a mode other than 1 and 2 is a
  // table built at run time, empty until StepSetLimits).
  void StepInit(uint8_t controls, uint8_t mode);

  // --- Virtual operations, in slot order ---
  // The percentage (1 to 100) of value in the order.
  virtual int StepPercentOf(std::string_view value);
  // The value that stands for percent p.
  virtual std::string StepValueOf(int p);
  virtual void Kill();
  // Builds the run-time table between low and high (the first and last
  // values of the order).
  virtual void StepSetLimits(std::string_view low, std::string_view high);
  // Whether the table is built at run time.
  virtual bool IsRunTime();

  // --- Members, in declaration order ---
  uint8_t CONTROLS = 0;
  uint8_t LOOKUPMODE = 0;
  std::string REF;       // 100 entries of TESTLEN characters, one after the other
  std::string ROOT;      // the common prefix of all values (run-time tables)
  std::string SORTCHARS; // run-time tables: the characters that may occur, ascending
  uint8_t TESTLEN = 0;

 private:
  std::string_view Entry(int k) const;  // 1-based
  std::string Cased(std::string_view text) const;
};

// The 31 punctuation characters a run-time table may hold (flag 2).
std::string_view StepPunctuation();

}  // namespace ck
