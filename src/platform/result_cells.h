// Paints the result list's cells from texts laid out once and kept between
// paints. Rows are only ever appended, so a full list repaints the same
// visible cells again and again while rows arrive below them; laying their
// texts out anew each time was most of a repaint's cost.
#pragma once

#include <QHash>
#include <QStaticText>
#include <QStyledItemDelegate>

namespace luting {

class ResultCellDelegate final : public QStyledItemDelegate {
  Q_OBJECT

 public:
  // Forgets laid-out texts whenever the model's texts change.
  explicit ResultCellDelegate(QAbstractItemModel* model, QObject* parent = nullptr);

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;

 private:
  struct Shown {
    int width = -1;  // the room it was elided for
    QStaticText text;
  };
  const QStaticText& shownText(const QModelIndex& index, const QStyleOptionViewItem& option,
                               int width) const;

  mutable QHash<quint64, Shown> shown_;
};

}  // namespace luting
