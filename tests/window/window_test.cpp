// The search window as built, its keyboard and mouse behaviour, and the
// control operations from the window's thread and from workers.
#include <QAbstractItemModel>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <climits>
#include <string>
#include <thread>

#include "platform/clipboard.h"
#include "platform/thread.h"
#include "platform/window.h"

using namespace luting;
using namespace std::chrono_literals;

namespace {

constexpr const char* listName = "超级列表框1";
// "中文" and "磁力" in GBK.
const std::string gbkChinese = "\xD6\xD0\xCE\xC4";
const std::string gbkMagnet = "\xB4\xC5\xC1\xA6";

std::atomic<int> createdCount{0};
std::atomic<int> startCount{0};
std::atomic<int> stopCount{0};
std::atomic<int> resultCount{0};
int selectedAtClick = -2;

void onCreated() {
  ++createdCount;
  setLabelCaption("标签2", "ready");
}
void onStart() { ++startCount; }
void onStop() { ++stopCount; }
void onResult() {
  ++resultCount;
  selectedAtClick = firstSelectedRow(listName);
}

template <typename Widget>
Widget* control(const char* name) {
  return searchWindowWidget()->findChild<Widget*>(QString::fromUtf8(name));
}

QString focusName() {
  QWidget* focus = QApplication::focusWidget();
  return focus != nullptr ? focus->objectName() : QString();
}

// Runs body here, or on a worker while this thread keeps the events flowing.
void (*workerBody)() = nullptr;
std::atomic<bool> workerDone{false};

void runWorkerBody() {
  workerBody();
  workerDone = true;
}

bool runOn(bool onWorker, void (*body)()) {
  if (!onWorker) {
    body();
    return true;
  }
  workerBody = body;
  workerDone = false;
  if (!startDetachedThread(runWorkerBody)) return false;
  return QTest::qWaitFor([] { return workerDone.load(); }, 10000) &&
         waitForAllThreads(5s);
}

// 1,000 times "中" and an "a": longer than a cell shows.
std::string longGbkTitle() {
  std::string text;
  for (int i = 0; i < 1000; ++i) text += "\xD6\xD0";
  return text + "a";
}

// What the operation scripts below saw.
struct Seen {
  int row0 = -2, row1 = -2, wrongAppend = -2, selected = -2, unknownSelected = -2;
  int appendAfterDelete = -2, filled = -2, wrongFilled = -2;
  std::string cell01, cell12, outside, editBack, wrongEdit, unknownEdit, afterDelete;
  std::string longTitle;
};
Seen seen;

void fillScript() {
  seen.row0 = appendRow(listName);
  seen.row1 = appendRow(listName);
  setCellText(listName, 0, 0, "1");
  setCellText(listName, 0, 1, gbkChinese);
  setCellText(listName, 1, 2, "magnet:?xt=urn:btih:ab");
  setCellText(listName, 2, 0, "no such row");
  setCellText(listName, 0, 3, "no such cell");
  seen.filled = appendFilledRow(listName, "3", longGbkTitle(), gbkMagnet);
  seen.longTitle = cellText(listName, 2, 1);
  seen.cell01 = cellText(listName, 0, 1);
  seen.cell12 = cellText(listName, 1, 2);
  seen.outside = cellText(listName, 3, 0) + cellText(listName, 0, 3) +
                 cellText(listName, -1, 0);
  setLabelCaption("标签1", gbkChinese);
  setButtonEnabled("按钮2", false);
  setEditText("编辑框1", gbkChinese);
  seen.editBack = editText("编辑框1");
  seen.selected = firstSelectedRow(listName);
  // Wrong kinds and unknown names do nothing.
  setEditText("标签2", "x");
  setLabelCaption("编辑框2", "x");
  setButtonEnabled("编辑框1", false);
  setCellText("标签1", 0, 0, "x");
  deleteAllRows("按钮1");
  seen.wrongAppend = appendRow("编辑框1");
  seen.wrongFilled = appendFilledRow("编辑框1", "1", "t", "l");
  seen.wrongEdit = editText("按钮1");
  seen.unknownEdit = editText("编辑框9");
  seen.unknownSelected = firstSelectedRow("超级列表框2");
}

void selectedScript() { seen.selected = firstSelectedRow(listName); }

void clearScript() {
  deleteAllRows(listName);
  seen.afterDelete = cellText(listName, 0, 1);
  seen.appendAfterDelete = appendRow(listName);
}

void afterDestroyScript() {
  setEditText("编辑框1", "x");
  seen.editBack = editText("编辑框1");
  seen.row0 = appendRow(listName);
  seen.row1 = appendFilledRow(listName, "1", "t", "l");
  seen.cell01 = cellText(listName, 0, 0);
  seen.selected = firstSelectedRow(listName);
}

// A worker held up in a control operation while the window's thread is busy.
enum class BlockedOp { appendRow, setEditText, cellText };
std::atomic<BlockedOp> blockedOp{BlockedOp::appendRow};
std::atomic<bool> blockedEntered{false};
std::atomic<int> blockedNumber{-2};
std::atomic<int> laterNumber{-2};
std::string blockedText = "unset";

void blockedBody() {
  blockedEntered = true;
  switch (blockedOp.load()) {
    case BlockedOp::appendRow: blockedNumber = appendRow(listName); break;
    case BlockedOp::setEditText: setEditText("编辑框2", "dropped"); break;
    case BlockedOp::cellText: blockedText = cellText(listName, 0, 0); break;
  }
  // Once stopped, a worker's further operations are dropped as well.
  laterNumber = appendRow(listName);
}

// Workers filling the list at the same time.
constexpr int fillerCount = 4;
constexpr int rowsPerFiller = 150;
std::atomic<int> nextFiller{0};
std::atomic<int> fillerMismatches{0};
std::atomic<int> fillersDone{0};

void fillerBody() {
  const std::string tag = std::to_string(nextFiller++);
  int previous = -1;
  for (int i = 0; i < rowsPerFiller; ++i) {
    const int row = appendRow(listName);
    setCellText(listName, row, 0, tag);
    setCellText(listName, row, 1, tag + "/" + std::to_string(i));
    if (row <= previous || cellText(listName, row, 0) != tag) ++fillerMismatches;
    previous = row;
  }
  ++fillersDone;
}

std::atomic<bool> pendingRan{false};
void processFromWorker() { processPendingMessages(); }

void fillList(const QStringList& titles) {
  for (const QString& title : titles) {
    const int row = appendRow(listName);
    setCellText(listName, row, 0, std::to_string(row + 1));
    setCellText(listName, row, 1, title.toStdString());
  }
}

QStringList listTitles() {
  const QAbstractItemModel* model = control<QTableView>(listName)->model();
  QStringList titles;
  for (int row = 0; row < model->rowCount(); ++row)
    titles << model->index(row, 1).data().toString();
  return titles;
}

}  // namespace

