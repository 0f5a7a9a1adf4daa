#include "ui/qt/qt_printer_dialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/presenter.h"
#include "ui/qt/qt_text.h"
#include "ui/qt/qt_window_view.h"

namespace ck::ui {

QDialog* NewPrinterDialog(const std::shared_ptr<Request>& r, QWidget* parent) {
  auto* dlg = new QDialog(parent, DialogFlags(false));
  dlg->setAttribute(Qt::WA_DeleteOnClose);
  dlg->setWindowTitle(FromAnsi(r->caption));
  auto* layout = new QVBoxLayout(dlg);
  if (!r->text.empty()) {
    auto* note = new QLabel(FromAnsi(r->text), dlg);
    note->setObjectName(QStringLiteral("note"));
    note->setWordWrap(true);
    layout->addWidget(note);
  }
  auto* label = new QLabel(QStringLiteral("&Printer:"), dlg);
  auto* list = new QListWidget(dlg);
  label->setBuddy(list);
  for (const std::string& name : r->items) list->addItem(FromAnsi(name));
  if (r->choice >= 1 && r->choice <= list->count()) list->setCurrentRow(r->choice - 1);
  // As tall as its printers (four to eight rows); the dialog keeps one size,
  // so the window manager offers no maximising.
  const int rows = std::clamp(list->count(), 4, 8);
  list->setFixedHeight(rows * std::max(list->sizeHintForRow(0), 1) + 2 * list->frameWidth());
  layout->addWidget(label);
  layout->addWidget(list);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dlg);
  layout->addWidget(buttons);
  auto ok = [buttons, list] {
    buttons->button(QDialogButtonBox::Ok)->setEnabled(list->currentRow() >= 0);
  };
  ok();
  QObject::connect(list, &QListWidget::currentRowChanged, dlg, ok);
  QObject::connect(list, &QListWidget::itemActivated, dlg, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::accepted, dlg, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dlg, &QDialog::reject);
  QObject::connect(dlg, &QDialog::finished, dlg, [r, list](int result) {
    const int row = list->currentRow();
    if (result == QDialog::Accepted && row >= 0 && row < static_cast<int>(r->items.size()))
      r->Answer(1, r->items[static_cast<size_t>(row)]);
    else
      r->Answer(0);
  });
  list->setFocus();
  return dlg;
}

}  // namespace ck::ui
