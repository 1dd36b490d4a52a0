#include "platform/result_cells.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QPainter>
#include <QStyle>

namespace luting {
namespace {

// Cells kept laid out: a few screens' worth, so scrolling back and forth
// stays cheap and a long list does not hold one per row.
constexpr qsizetype keptCells = 600;

quint64 cellKey(int row, int column) {
  return (static_cast<quint64>(row) << 8) | static_cast<quint64>(column);
}

// One line as the view shows it: control characters would start new lines or
// show as boxes.
QString oneLine(QString text) {
  for (QChar& c : text)
    if (c.unicode() < 0x20) c = QLatin1Char(' ');
  return text;
}

}  // namespace

ResultCellDelegate::ResultCellDelegate(QAbstractItemModel* model, QObject* parent)
    : QStyledItemDelegate(parent) {
  // The list's rows are only ever appended or all deleted, so a cell keeps
  // its key until the model resets.
  connect(model, &QAbstractItemModel::modelReset, this, [this] { shown_.clear(); });
  connect(model, &QAbstractItemModel::dataChanged, this,
          [this](const QModelIndex& from, const QModelIndex& to) {
            for (int row = from.row(); row <= to.row(); ++row)
              for (int column = from.column(); column <= to.column(); ++column)
                shown_.remove(cellKey(row, column));
          });
}

const QStaticText& ResultCellDelegate::shownText(const QModelIndex& index,
                                                 const QStyleOptionViewItem& option,
                                                 int width) const {
  const quint64 key = cellKey(index.row(), index.column());
  auto found = shown_.find(key);
  if (found != shown_.end() && found->width == width) return found->text;
  if (found == shown_.end() && shown_.size() >= keptCells) shown_.clear();
  const QString text = oneLine(index.data(Qt::DisplayRole).toString());
  Shown entry;
  entry.width = width;
  entry.text.setTextFormat(Qt::PlainText);
  entry.text.setPerformanceHint(QStaticText::AggressiveCaching);
  entry.text.setText(option.fontMetrics.elidedText(text, Qt::ElideRight, width));
  entry.text.prepare(QTransform(), option.font);
  return shown_.insert(key, std::move(entry))->text;
}

void ResultCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
  const QWidget* widget = option.widget;
  QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
  const QPalette::ColorGroup group = !(option.state & QStyle::State_Enabled)  ? QPalette::Disabled
                                     : (option.state & QStyle::State_Active) ? QPalette::Active
                                                                             : QPalette::Inactive;
  const bool selected = option.state & QStyle::State_Selected;
  if (selected) painter->fillRect(option.rect, option.palette.brush(group, QPalette::Highlight));

  const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
  const QRect room = option.rect.adjusted(margin, 0, -margin, 0);
  const QStaticText& text = shownText(index, option, room.width());
  painter->save();
  painter->setClipRect(room);
  painter->setFont(option.font);
  painter->setPen(option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
  const qreal top = room.top() + (room.height() - text.size().height()) / 2;
  painter->drawStaticText(QPointF(room.left(), top), text);
  painter->restore();

  if (option.state & QStyle::State_HasFocus) {
    QStyleOptionFocusRect focus;
    focus.QStyleOption::operator=(option);
    focus.backgroundColor = option.palette.color(group, selected ? QPalette::Highlight : QPalette::Base);
    style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
  }
}

}  // namespace luting
