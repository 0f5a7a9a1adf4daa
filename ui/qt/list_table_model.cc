#include "ui/qt/list_table_model.h"

#include "ui/qt/qt_text.h"

namespace ck::ui {

namespace {
Qt::Alignment AlignOf(Align a) {
  switch (a) {
    case Align::Left: return Qt::AlignLeft | Qt::AlignVCenter;
    case Align::Center: return Qt::AlignHCenter | Qt::AlignVCenter;
    case Align::Right:
    case Align::Decimal: return Qt::AlignRight | Qt::AlignVCenter;
  }
  return Qt::AlignLeft | Qt::AlignVCenter;
}
}  // namespace

ListTableModel::ListTableModel(std::vector<ListColumn> columns, QObject* parent)
    : QAbstractTableModel(parent), columns_(std::move(columns)) {
  if (columns_.empty()) columns_.push_back(ListColumn());
}

bool ListTableModel::SetRows(const std::vector<std::vector<std::string>>& rows) {
  if (rows == rows_) return false;
  beginResetModel();
  rows_ = rows;
  endResetModel();
  return true;
}

int ListTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ListTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant ListTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
  size_t col = static_cast<size_t>(index.column());
  if (role == Qt::DisplayRole) {
    const auto& row = rows_[static_cast<size_t>(index.row())];
    return col < row.size() ? FromAnsi(row[col]) : QString();
  }
  if (role == Qt::TextAlignmentRole && col < columns_.size())
    return QVariant::fromValue(AlignOf(columns_[col].align));
  return {};
}

QVariant ListTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= static_cast<int>(columns_.size()))
    return {};
  if (role == Qt::DisplayRole) return FromAnsi(columns_[static_cast<size_t>(section)].header);
  if (role == Qt::TextAlignmentRole)
    return QVariant::fromValue(AlignOf(columns_[static_cast<size_t>(section)].headerAlign));
  return {};
}

}  // namespace ck::ui
