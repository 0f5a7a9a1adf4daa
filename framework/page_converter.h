// The page image converter: turns a report's page images into the file (or
// files) of an output target, showing the "Progress..." window while it
// works ("Exporting to" the file, a thermometer, "Page n of total"). A page
// that cannot be read is reported with the page image messages; any other
// failure with its reason. Nothing is left half written. Belongs to one
// thread; not copyable.
#pragma once

#include <string>
#include <vector>

#include "framework/levels.h"

namespace ck {

class ErrorManager;
struct ReportGenerator;

class PageImageConverter {
 public:
  PageImageConverter() = default;
  virtual ~PageImageConverter() = default;
  PageImageConverter(const PageImageConverter&) = delete;
  PageImageConverter& operator=(const PageImageConverter&) = delete;

  void Init(ErrorManager* errors) { Errors = errors; }
  // Writes pages to file in the target's format; title names the document.
  // *written receives the files made (one per page for pictures). Benign,
  // or Notify after a failure was reported.
  virtual Level Convert(const std::vector<std::string>& pages, const ReportGenerator& target,
                        const std::string& file, const std::string& title,
                        std::vector<std::string>* written);

  ErrorManager* Errors = nullptr;
};

// The file of page n (from 1) when every page gets a picture of its own:
// "list.png" -> "list-1.png".
std::string PageFileName(const std::string& file, int page);

}  // namespace ck
