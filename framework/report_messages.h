// How the report manager, the print preview and the page image converter
// tell the user about a failure: a text of their own in a message box, or a
// page image that cannot be read with the page image messages (48 to 51 and
// 22, titled "WMF Parser Error"). Those messages are of the fatal level in
// the message table, but a damaged temporary page only ends the output it
// was meant for: the message is shown and the program goes on.
#pragma once

#include <string_view>

#include "framework/levels.h"
#include "ui/report/page_output.h"

namespace ck {

class ErrorManager;

// Shows text under title with an exclamation icon and the button set;
// returns the pressed button. errors may be null (the engine's message box).
int ReportProblem(ErrorManager* errors, std::string_view title, std::string_view text,
                  int buttons = button::Ok, int defaultButton = button::Ok);

// Reports an output failure: the page image message when a page could not
// be read, otherwise the text under title. Returns Notify.
Level ReportOutputProblem(ErrorManager* errors, std::string_view title,
                          const report::OutputError& error);

}  // namespace ck
