#include "platform/result_list.h"

#include "platform/codepage.h"

namespace luting {
namespace {

// A cell shows at most this much of its text: the view lays out the whole of
// a text each time it paints it, and no column is wide enough for more.
constexpr std::size_t shownBytes = 1024;

}  // namespace

ResultListModel::ResultListModel(QObject* parent)
    : QAbstractTableModel(parent) {}

int ResultListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ResultListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : cellCount;
}

QVariant ResultListModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid()) return {};
  const std::string_view text = leadingCharacters(cell(index.row(), index.column()), shownBytes);
  if (text.empty()) return QString();
  return QString::fromUtf8(convertGbkToUtf8(text));
}

QVariant ResultListModel::headerData(int section, Qt::Orientation orientation,
                                     int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case 0: return QStringLiteral("ID");
    case 1: return QStringLiteral("标题");
    case 2: return QStringLiteral("种子下载地址");
    default: return {};
  }
}

Qt::ItemFlags ResultListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

int ResultListModel::appendRow(Row cells) {
  const int row = static_cast<int>(rows_.size());
  beginInsertRows(QModelIndex(), row, row);
  rows_.push_back(std::move(cells));
  endInsertRows();
  return row;
}

void ResultListModel::setCell(int row, int cell, std::string_view gbkText) {
  if (row < 0 || row >= static_cast<int>(rows_.size()) || cell < 0 ||
      cell >= cellCount)
    return;
  rows_[row][cell].assign(gbkText);
  const QModelIndex changed = index(row, cell);
  emit dataChanged(changed, changed, {Qt::DisplayRole});
}

std::string_view ResultListModel::cell(int row, int cell) const {
  if (row < 0 || row >= static_cast<int>(rows_.size()) || cell < 0 ||
      cell >= cellCount)
    return {};
  return rows_[row][cell];
}

void ResultListModel::deleteAllRows() {
  beginResetModel();
  rows_.clear();
  rows_.shrink_to_fit();
  endResetModel();
}

}  // namespace luting
