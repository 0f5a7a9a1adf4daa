// The printer setup dialog: the printers a request offers in a list, the
// highlighted one chosen; a note (no printer installed) above them.
#pragma once

#include <memory>

class QDialog;
class QWidget;

namespace ck::ui {

class Request;

// A new dialog (deleted on close) that answers r when it is finished: 1 and
// the chosen printer's name, or 0.
QDialog* NewPrinterDialog(const std::shared_ptr<Request>& r, QWidget* parent);

}  // namespace ck::ui
