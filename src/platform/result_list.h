// The result list's rows, held as GBK Texts. A cell is turned into Unicode
// only when the view asks to show it, so large lists stay cheap to fill.
#pragma once

#include <QAbstractTableModel>

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace luting {

class ResultListModel final : public QAbstractTableModel {
  Q_OBJECT

 public:
  static constexpr int cellCount = 3;
  using Row = std::array<std::string, cellCount>;

  explicit ResultListModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // Appends a row (empty unless given its texts) and returns its index.
  int appendRow(Row cells = {});
  // Out-of-range rows or cells are ignored (set) or give empty (get).
  void setCell(int row, int cell, std::string_view gbkText);
  std::string_view cell(int row, int cell) const;
  void deleteAllRows();

 private:
  std::vector<Row> rows_;
};

}  // namespace luting
