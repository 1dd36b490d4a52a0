// The search window: its controls, their settings, and the events the
// program's handlers are bound to.
#include "platform/window.h"

#include <QApplication>
#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTableView>

#include <climits>

#include "platform/result_cells.h"
#include "platform/result_list.h"
#include "platform/window_controls.h"

namespace luting {
namespace {

constexpr int windowWidth = 861;
constexpr int windowHeight = 600;

void (*handlers[4])() = {};
QWidget* searchWindow = nullptr;
QTableView* resultView = nullptr;
bool inMessageLoop = false;

void fire(WindowEvent event) {
  if (void (*handler)() = handlers[static_cast<int>(event)]) handler();
}

// Keeps the frame 861x600 where the window system draws one; its margins are
// known only once the window is shown, and may arrive later still. Platforms
// without a window system (offscreen, minimal) draw none, though offscreen
// reports margins: there the client area is 861x600.
void fitFrame() {
  const QString platform = QGuiApplication::platformName();
  if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
    return;
  const QSize margins =
      searchWindow->frameGeometry().size() - searchWindow->geometry().size();
  const QSize client(windowWidth - margins.width(),
                     windowHeight - margins.height());
  if (searchWindow->minimumSize() != client ||
      searchWindow->maximumSize() != client)
    searchWindow->setFixedSize(client);
}

// Esc closes the window, clicks in the list report, the frame is kept fitted.
class WindowEvents final : public QObject {
 public:
  using QObject::QObject;

  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape &&
            (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
          searchWindow->close();
          return true;
        }
        break;
      }
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick:
        // A click on the empty area deselects, as a report list does; the
        // view itself would keep the selection there.
        if (resultView != nullptr && watched == resultView->viewport()) {
          const auto* mouse = static_cast<QMouseEvent*>(event);
          if (!resultView->indexAt(mouse->position().toPoint()).isValid())
            resultView->clearSelection();
        }
        break;
      case QEvent::MouseButtonRelease:
        // The selection followed the press already.
        if (resultView != nullptr && watched == resultView->viewport() &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
          fire(WindowEvent::resultClicked);
        break;
      case QEvent::Show:
      case QEvent::Move:
      case QEvent::Resize:
        if (watched == searchWindow) fitFrame();
        break;
      case QEvent::Close:
        if (watched == searchWindow && inMessageLoop) QCoreApplication::exit(0);
        break;
      default:
        break;
    }
    return false;
  }
};

// Black on white, and a selection that does not show while unfocused.
void setTextColours(QWidget* widget) {
  QPalette palette = widget->palette();
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
    palette.setColor(group, QPalette::Base, Qt::white);
    palette.setColor(group, QPalette::Text, Qt::black);
  }
  palette.setColor(QPalette::Inactive, QPalette::Highlight, Qt::white);
  palette.setColor(QPalette::Inactive, QPalette::HighlightedText, Qt::black);
  widget->setPalette(palette);
}

template <typename Widget>
Widget* addControl(int index, const QRect& geometry, QObject* events) {
  auto* widget = new Widget(searchWindow);
  widget->setObjectName(QString::fromUtf8(controlInfo[index].name.data(),
                                          controlInfo[index].name.size()));
  widget->setGeometry(geometry);
  widget->installEventFilter(events);
  controlWidgets[index] = widget;
  return widget;
}

QLineEdit* addEdit(int index, const QRect& geometry, QObject* events) {
  auto* edit = addControl<QLineEdit>(index, geometry, events);
  edit->setFrame(true);
  edit->setMaxLength(INT_MAX);
  edit->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  setTextColours(edit);
  return edit;
}

QPushButton* addButton(int index, const QRect& geometry, const QString& text,
                       QObject* events) {
  auto* button = addControl<QPushButton>(index, geometry, events);
  button->setText(text);
  button->setAutoDefault(false);
  button->setDefault(false);
  return button;
}

QLabel* addLabel(int index, const QRect& geometry, QObject* events) {
  auto* label = addControl<QLabel>(index, geometry, events);
  label->setTextFormat(Qt::PlainText);
  label->setFrameShape(QFrame::NoFrame);
  label->setAlignment(Qt::AlignCenter);
  label->setWordWrap(false);
  label->setFocusPolicy(Qt::NoFocus);
  QPalette palette = label->palette();
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
    palette.setColor(group, QPalette::WindowText, Qt::black);
  label->setPalette(palette);
  return label;
}

