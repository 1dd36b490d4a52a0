// The worker registry: stopping, waiting for earlier workers, start failures.
#include <QtTest>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/thread.h"

using namespace luting;
using namespace std::chrono_literals;

namespace {

// A gate workers wait at, opened by the test (not by a stop request).
std::mutex gateMutex;
std::condition_variable gateOpened;
bool gateOpen = false;

void setGate(bool open) {
  {
    std::lock_guard lock(gateMutex);
    gateOpen = open;
  }
  gateOpened.notify_all();
}

std::atomic<int> started{0};
std::atomic<int> events{0};        // order in which things happened
std::atomic<int> firstEndedAt{-1};
std::atomic<int> secondPassedAt{-1};
std::atomic<bool> secondWasStopped{false};
std::atomic<bool> sawStop{false};
std::atomic<bool> bodyRan{false};

void gatedBody() {
  ++started;
  std::unique_lock lock(gateMutex);
  gateOpened.wait(lock, [] { return gateOpen; });
  firstEndedAt = events++;
}

void waitingBody() {
  ++started;
  waitForEarlierThreads();
  secondWasStopped = stopRequested();
  secondPassedAt = events++;
}

void untilStoppedBody() {
  ++started;
  std::mutex mutex;
  std::condition_variable_any never;
  std::unique_lock lock(mutex);
  never.wait(lock, currentStopToken(), [] { return false; });
  sawStop = stopRequested();
}

void markBody() { bodyRan = true; }

}  // namespace

class ThreadTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    started = 0;
    events = 0;
    firstEndedAt = secondPassedAt = -1;
    secondWasStopped = sawStop = bodyRan = false;
    setGate(false);
  }

  void cleanup() {
    setThreadStartFailsForTesting(false);
    setGate(true);
    stopAllThreads();
    QVERIFY(waitForAllThreads(5s));
  }

  void stopReachesWorker() {
    QVERIFY(startDetachedThread(untilStoppedBody));
    QVERIFY(!waitForAllThreads(100ms));  // it cannot end without a stop
    stopAllThreads();
    QVERIFY(waitForAllThreads(5s));
    QVERIFY(sawStop);
  }

  void tokenOutsideWorkersNeverStops() {
    stopAllThreads();
    QVERIFY(!stopRequested());
    QVERIFY(!currentStopToken().stop_possible());
    luting::waitForEarlierThreads();  // returns at once outside workers
  }

  void earlierWorkerHoldsWaiter_data() {
    QTest::addColumn<bool>("stopSecond");
    QTest::newRow("earlier worker ends") << false;
    QTest::newRow("waiter is stopped") << true;
  }

  void earlierWorkerHoldsWaiter() {
    QFETCH(bool, stopSecond);
    QVERIFY(startDetachedThread(gatedBody));
    QVERIFY(startDetachedThread(waitingBody));
    QVERIFY(QTest::qWaitFor([] { return started == 2; }, 5000));
    std::this_thread::sleep_for(50ms);
    QCOMPARE(secondPassedAt.load(), -1);  // held while the first is live
    if (stopSecond) {
      // Stops both; the first ignores it and stays at its gate.
      stopAllThreads();
      QVERIFY(QTest::qWaitFor([] { return secondPassedAt >= 0; }, 5000));
      QVERIFY(secondWasStopped);
      QCOMPARE(firstEndedAt.load(), -1);
      setGate(true);
    } else {
      setGate(true);
      QVERIFY(waitForAllThreads(5s));
      QVERIFY(!secondWasStopped);
      QVERIFY(firstEndedAt < secondPassedAt);
    }
    QVERIFY(waitForAllThreads(5s));
  }

  void laterWorkersDoNotHoldEarlierOnes() {
    // The first waits for earlier workers while a later one is still live.
    QVERIFY(startDetachedThread(waitingBody));
    QVERIFY(QTest::qWaitFor([] { return secondPassedAt >= 0; }, 5000));
    QVERIFY(startDetachedThread(gatedBody));
    QVERIFY(startDetachedThread(waitingBody));
    QVERIFY(QTest::qWaitFor([] { return started == 3; }, 5000));
    std::this_thread::sleep_for(50ms);
    QCOMPARE(secondPassedAt.load(), 0);  // the third is held by the gated one
    setGate(true);
    QVERIFY(waitForAllThreads(5s));
    QCOMPARE(secondPassedAt.load(), 2);
  }

  void startFailure() {
    setThreadStartFailsForTesting(true);
    QVERIFY(!startDetachedThread(markBody));
    QVERIFY(waitForAllThreads(0ms));  // nothing left registered
    setThreadStartFailsForTesting(false);
    QVERIFY(startDetachedThread(markBody));
    QVERIFY(waitForAllThreads(5s));
    QVERIFY(bodyRan);
  }
};

QTEST_GUILESS_MAIN(ThreadTest)
#include "thread_test.moc"
