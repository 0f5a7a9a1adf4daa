#include "framework/report_messages.h"

#include "framework/error_manager.h"
#include "ui/dialogs.h"

namespace ck {

int ReportProblem(ErrorManager* errors, std::string_view title, std::string_view text,
                  int buttons, int defaultButton) {
  if (errors == nullptr)
    return ui::Message(text, title, ui::MessageIcon::Exclamation, buttons, defaultButton);
  return errors->ShowStandardMessage(text, title, SystemIcon(IconExclamation), buttons,
                                     defaultButton);
}

Level ReportOutputProblem(ErrorManager* errors, std::string_view title,
                          const report::OutputError& error) {
  if (error.page.message != 0 && errors != nullptr && errors->SelectEntry(error.page.message)) {
    errors->CaptureErrorState();
    errors->SetFileName(error.pageFile);
    errors->SetFieldName(error.page.field);
    const ErrorEntry* entry = errors->CurrentEntry();
    errors->Present(errors->Substitute(), entry->TITLE, SystemIcon(IconExclamation), button::Ok,
                    button::Ok);
    return level::Notify;
  }
  ReportProblem(errors, title, error.text);
  return level::Notify;
}

}  // namespace ck
