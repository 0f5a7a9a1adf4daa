// Output targets of a report: the generators that turn page images into
// files of another kind (a PDF document, PNG pictures, a text file), and the
// selector that lets the user choose one in the "Select an Output" window.
// A generator is named by its number; a number that names none is reported
// as "The number "N" is not a valid Generator: GetReportGeneratorName".
// Belongs to one thread; not copyable.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "framework/levels.h"

namespace ck {

class ErrorManager;

struct ReportGenerator {
  int Number = 0;
  std::string Name;       // shown in the choice
  std::string Extension;  // ".pdf"
  std::string Filter;     // file dialog filter
};

namespace generator {
inline constexpr int Pdf = 1;
inline constexpr int Png = 2;
inline constexpr int Text = 3;
}  // namespace generator

// The text that reports a generator number naming no generator.
std::string InvalidGeneratorText(int number);

class ReportTargetSelector {
 public:
  // The standard generators; errors (may be null) shows the failures.
  explicit ReportTargetSelector(ErrorManager* errors = nullptr);
  virtual ~ReportTargetSelector() = default;
  ReportTargetSelector(const ReportTargetSelector&) = delete;
  ReportTargetSelector& operator=(const ReportTargetSelector&) = delete;

  // Shows "Select an Output"; the chosen generator's number, 0 when cancelled.
  virtual int Ask();
  // The generator's name; for a number that names none the failure is
  // reported and "" returned.
  std::string GetReportGeneratorName(int number);
  // The generator; null (reported as above) when the number names none.
  const ReportGenerator* Generator(int number);

  std::vector<ReportGenerator> Generators;
  ErrorManager* Errors = nullptr;
};

}  // namespace ck
