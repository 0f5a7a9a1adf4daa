// A list report laid out like the program's own, for the report tests of
// every test program: a header with a title, a box and a column heading,
// detail rows with a rule, a name (picture @s10) and notes, a footer with a
// date stamp and the page number, and a form band with a box behind it all.
// 38 rows fill a page.
#pragma once

#include <memory>
#include <string>

#include "ui/report/report.h"

namespace ck::report::test {

inline ReportLayout SampleLayout() {
  ReportLayout l;
  l.title = "List";
  l.AddBand(BandKind::Header, "?HEADER", {250, 250, 8000, 600});
  l.Add(ControlKind::String, "?TITLE", "THE LIST ", {0, 20, 8000, 220}).font = {"Arial", 14, true};
  l.Add(ControlKind::Box, "?HEADERBOX", "", {0, 350, 8000, 250});
  l.Add(ControlKind::String, "?COLUMN", "Name", {50, 390, 1900, 170});
  l.AddBand(BandKind::Detail, "?DETAIL", {0, 0, 8000, 250});
  l.Add(ControlKind::Line, "?LEFTRULE", "", {0, 0, 0, 250});
  l.Add(ControlKind::String, "?NAME", "", {50, 50, 1900, 170}).picture = "@s10";
  l.Add(ControlKind::Text, "?NOTES", "", {2050, 50, 1900, 170});
  l.Add(ControlKind::Line, "?ENDLINE", "", {0, 250, 8000, 0});
  l.AddBand(BandKind::Footer, "?FOOTER", {250, 10500, 8000, 250});
  l.Add(ControlKind::String, "?STAMP", "<-- Date -->", {490, 52, 927, 135});
  ReportControl& count = l.Add(ControlKind::String, "?PAGECOUNT", "", {6950, 52, 700, 135});
  count.picture = "@pPage <<#p";
  count.pageNumber = true;
  l.AddBand(BandKind::Form, "?FORM", {250, 250, 8000, 10500});
  l.Add(ControlKind::Box, "?FORMBOX", "", {0, 0, 8000, 10500});
  l.Add(ControlKind::Image, "?FORMIMAGE", "", {0, 0, 8000, 10500});
  return l;
}

// The sample report with its two detail fields bound to name and notes.
struct SampleReport {
  SampleReport() : report(std::make_unique<Report>(SampleLayout())) {
    report->Bind(report->Feq("?NAME"), ui::UseVar::Of(&name));
    report->Bind(report->Feq("?NOTES"), ui::UseVar::Of(&notes));
  }
  // Prints rows first .. last: "Row N and more" (shown as "Row N and"), "note N".
  bool PrintRows(int first, int last, std::string* error) {
    for (int i = first; i <= last; ++i) {
      name = "Row " + std::to_string(i) + " and more";
      notes = "note " + std::to_string(i);
      if (!report->Print(report->Feq("?DETAIL"), error)) return false;
    }
    return true;
  }
  std::string name, notes;
  std::unique_ptr<Report> report;
};

}  // namespace ck::report::test
