// ReportPASSWORDSByPAS:KeyClientDomain: prints every PASSWORDS entry, one
// line each, in the order of PAS:KeyClientDomain, with a title, column
// headings, the date and time the report was opened and page numbers on
// every page. A small progress window shows how far it got ("Cancel" ends
// it); the finished pages open in the print preview, maximised, from which
// the user prints or saves them.
#pragma once

#include "ui/report/report_layout.h"

namespace ck::app {

// Runs on its own thread from the frame's menu. REQUIRES: the thread start
// hook ran on this thread.
void ReportPASSWORDSByPAS_KeyClientDomain();

// The report's layout (thousandths of an inch).
report::ReportLayout PasswordsReportLayout();

}  // namespace ck::app