QTableView* addList(int index, const QRect& geometry, QObject* events) {
  auto* view = addControl<QTableView>(index, geometry, events);
  resultModel = new ResultListModel(view);
  view->setModel(resultModel);
  view->setItemDelegate(new ResultCellDelegate(resultModel, view));
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setTabKeyNavigation(false);
  view->setSortingEnabled(false);
  view->setShowGrid(true);
  view->setWordWrap(false);
  view->setCornerButtonEnabled(false);
  view->setAlternatingRowColors(false);
  view->setFrameShape(QFrame::StyledPanel);
  view->setFrameShadow(QFrame::Sunken);
  view->setMouseTracking(false);
  view->viewport()->setAttribute(Qt::WA_Hover, false);
  view->viewport()->installEventFilter(events);
  setTextColours(view);

  QHeaderView* header = view->horizontalHeader();
  header->setSectionsClickable(true);
  header->setSortIndicatorShown(false);
  header->setHighlightSections(false);
  header->setSectionsMovable(false);
  header->setStretchLastSection(false);
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  view->setColumnWidth(0, 50);
  view->setColumnWidth(1, 400);
  view->setColumnWidth(2, 400);

  // One fixed height for every row keeps very long lists quick.
  QHeaderView* rows = view->verticalHeader();
  rows->hide();
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setMinimumSectionSize(1);
  rows->setDefaultSectionSize(view->fontMetrics().height() + 4);
  return view;
}

}  // namespace

void initPlatform(int& argc, char** argv) {
  // Lives to the end of the process.
  if (QCoreApplication::instance() == nullptr) new QApplication(argc, argv);
  // Lets desktops match the window to its menu entry and icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("io.github.luting_search.LutingSearch"));
  recordWindowThread();
}

void bindEvent(WindowEvent event, void (*handler)()) {
  handlers[static_cast<int>(event)] = handler;
}

void createSearchWindow() {
  if (searchWindow != nullptr) return;
  recordWindowThread();

  searchWindow = new QWidget(
      nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  searchWindow->setWindowTitle(QStringLiteral("鹭汀种子搜索/澜屿软件"));
  QPalette palette = searchWindow->palette();
  for (QPalette::ColorGroup group :
       {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
    palette.setBrush(group, QPalette::Window,
                     palette.brush(group, QPalette::Button));
  searchWindow->setPalette(palette);
  searchWindow->setFixedSize(windowWidth, windowHeight);
  auto* events = new WindowEvents(searchWindow);
  searchWindow->installEventFilter(events);

  // Created in Tab order, which is also set explicitly below.
  QPushButton* start = addButton(1, {400, 0, 60, 24},
                                 QStringLiteral("开始搜索"), events);
  resultView = addList(5, {0, 24, 856, 528}, events);
  QLineEdit* keyword = addEdit(0, {0, 0, 400, 24}, events);
  QPushButton* stop = addButton(2, {460, 0, 60, 24},
                                QStringLiteral("停止搜索"), events);
  QLineEdit* link = addEdit(6, {0, 552, 856, 20}, events);
  addLabel(3, {520, 0, 165, 24}, events);
  addLabel(4, {685, 0, 165, 24}, events);
  QWidget::setTabOrder(start, resultView);
  QWidget::setTabOrder(resultView, keyword);
  QWidget::setTabOrder(keyword, stop);
  QWidget::setTabOrder(stop, link);

  QObject::connect(start, &QPushButton::clicked,
                   [] { fire(WindowEvent::startClicked); });
  QObject::connect(stop, &QPushButton::clicked,
                   [] { fire(WindowEvent::stopClicked); });

  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen != nullptr) {
    const QRect area = screen->geometry();
    searchWindow->move(area.x() + (area.width() - windowWidth) / 2,
                       area.y() + (area.height() - windowHeight) / 2);
  }
  start->setFocus(Qt::OtherFocusReason);
  searchWindow->show();
  searchWindow->activateWindow();
  fire(WindowEvent::created);
}

QWidget* searchWindowWidget() { return searchWindow; }

int runMessageLoop() {
  if (searchWindow == nullptr || !searchWindow->isVisible()) return 0;
  inMessageLoop = true;
  const int code = QApplication::exec();
  inMessageLoop = false;
  return code;
}

void destroySearchWindow() {
  controlWidgets.fill(nullptr);
  resultModel = nullptr;
  resultView = nullptr;
  delete searchWindow;
  searchWindow = nullptr;
}

void processPendingMessages() {
  if (onWindowThread() && QCoreApplication::instance() != nullptr)
    QCoreApplication::processEvents();
}

}  // namespace luting
