// The rows of a list control as a Qt table model: shown texts, column
// headers and alignments from the list's format. GUI thread only.
#pragma once

#include <QAbstractTableModel>
#include <string>
#include <vector>

#include "ui/list_format.h"

namespace ck::ui {

class ListTableModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit ListTableModel(std::vector<ListColumn> columns, QObject* parent = nullptr);

  // Replaces the rows; false when they are the rows already shown.
  bool SetRows(const std::vector<std::vector<std::string>>& rows);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  std::vector<ListColumn> columns_;
  std::vector<std::vector<std::string>> rows_;
};

}  // namespace ck::ui
