// Whole searches through the real window and handlers, against a local HTTPS
// site: the first page, the paging, stopping, and searches that replace one
// another.
#include <QAbstractItemView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <condition_variable>
#include <mutex>

#include "app/handlers.h"
#include "app/search_state.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "support/window_probe.h"
#include "search/site.h"
#include "site-server/test_site.h"

using namespace std::chrono_literals;
using luting::site::PageOptions;
using luting::site::TestSite;

using namespace probe;

namespace {


bool searchEnds() {
  return QTest::qWaitFor([] { return luting::waitForAllThreads(0ms); }, 20000);
}

// Blocks the server's answer to one page until opened.
struct Gate {
  std::mutex m;
  std::condition_variable cv;
  bool open = false;
  void pass() {
    std::unique_lock lock(m);
    cv.wait_for(lock, 10s, [this] { return open; });
  }
  void openUp() {
    { std::lock_guard lock(m); open = true; }
    cv.notify_all();
  }
};

}  // namespace

class SearchTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TestSite> site;
  std::vector<std::shared_ptr<Gate>> gates;  // opened before the site stops

  std::shared_ptr<Gate> newGate() { return gates.emplace_back(std::make_shared<Gate>()); }

  // Waits for the site to have seen n requests while the window's thread
  // goes on serving the worker's control operations.
  bool requestsArrive(std::size_t n) {
    return QTest::qWaitFor([&] { return site->waitForRequests(n, 0ms); }, 10000);
  }
  void useSite(const PageOptions& options) {
    site->setPageOptions(options);
  }
  void search(const QString& keyword) {
    keywordBox()->setText(keyword);
    QTest::mouseClick(startButton(), Qt::LeftButton);
  }
  void checkRows(const QString& keyword, int first, int last) {
    QCOMPARE(rowCount(), last - first + 1);
    for (int n = first; n <= last; ++n) {
      const int row = n - first;
      QCOMPARE(shownCell(row, 0), QString::number(n));
      QCOMPARE(shownCell(row, 1),
               QString::fromStdString(luting::site::resultTitle(keyword.toStdString(), n)));
      QCOMPARE(shownCell(row, 2), QString::fromStdString(luting::site::resultLink(n)));
    }
  }

 private slots:
  void initTestCase() {
    for (const char* proxy : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
      qunsetenv(proxy);
    luting::setUpSearchWindow();
  }

  void init() {
    site = std::make_unique<TestSite>();
    luting::setSiteForTesting(site->host(), luting::site::testCaFile());
  }

  void cleanup() {
    QVERIFY(luting::endSearches());
    for (auto& gate : gates) gate->openUp();
    site.reset();
    gates.clear();
    luting::setButtonEnabled("按钮1", true);
  }

  // Must run first, on the untouched window.
  void stopBeforeAnySearchChangesNothing() {
    QTest::mouseClick(stopButton(), Qt::LeftButton);
    QCOMPARE(rowCount(), 0);
    QVERIFY(totalLabel().isEmpty() && loadedLabel().isEmpty() && linkBox().isEmpty());
    QVERIFY(startButton()->isEnabled());
    QCOMPARE(luting::searchState.pageNumber.load(), 1);
    QVERIFY(site->requests().empty());
  }

  void firstPageIsListed() {
    useSite({.total = 15});
    search("测试 abc");
    QVERIFY(searchEnds());
    checkRows("测试 abc", 1, 15);
    QCOMPARE(totalLabel(), QString("共搜索到了15项种子资源"));
    QCOMPARE(loadedLabel(), QString("加载了15项资源"));
    QVERIFY(startButton()->isEnabled());
    QCOMPARE(site->requests().at(0).target,
             std::string("/cili/%E6%B5%8B%E8%AF%95%20abc/time-1.html"));
  }

  void startClearsEverythingBeforeTheFirstRequest() {
    useSite({.total = 5});
    search("one");
    QVERIFY(searchEnds());
    luting::setEditText("编辑框2", "x");
    QVERIFY(rowCount() > 0 && !totalLabel().isEmpty());

    site->hold();
    search("two");
    QCOMPARE(rowCount(), 0);
    QVERIFY(totalLabel().isEmpty() && loadedLabel().isEmpty() && linkBox().isEmpty());
    QVERIFY(!startButton()->isEnabled());
    QVERIFY(requestsArrive(2));
    QTest::qWait(50);
    QVERIFY(!startButton()->isEnabled());  // until page 1 is listed
    site->release();
    QVERIFY(searchEnds());
    QVERIFY(startButton()->isEnabled());
    checkRows("two", 1, 5);
  }

  void emptyKeywordStillRequests() {
    useSite({.total = 3});
    search("");
    QVERIFY(searchEnds());
    QCOMPARE(site->requests().at(0).target, std::string("/cili//time-1.html"));
    QCOMPARE(rowCount(), 3);
  }

  void pageWithoutTotalShowsEmptyTotal() {
    useSite({.total = 100, .totalSentence = false});
    search("k");
    QVERIFY(searchEnds());
    QCOMPARE(totalLabel(), QString("共搜索到了项种子资源"));
    QCOMPARE(site->requestedPages(), std::vector<int>{1});
    QCOMPARE(rowCount(), 20);
  }

  void titlesWithoutLinksGetEmptyLinks() {
    useSite({.total = 4, .linksMissing = 2});
    search("k");
    QVERIFY(searchEnds());
    QCOMPARE(rowCount(), 4);
    QVERIFY(!shownCell(1, 2).isEmpty());
    QVERIFY(shownCell(2, 2).isEmpty() && shownCell(3, 2).isEmpty());
    QCOMPARE(shownCell(3, 1), QString::fromStdString(luting::site::resultTitle("k", 4)));
  }

  void keywordIsReadOnceAtTheStart() {
    useSite({.total = 45});
    site->hold();
    search("first");
    QVERIFY(requestsArrive(1));
    keywordBox()->setText("second");
    site->release();
    QVERIFY(searchEnds());
    for (const auto& request : site->requests())
      QVERIFY(request.target.starts_with("/cili/first/"));
    QCOMPARE(site->requestedPages(), (std::vector<int>{1, 2, 3}));
  }

  void paging_data() {
    QTest::addColumn<int>("total");
    QTest::addColumn<bool>("totalSentence");
    QTest::addColumn<int>("lastPage");
    QTest::addColumn<std::vector<int>>("pages");
    QTest::addColumn<int>("rows");
    QTest::newRow("total 0") << 0 << true << -1 << std::vector<int>{1} << 0;
    QTest::newRow("no total") << 50 << false << -1 << std::vector<int>{1} << 20;
    QTest::newRow("total 20") << 20 << true << -1 << std::vector<int>{1} << 20;
    QTest::newRow("total 21") << 21 << true << -1 << std::vector<int>{1} << 20;
    QTest::newRow("total 45") << 45 << true << -1 << std::vector<int>{1, 2, 3} << 45;
    QTest::newRow("site runs dry after page 3")
        << 1000 << true << 3 << std::vector<int>{1, 2, 3, 4} << 60;
  }
  void paging() {
    QFETCH(int, total);
    QFETCH(bool, totalSentence);
    QFETCH(int, lastPage);
    QFETCH(std::vector<int>, pages);
    QFETCH(int, rows);
    useSite({.total = total, .lastPage = lastPage, .totalSentence = totalSentence});
    search("page");
    QVERIFY(searchEnds());
    QCOMPARE(site->requestedPages(), pages);
    QCOMPARE(rowCount(), rows);
    if (rows > 0) QCOMPARE(loadedLabel(), QString("加载了%1项资源").arg(rows));
  }

  void fullPagesOfFortyFiveNumberUpToSixty() {
    // 20 results on every page, whatever the total says.
    site->setPageBody([](const std::string& keyword, int page) {
      std::string body = luting::site::buildResultPage(keyword, page, {.total = 1000});
      // The page reports 45 although it holds 20 results.
      const std::string from = "鹭汀种子为你找到 1000 条关于";
      body.replace(body.find(from), from.size(), "鹭汀种子为你找到 45 条关于");
      return body;
    });
    search("k");
    QVERIFY(searchEnds());
    QCOMPARE(site->requestedPages(), (std::vector<int>{1, 2, 3}));
    QCOMPARE(rowCount(), 60);
    QCOMPARE(luting::searchState.rowNumber.load(), 61);
  }

  void unreachableSiteEndsAfterTheFirstPage() {
    const std::string host = site->host();
    site.reset();  // nothing listens there any more
    luting::setSiteForTesting(host, luting::site::testCaFile());
    search("k");
    QVERIFY(searchEnds());
    QCOMPARE(totalLabel(), QString("共搜索到了项种子资源"));
    QCOMPARE(rowCount(), 0);
    QVERIFY(startButton()->isEnabled());
    site = std::make_unique<TestSite>();
  }

  void stopDuringFirstPageAllowsOneMore() {
    useSite({.total = 100});
    site->hold();
    search("k");
    QVERIFY(requestsArrive(1));
    QTest::mouseClick(stopButton(), Qt::LeftButton);
    site->release();
    QVERIFY(searchEnds());
    QCOMPARE(site->requestedPages(), (std::vector<int>{1, 2}));
    QCOMPARE(rowCount(), 40);
  }

  void stopDuringALaterPageEndsAfterIt() {
    auto gate = newGate();
    site->setPageBody([gate](const std::string& keyword, int page) {
      if (page == 3) gate->pass();
      return luting::site::buildResultPage(keyword, page, {.total = 1000});
    });
    search("k");
    QVERIFY(requestsArrive(3));
    QTest::mouseClick(stopButton(), Qt::LeftButton);
    gate->openUp();
    QVERIFY(searchEnds());
    QCOMPARE(site->requestedPages(), (std::vector<int>{1, 2, 3}));
    QCOMPARE(rowCount(), 60);
  }

  void secondSearchBeginsAtPageOne() {
    useSite({.total = 45});
    search("a");
    QVERIFY(searchEnds());
    search("b");
    QVERIFY(searchEnds());
    QCOMPARE(site->requestedPages(), (std::vector<int>{1, 2, 3, 1, 2, 3}));
    checkRows("b", 1, 45);
  }

  void newSearchReplacesOneStillPaging() {
    auto never = newGate();
    site->setPageBody([never](const std::string& keyword, int page) {
      if (keyword == "old" && page == 3) never->pass();  // hangs until the test ends
      return luting::site::buildResultPage(keyword, page,
                                           {.total = keyword == "old" ? 1000 : 25});
    });
    search("old");
    QVERIFY(requestsArrive(3));
    QVERIFY(startButton()->isEnabled());
    search("new");
    QVERIFY(searchEnds());
    checkRows("new", 1, 25);
    QCOMPARE(totalLabel(), QString("共搜索到了25项种子资源"));
    QCOMPARE(loadedLabel(), QString("加载了25项资源"));
    int oldRequests = 0;
    for (const auto& request : site->requests()) oldRequests += request.target.starts_with("/cili/old/");
    QCOMPARE(oldRequests, 3);
  }

  void burstOfStartsEndsAsOne() {
    useSite({.total = 30});
    keywordBox()->setText("burst");
    for (int i = 0; i < 20; ++i) {
      luting::onStartClicked();
      QCoreApplication::processEvents();
    }
    QVERIFY(searchEnds());
    checkRows("burst", 1, 30);
    QCOMPARE(loadedLabel(), QString("加载了30项资源"));
    QVERIFY(startButton()->isEnabled());
  }

  void noThreadLeavesStartDisabled() {
    useSite({.total = 5});
    luting::setThreadStartFailsForTesting(true);
    search("k");
    luting::setThreadStartFailsForTesting(false);
    QTest::qWait(100);
    QVERIFY(!startButton()->isEnabled());
    QCOMPARE(rowCount(), 0);
    QVERIFY(totalLabel().isEmpty());
    QVERIFY(site->requests().empty());
  }
};

QTEST_MAIN(SearchTest)
#include "search_test.moc"