Q_DECLARE_METATYPE(BlockedOp)

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    bindEvent(WindowEvent::created, onCreated);
    bindEvent(WindowEvent::startClicked, onStart);
    bindEvent(WindowEvent::stopClicked, onStop);
    bindEvent(WindowEvent::resultClicked, onResult);
    createdCount = startCount = stopCount = resultCount = 0;
    selectedAtClick = -2;
    seen = Seen();
    createSearchWindow();
    QVERIFY(QTest::qWaitForWindowActive(searchWindowWidget()));
  }

  void cleanup() {
    stopAllThreads();
    QVERIFY(waitForAllThreads(5s));
    QCoreApplication::processEvents();
    destroySearchWindow();
    QVERIFY(searchWindowWidget() == nullptr);
  }

  void windowAsBuilt() {
    QWidget* window = searchWindowWidget();
    QCOMPARE(window->windowTitle(), QStringLiteral("鹭汀种子搜索/澜屿软件"));
    QCOMPARE(window->size(), QSize(861, 600));
    QCOMPARE(window->minimumSize(), QSize(861, 600));
    QCOMPARE(window->maximumSize(), QSize(861, 600));
    QCOMPARE(window->windowFlags(),
             Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QCOMPARE(window->frameGeometry().topLeft(),
             QPoint(screen.x() + (screen.width() - 861) / 2,
                    screen.y() + (screen.height() - 600) / 2));
    QCOMPARE(window->palette().color(QPalette::Window),
             window->palette().color(QPalette::Button));
    QCOMPARE(window->font(), QApplication::font());
    // The created handler ran once, with the controls in place.
    QCOMPARE(createdCount.load(), 1);
    QCOMPARE(control<QLabel>("标签2")->text(), QStringLiteral("ready"));
  }

  void controls_data() {
    QTest::addColumn<QByteArray>("kind");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    QTest::newRow("编辑框1") << QByteArray("QLineEdit") << QRect(0, 0, 400, 24) << QString();
    QTest::newRow("按钮1") << QByteArray("QPushButton") << QRect(400, 0, 60, 24)
                         << QStringLiteral("开始搜索");
    QTest::newRow("按钮2") << QByteArray("QPushButton") << QRect(460, 0, 60, 24)
                         << QStringLiteral("停止搜索");
    QTest::newRow("标签1") << QByteArray("QLabel") << QRect(520, 0, 165, 24) << QString();
    QTest::newRow("标签2") << QByteArray("QLabel") << QRect(685, 0, 165, 24)
                         << QStringLiteral("ready");  // set by the created handler
    QTest::newRow("超级列表框1") << QByteArray("QTableView") << QRect(0, 24, 856, 528)
                            << QString();
    QTest::newRow("编辑框2") << QByteArray("QLineEdit") << QRect(0, 552, 856, 20) << QString();
  }

  void controls() {
    QFETCH(QByteArray, kind);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    QWidget* widget = control<QWidget>(QTest::currentDataTag());
    QVERIFY(widget != nullptr);
    QCOMPARE(widget->metaObject()->className(), kind.constData());
    QCOMPARE(widget->parentWidget(), searchWindowWidget());
    QCOMPARE(widget->geometry(), geometry);
    QVERIFY(widget->isVisible());
    QCOMPARE(widget->font(), QApplication::font());
    QVERIFY(widget->accessibleName().isEmpty());

    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
      QCOMPARE(edit->text(), text);
      QVERIFY(edit->hasFrame());
      QVERIFY(!edit->isReadOnly());
      QCOMPARE(edit->maxLength(), INT_MAX);
      QCOMPARE(edit->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
      QCOMPARE(edit->palette().color(QPalette::Base), QColor(Qt::white));
      QCOMPARE(edit->palette().color(QPalette::Text), QColor(Qt::black));
    } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
      QCOMPARE(button->text(), text);
      QVERIFY(!button->isDefault());
      QVERIFY(!button->autoDefault());
      QVERIFY(button->isEnabled());
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
      QCOMPARE(label->text(), text);
      QCOMPARE(label->alignment(), Qt::AlignCenter);
      QCOMPARE(label->focusPolicy(), Qt::NoFocus);
      QCOMPARE(label->frameShape(), QFrame::NoFrame);
      QVERIFY(!label->wordWrap());
      QCOMPARE(label->textFormat(), Qt::PlainText);
      QCOMPARE(label->palette().color(QPalette::WindowText), QColor(Qt::black));
    } else if (auto* list = qobject_cast<QTableView*>(widget)) {
      QCOMPARE(list->model()->rowCount(), 0);
      QCOMPARE(list->model()->columnCount(), 3);
      QVERIFY(!list->selectionModel()->hasSelection());
      QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
      QCOMPARE(list->selectionMode(), QAbstractItemView::SingleSelection);
      QCOMPARE(list->editTriggers(), QAbstractItemView::NoEditTriggers);
      QVERIFY(!list->tabKeyNavigation());
      QVERIFY(!list->verticalHeader()->isVisible());
      QCOMPARE(list->verticalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
      QVERIFY(list->horizontalHeader()->isVisible());
      QVERIFY(list->horizontalHeader()->sectionsClickable());
      QVERIFY(!list->isSortingEnabled());
      QVERIFY(!list->horizontalHeader()->isSortIndicatorShown());
      QVERIFY(list->showGrid());
      QCOMPARE(list->frameShadow(), QFrame::Sunken);
      QVERIFY(!list->viewport()->testAttribute(Qt::WA_Hover));
      QCOMPARE(list->palette().color(QPalette::Base), QColor(Qt::white));
      QCOMPARE(list->palette().color(QPalette::Text), QColor(Qt::black));
    } else {
      QFAIL("unexpected kind of control");
    }
  }

  void listColumns_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("width");
    QTest::newRow("ID") << 0 << QStringLiteral("ID") << 50;
    QTest::newRow("title") << 1 << QStringLiteral("标题") << 400;
    QTest::newRow("link") << 2 << QStringLiteral("种子下载地址") << 400;
  }

  void listColumns() {
    QFETCH(int, column);
    QFETCH(QString, title);
    QFETCH(int, width);
    auto* list = control<QTableView>(listName);
    QCOMPARE(list->model()->headerData(column, Qt::Horizontal).toString(), title);
    QCOMPARE(list->columnWidth(column), width);
    QCOMPARE(list->horizontalHeader()->visualIndex(column), column);
    QCOMPARE(list->horizontalHeader()->defaultAlignment() & Qt::AlignHorizontal_Mask,
             Qt::AlignLeft);
  }

  void tabRing_data() {
    QTest::addColumn<Qt::Key>("key");
    QTest::addColumn<QStringList>("order");
    const QStringList forward = {"按钮1", "超级列表框1", "编辑框1", "按钮2", "编辑框2", "按钮1"};
    QStringList backward(forward.rbegin(), forward.rend());
    QTest::newRow("Tab") << Qt::Key_Tab << forward;
    QTest::newRow("Shift+Tab") << Qt::Key_Backtab << backward;
  }

  void tabRing() {
    QFETCH(Qt::Key, key);
    QFETCH(QStringList, order);
    QCOMPARE(focusName(), order.first());  // 按钮1 has the focus at first
    for (qsizetype i = 1; i < order.size(); ++i) {
      QTest::keyClick(QApplication::focusWidget(), key);
      QCOMPARE(focusName(), order[i]);
    }
  }

  void focusComesBack_data() {
    QTest::addColumn<QString>("name");
    for (const char* name : {"编辑框1", "按钮2", "超级列表框1", "编辑框2"})
      QTest::newRow(name) << QString::fromUtf8(name);
  }

  void focusComesBack() {
    QFETCH(QString, name);
    QWidget* window = searchWindowWidget();
    window->findChild<QWidget*>(name)->setFocus(Qt::TabFocusReason);
    QCOMPARE(focusName(), name);
    QWidget other;
    other.setGeometry(0, 0, 100, 100);
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QVERIFY(QApplication::focusWidget() == nullptr ||
            QApplication::focusWidget()->window() != window);
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QCOMPARE(focusName(), name);
  }

  void escape_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<bool>("closes");
    for (const char* name : {"按钮1", "超级列表框1", "编辑框1", "按钮2", "编辑框2"})
      QTest::addRow("Esc in %s", name)
          << QString::fromUtf8(name) << Qt::KeyboardModifiers() << true;
    QTest::newRow("Ctrl+Esc") << QStringLiteral("编辑框1")
                              << Qt::KeyboardModifiers(Qt::ControlModifier) << false;
    QTest::newRow("Shift+Esc") << QStringLiteral("超级列表框1")
                               << Qt::KeyboardModifiers(Qt::ShiftModifier) << false;
    QTest::newRow("Alt+Esc") << QStringLiteral("按钮2")
                             << Qt::KeyboardModifiers(Qt::AltModifier) << false;
  }

  void escape() {
    QFETCH(QString, name);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(bool, closes);
    QWidget* window = searchWindowWidget();
    window->findChild<QWidget*>(name)->setFocus(Qt::TabFocusReason);
    QCOMPARE(focusName(), name);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape, modifiers);
    QCOMPARE(window->isVisible(), !closes);
  }

  void messageLoopEndsWithWindow_data() {
    QTest::addColumn<bool>("byEscape");
    QTest::newRow("close") << false;
    QTest::newRow("Esc") << true;
  }

  void messageLoopEndsWithWindow() {
    QFETCH(bool, byEscape);
    QTimer::singleShot(0, [byEscape] {
      if (byEscape)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
      else
        searchWindowWidget()->close();
    });
    // Should the loop not end with the window, end it with a failure code.
    QTimer fallback;
    fallback.setSingleShot(true);
    QObject::connect(&fallback, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    fallback.start(10000);
    QCOMPARE(runMessageLoop(), 0);
    QVERIFY(!searchWindowWidget()->isVisible());
  }

  void onlyButtonsStartAndStop() {
    auto* start = control<QPushButton>("按钮1");
    QTest::mouseClick(start, Qt::LeftButton);
    QTest::mouseClick(control<QPushButton>("按钮2"), Qt::LeftButton);
    QCOMPARE(startCount.load(), 1);
    QCOMPARE(stopCount.load(), 1);
    start->setFocus();
    QTest::keyClick(start, Qt::Key_Space);
    QCOMPARE(startCount.load(), 2);

    auto* keyword = control<QLineEdit>("编辑框1");
    keyword->setFocus();
    QTest::keyClicks(keyword, "abc");
    QTest::keyClick(keyword, Qt::Key_Return);
    QTest::keyClick(keyword, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(startCount.load(), 2);
    QCOMPARE(stopCount.load(), 1);
    QCOMPARE(keyword->text(), QStringLiteral("abc"));
    QVERIFY(searchWindowWidget()->isVisible());
  }

  void controlOperations_data() {
    QTest::addColumn<bool>("onWorker");
    QTest::newRow("window thread") << false;
    QTest::newRow("worker") << true;
  }

  void controlOperations() {
    QFETCH(bool, onWorker);
    auto* list = control<QTableView>(listName);
    const QAbstractItemModel* model = list->model();

    QVERIFY(runOn(onWorker, fillScript));
    QCOMPARE(seen.row0, 0);
    QCOMPARE(seen.row1, 1);
    QCOMPARE(seen.filled, 2);
    QCOMPARE(model->rowCount(), 3);
    QCOMPARE(model->index(2, 0).data().toString(), QStringLiteral("3"));
    QCOMPARE(model->index(2, 2).data().toString(), QStringLiteral("磁力"));
    // A long text is kept whole but shown only as far as a cell can show it,
    // ending on a whole character.
    QCOMPARE(seen.longTitle, longGbkTitle());
    QCOMPARE(model->index(2, 1).data().toString(), QString(512, QChar(0x4E2D)));
    QCOMPARE(model->index(0, 0).data().toString(), QStringLiteral("1"));
    QCOMPARE(model->index(0, 1).data().toString(), QStringLiteral("中文"));
    QCOMPARE(seen.cell01, gbkChinese);
    QCOMPARE(seen.cell12, std::string("magnet:?xt=urn:btih:ab"));
    QCOMPARE(seen.outside, std::string());
    QCOMPARE(control<QLabel>("标签1")->text(), QStringLiteral("中文"));
    QVERIFY(!control<QPushButton>("按钮2")->isEnabled());
    QVERIFY(control<QPushButton>("按钮1")->isEnabled());
    QCOMPARE(control<QLineEdit>("编辑框1")->text(), QStringLiteral("中文"));
    QCOMPARE(control<QLineEdit>("编辑框1")->cursorPosition(), 0);  // shows the start
    QCOMPARE(seen.editBack, gbkChinese);
    QCOMPARE(seen.selected, -1);
    // Operations on the wrong kind of control, or on no control, did nothing.
    QCOMPARE(control<QLabel>("标签2")->text(), QStringLiteral("ready"));
    QCOMPARE(control<QLineEdit>("编辑框2")->text(), QString());
    QVERIFY(control<QLineEdit>("编辑框1")->isEnabled());
    QCOMPARE(model->index(0, 0).data().toString(), QStringLiteral("1"));
    QCOMPARE(seen.wrongAppend, -1);
    QCOMPARE(seen.wrongFilled, -1);
    QCOMPARE(seen.wrongEdit, std::string());
    QCOMPARE(seen.unknownEdit, std::string());
    QCOMPARE(seen.unknownSelected, -1);

    list->selectRow(1);
    QVERIFY(runOn(onWorker, selectedScript));
    QCOMPARE(seen.selected, 1);

    QVERIFY(runOn(onWorker, clearScript));
    QCOMPARE(seen.afterDelete, std::string());
    QCOMPARE(seen.appendAfterDelete, 0);
    QCOMPARE(model->rowCount(), 1);
    QVERIFY(!list->selectionModel()->hasSelection());
  }

  void operationsAfterDestroy_data() { controlOperations_data(); }

  void operationsAfterDestroy() {
    QFETCH(bool, onWorker);
    destroySearchWindow();
    QVERIFY(runOn(onWorker, afterDestroyScript));
    QCOMPARE(seen.editBack, std::string());
    QCOMPARE(seen.row0, -1);
    QCOMPARE(seen.row1, -1);
    QCOMPARE(seen.cell01, std::string());
    QCOMPARE(seen.selected, -1);
  }

  void workersFillTogether() {
    nextFiller = 0;
    fillerMismatches = 0;
    fillersDone = 0;
    for (int i = 0; i < fillerCount; ++i) QVERIFY(startDetachedThread(fillerBody));
    QVERIFY(QTest::qWaitFor([] { return fillersDone.load() == fillerCount; }, 30000));
    QVERIFY(waitForAllThreads(5s));
    QCOMPARE(fillerMismatches.load(), 0);
    const QAbstractItemModel* model = control<QTableView>(listName)->model();
    QCOMPARE(model->rowCount(), fillerCount * rowsPerFiller);
    // Each worker's rows came out in the order it issued them.
    int expected[fillerCount] = {};
    for (int row = 0; row < model->rowCount(); ++row) {
      const int tag = model->index(row, 0).data().toInt();
      QVERIFY(tag >= 0 && tag < fillerCount);
      QCOMPARE(model->index(row, 1).data().toString(),
               QStringLiteral("%1/%2").arg(tag).arg(expected[tag]));
      ++expected[tag];
    }
  }

  void stopReleasesBlockedWorker_data() {
    QTest::addColumn<BlockedOp>("op");
    QTest::newRow("appendRow") << BlockedOp::appendRow;
    QTest::newRow("setEditText") << BlockedOp::setEditText;
    QTest::newRow("cellText") << BlockedOp::cellText;
  }

  void stopReleasesBlockedWorker() {
    QFETCH(BlockedOp, op);
    const int rowsBefore = op == BlockedOp::cellText ? 1 : 0;
    if (rowsBefore == 1) setCellText(listName, appendRow(listName), 0, "kept");
    blockedOp = op;
    blockedEntered = false;
    blockedNumber = laterNumber = -2;
    blockedText = "unset";
    QVERIFY(startDetachedThread(blockedBody));
    // This thread runs no events from here until the worker has ended.
    while (!blockedEntered) std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(50ms);
    QVERIFY(!waitForAllThreads(100ms));  // held up in its operation
    stopAllThreads();
    QVERIFY(waitForAllThreads(5s));
    QCOMPARE(laterNumber.load(), -1);
    switch (op) {
      case BlockedOp::appendRow: QCOMPARE(blockedNumber.load(), -1); break;
      case BlockedOp::cellText: QCOMPARE(blockedText, std::string()); break;
      case BlockedOp::setEditText: break;
    }
    // Its operation comes to be applied now, and is dropped.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QCOMPARE(control<QTableView>(listName)->model()->rowCount(), rowsBefore);
    QCOMPARE(control<QLineEdit>("编辑框2")->text(), QString());
  }

  void clicks_data() {
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<QString>("where");
    QTest::addColumn<int>("selectedBefore");
    QTest::addColumn<int>("fired");
    QTest::addColumn<int>("selectedAfter");
    QTest::newRow("left on a row") << Qt::LeftButton << QStringLiteral("row 1") << -1 << 1 << 1;
    QTest::newRow("left on another row") << Qt::LeftButton << QStringLiteral("row 1") << 2 << 1 << 1;
    QTest::newRow("left below the rows") << Qt::LeftButton << QStringLiteral("below") << 0 << 1 << -1;
    QTest::newRow("right on a row") << Qt::RightButton << QStringLiteral("row 1") << -1 << 0 << 1;
    QTest::newRow("left on the header") << Qt::LeftButton << QStringLiteral("header") << 2 << 0 << 2;
  }

  void clicks() {
    QFETCH(Qt::MouseButton, button);
    QFETCH(QString, where);
    QFETCH(int, selectedBefore);
    QFETCH(int, fired);
    QFETCH(int, selectedAfter);
    auto* list = control<QTableView>(listName);
    const QStringList titles = {"c", "a", "b"};
    fillList(titles);
    if (selectedBefore >= 0) list->selectRow(selectedBefore);

    if (where == "header") {
      QHeaderView* header = list->horizontalHeader();
      QTest::mouseClick(header->viewport(), button, {},
                        QPoint(header->sectionViewportPosition(1) + 20, header->height() / 2));
    } else {
      const int row = where == "below" ? -1 : 1;
      const QPoint point =
          row >= 0 ? list->visualRect(list->model()->index(row, 1)).center()
                   : QPoint(100, list->rowViewportPosition(2) + 3 * list->rowHeight(2));
      QVERIFY(!list->indexAt(point).isValid() == (row < 0));
      QTest::mouseClick(list->viewport(), button, {}, point);
    }
    QCOMPARE(resultCount.load(), fired);
    if (fired > 0) QCOMPARE(selectedAtClick, selectedAfter);
    QCOMPARE(firstSelectedRow(listName), selectedAfter);
    QCOMPARE(listTitles(), titles);  // nothing sorted
    QVERIFY(!list->horizontalHeader()->isSortIndicatorShown());
  }

  void listSelectionShowsOnlyWithFocus_data() {
    QTest::addColumn<QString>("focus");
    QTest::addColumn<bool>("shown");
    QTest::newRow("list focused") << QString::fromUtf8(listName) << true;
    QTest::newRow("edit focused") << QStringLiteral("编辑框1") << false;
    QTest::newRow("button focused") << QStringLiteral("按钮1") << false;
  }

  void listSelectionShowsOnlyWithFocus() {
    QFETCH(QString, focus);
    QFETCH(bool, shown);
    auto* list = control<QTableView>(listName);
    fillList({"title"});
    list->selectRow(0);
    searchWindowWidget()->findChild<QWidget*>(focus)->setFocus(Qt::TabFocusReason);
    QCOMPARE(focusName(), focus);
    // A blank stretch of the selected row, clear of text and grid lines.
    const QPoint point(list->columnViewportPosition(2) + 300,
                       list->rowViewportPosition(0) + list->rowHeight(0) / 2);
    const QImage image = list->viewport()->grab().toImage();
    const QColor pixel = image.pixelColor(point * image.devicePixelRatio());
    const QColor highlight = list->palette().color(QPalette::Active, QPalette::Highlight);
    QVERIFY(highlight != QColor(Qt::white));
    QCOMPARE(pixel, shown ? highlight : QColor(Qt::white));
  }

  // The list keeps its cells laid out between paints; what it paints must
  // still follow every change of the texts and of the columns.
  void listPaintsTheTextsItHolds() {
    auto* list = control<QTableView>(listName);
    const auto shown = [list] { return list->viewport()->grab().toImage(); };
    const auto fill = [](std::initializer_list<std::string> titles) {
      deleteAllRows(listName);
      for (const std::string& title : titles) appendFilledRow(listName, "1", title, "magnet:");
    };
    fill({"alpha", "beta"});
    const QImage first = shown();
    QCOMPARE(shown(), first);  // painted again from what it kept
    fill({"gamma", "delta"});
    QVERIFY(shown() != first);
    fill({"alpha", "beta"});
    QCOMPARE(shown(), first);
    setCellText(listName, 1, 1, "bet");
    QVERIFY(shown() != first);
    setCellText(listName, 1, 1, "beta");
    QCOMPARE(shown(), first);
    // A text too long for its column, shown as a fresh list shows it after
    // the column changes width.
    const std::string longTitle(200, 'w');
    for (const int width : {100, 400}) {
      fill({longTitle});
      shown();
      list->setColumnWidth(1, width);
      const QImage resized = shown();
      fill({longTitle});
      QCOMPARE(resized, shown());
    }
  }

  void editSelectionGoesWithFocus_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("编辑框1") << QStringLiteral("编辑框1");
    QTest::newRow("编辑框2") << QStringLiteral("编辑框2");
  }

  void editSelectionGoesWithFocus() {
    QFETCH(QString, name);
    auto* edit = searchWindowWidget()->findChild<QLineEdit*>(name);
    edit->setFocus(Qt::TabFocusReason);
    edit->setText(QStringLiteral("magnet:?xt=urn:btih:ab"));
    edit->selectAll();
    QVERIFY(edit->hasSelectedText());
    QTest::keyClick(edit, Qt::Key_Tab);
    QVERIFY(!edit->hasFocus());
    QVERIFY(!edit->hasSelectedText());
    // Should a selection be kept while the window is inactive, it is not drawn.
    QCOMPARE(edit->palette().color(QPalette::Inactive, QPalette::Highlight),
             edit->palette().color(QPalette::Inactive, QPalette::Base));
  }

  void pendingMessagesRunOnWindowThreadOnly_data() {
    QTest::addColumn<bool>("onWorker");
    QTest::addColumn<bool>("runs");
    QTest::newRow("window thread") << false << true;
    QTest::newRow("worker") << true << false;
  }

  void pendingMessagesRunOnWindowThreadOnly() {
    QFETCH(bool, onWorker);
    QFETCH(bool, runs);
    pendingRan = false;
    QMetaObject::invokeMethod(qApp, [] { pendingRan = true; }, Qt::QueuedConnection);
    if (onWorker) {
      QVERIFY(startDetachedThread(processFromWorker));
      QVERIFY(waitForAllThreads(5s));
    } else {
      luting::processPendingMessages();
    }
    QCOMPARE(pendingRan.load(), runs);
    QCoreApplication::processEvents();
    QVERIFY(pendingRan);
  }

  void clipboard() {
    QVERIFY(putClipboardText(gbkMagnet));
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("磁力"));
  }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
