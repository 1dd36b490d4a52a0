// Closing the window ends the program promptly with status 0, even while a
// request hangs on a server that never answers.
#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>

#include "site-server/test_site.h"

using namespace std::chrono_literals;

class CloseTest : public QObject {
  Q_OBJECT

  // Runs the program, which closes its window after closeAfterMs; returns
  // how long the process lived after that (its start-up included).
  qint64 runAndClose(luting::site::TestSite& site, int closeAfterMs, int& exitCode) {
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(env);
    QElapsedTimer clock;
    clock.start();
    program.start(SEARCH_DRIVER,
                  {QString::fromStdString(site.host()),
                   QString::fromStdString(luting::site::testCaFile()), "k",
                   QString::number(closeAfterMs)});
    if (!program.waitForFinished(10000)) {
      program.kill();
      program.waitForFinished();
      exitCode = -1;
      return clock.elapsed();
    }
    exitCode = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    return clock.elapsed() - closeAfterMs;
  }

 private slots:
  void closeWhileARequestHangs() {
    luting::site::TestSite site;
    site.hold();  // page 1 is never answered
    int exitCode = 0;
    const qint64 lived = runAndClose(site, 1500, exitCode);
    QVERIFY(site.waitForRequests(1, 0ms));
    QCOMPARE(exitCode, 0);
    QVERIFY2(lived < 2500, qPrintable(QString("ended %1 ms after closing").arg(lived)));
  }

  void closeWhilePaging() {
    luting::site::TestSite site;
    site.setPageOptions({.total = 100000});
    site.setDelay(20ms);
    int exitCode = 0;
    const qint64 lived = runAndClose(site, 1500, exitCode);
    QVERIFY(site.requestedPages().size() > 1);
    QCOMPARE(exitCode, 0);
    QVERIFY2(lived < 2500, qPrintable(QString("ended %1 ms after closing").arg(lived)));
  }
};

QTEST_GUILESS_MAIN(CloseTest)
#include "close_test.moc"
