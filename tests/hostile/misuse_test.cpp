// An impatient user on the real window and handlers: 开始搜索 pressed 100
// times in quick succession, and the list clicked while rows arrive. The
// window ends in the state of the last action. HOSTILE_SEED repeats a run.
#include <QAbstractItemView>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <random>

#include "app/handlers.h"
#include "hostile/probe.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "support/window_probe.h"
#include "search/site.h"
#include "site-server/test_site.h"

using namespace std::chrono_literals;
using hostile::waitUntil;
using luting::site::TestSite;

using namespace probe;

namespace {

QString clipboardText() { return QGuiApplication::clipboard()->text(); }


bool searchEnded() { return luting::waitForAllThreads(0ms); }

// The keyword of a result-page request ("/cili/<keyword>/time-<n>.html").
std::string keywordOf(const std::string& target) {
  const std::size_t from = std::string("/cili/").size();
  return target.substr(from, target.find('/', from) - from);
}

constexpr int total = 45;  // three pages

}  // namespace

class MisuseTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TestSite> site;
  unsigned seed = 0;
  std::mt19937 random;

  int randomBelow(int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); }

  // Exactly the rows of a whole search for keyword, and nothing asked for
  // another keyword once its first page was.
  void checkOnlySearchOf(const std::string& keyword) {
    QCOMPARE(rowCount(), total);
    for (int n = 1; n <= total; ++n) {
      QCOMPARE(shownCell(n - 1, 0), QString::number(n));
      QCOMPARE(shownCell(n - 1, 1), QString::fromStdString(luting::site::resultTitle(keyword, n)));
      QCOMPARE(shownCell(n - 1, 2), QString::fromStdString(luting::site::resultLink(n)));
    }
    QVERIFY(startButton()->isEnabled());
    const auto requests = site->requests();
    auto it = std::find_if(requests.begin(), requests.end(),
                           [&](const auto& r) { return keywordOf(r.target) == keyword; });
    QVERIFY(it != requests.end());
    for (; it != requests.end(); ++it) QCOMPARE(keywordOf(it->target), keyword);
  }

  void clickRow(int row, int column) {
    QAbstractItemView* list = resultList();
    const QModelIndex index = list->model()->index(row, column);
    list->scrollTo(index);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(index).center());
  }

 private slots:
  void initTestCase() {
    for (const char* proxy : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
      qunsetenv(proxy);
    seed = qEnvironmentVariableIsSet("HOSTILE_SEED") ? qEnvironmentVariableIntValue("HOSTILE_SEED")
                                                     : std::random_device{}();
    qInfo("HOSTILE_SEED=%u", seed);
    random.seed(seed);
    luting::setUpSearchWindow();
  }

  void init() {
    site = std::make_unique<TestSite>();
    site->setPageOptions({.total = total});
    luting::setSiteForTesting(site->host(), luting::site::testCaFile());
  }

  void cleanup() {
    QVERIFY(luting::endSearches());
    site.reset();
    luting::setButtonEnabled("按钮1", true);
    if (QTest::currentTestFailed()) qInfo("HOSTILE_SEED=%u", seed);
  }

  // Through the button, which takes a press only while enabled: the search
  // of the last press that counted (or of a keyword typed after it, as the
  // worker reads the box when it starts) is the one listed.
  void startPressedAHundredTimesOnTheButton() {
    site->setDelay(3ms);
    int pressing = 0, lastTaken = -1, taken = 0;
    const auto connection = connect(startButton(), &QPushButton::clicked, [&] {
      lastTaken = pressing;
      ++taken;
    });
    for (pressing = 0; pressing < 100; ++pressing) {
      keywordBox()->setText(QString("k%1").arg(pressing));
      QTest::mouseClick(startButton(), Qt::LeftButton);
      waitUntil([] { return false; }, randomBelow(20));
    }
    disconnect(connection);
    qInfo("%d of the 100 presses were taken", taken);
    QVERIFY(waitUntil(searchEnded, 30000));
    const std::string listed = keywordOf(site->requests().back().target);
    QVERIFY2(std::stoi(listed.substr(1)) >= lastTaken,
             qPrintable(QString("%1 listed, k%2 pressed last").arg(listed.c_str()).arg(lastTaken)));
    checkOnlySearchOf(listed);
  }

  // Through the handler itself, never refused: the last call's search alone.
  void startCalledAHundredTimes() {
    for (int i = 0; i < 100; ++i) {
      keywordBox()->setText(QString("k%1").arg(i));
      luting::onStartClicked();
      switch (randomBelow(3)) {
        case 0:
          break;
        case 1:
          QCoreApplication::processEvents();
          break;
        default:
          waitUntil([] { return false; }, randomBelow(6));
          break;
      }
    }
    QVERIFY(waitUntil(searchEnded, 30000));
    checkOnlySearchOf("k99");
    QCOMPARE(loadedLabel(), QString("加载了%1项资源").arg(total));
  }

  // Clicks on random rows while pages keep arriving: each click puts that
  // row's link on the clipboard and into 编辑框2, and the last one stays.
  void listClickedWhileRowsArrive() {
    site->setPageOptions({.total = 1000000});
    site->setDelay(5ms);
    keywordBox()->setText("click");
    QTest::mouseClick(startButton(), Qt::LeftButton);
    QVERIFY(waitUntil([] { return rowCount() > 0 && !shownCell(0, 2).isEmpty(); }, 20000));
    const int rowsAtFirstClick = rowCount();
    int row = -1;
    for (int click = 0; click < 60; ++click) {
      row = randomBelow(rowCount());
      clickRow(row, randomBelow(3));
      const QString link = QString::fromStdString(luting::site::resultLink(row + 1));
      QCOMPARE(luting::firstSelectedRow("超级列表框1"), row);
      QCOMPARE(linkBox(), link);
      QCOMPARE(clipboardText(), link);
      waitUntil([] { return false; }, 5 + randomBelow(25));
    }
    QVERIFY2(rowCount() > rowsAtFirstClick, "no rows arrived while clicking");
    QTest::mouseClick(stopButton(), Qt::LeftButton);
    QVERIFY(waitUntil(searchEnded, 20000));
    const QString link = QString::fromStdString(luting::site::resultLink(row + 1));
    QCOMPARE(luting::firstSelectedRow("超级列表框1"), row);
    QCOMPARE(linkBox(), link);
    QCOMPARE(clipboardText(), link);

    // A new search clears the list and the box; the clipboard keeps the link.
    site->setPageOptions({.total = total});
    site->setDelay(0ms);
    keywordBox()->setText("after");
    QTest::mouseClick(startButton(), Qt::LeftButton);
    QVERIFY(waitUntil(searchEnded, 20000));
    checkOnlySearchOf("after");
    QCOMPARE(luting::firstSelectedRow("超级列表框1"), -1);
    QVERIFY(linkBox().isEmpty());
    QCOMPARE(clipboardText(), link);
  }

  // Clicks on the row listed last while rows keep arriving: each row shows up
  // complete, so the box and the clipboard get its link at once.
  void clickOnTheRowJustListed() {
    // Long pages, so that the window's thread takes its turns mid-page.
    site->setPageOptions({.total = 1000000, .perPage = 500});
    site->setDelay(5ms);
    keywordBox()->setText("fill");
    QTest::mouseClick(startButton(), Qt::LeftButton);
    QVERIFY(waitUntil([] { return rowCount() > 0; }, 20000));
    for (int click = 0; click < 40; ++click) {
      const int row = rowCount() - 1;
      clickRow(row, 1);
      const QString link = QString::fromStdString(luting::site::resultLink(row + 1));
      QCOMPARE(shownCell(row, 2), link);
      QCOMPARE(linkBox(), link);
      QCOMPARE(clipboardText(), link);
      waitUntil([] { return false; }, 1 + randomBelow(10));
    }
    QTest::mouseClick(stopButton(), Qt::LeftButton);
    QVERIFY(waitUntil(searchEnded, 20000));
  }
};

QTEST_MAIN(MisuseTest)
#include "misuse_test.moc"
