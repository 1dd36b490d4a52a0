// Closing the window of the real program (a child process) while a broken or
// hostile page is in progress, and at 100 random moments of a search: the
// program ends with status 0, soon after the close.
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>
#include <QtTest>
#include <map>
#include <memory>
#include <random>
#include <thread>

#include "hostile/hostile_site.h"

using namespace std::chrono_literals;
using hostile::Scenario;

namespace {

QString driverPath() { return SEARCH_DRIVER; }

QStringList driverArguments(const std::string& host, const QString& close) {
  return {QString::fromStdString(host), QString::fromStdString(luting::site::testCaFile()),
          hostile::keyword, close};
}

void useOffscreen(QProcess& process) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  for (const char* proxy : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
    env.remove(proxy);
  process.setProcessEnvironment(env);
}

// How the process ended: "" for status 0, else what went wrong.
QString endOf(QProcess& process) {
  if (process.exitStatus() != QProcess::NormalExit) return "crashed";
  if (process.exitCode() != 0) return QString("exit status %1").arg(process.exitCode());
  return {};
}

}  // namespace

class CloseTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QVERIFY(QFile::exists(driverPath())); }

  // Closed as soon as the bad page has been asked for, while it is served.
  void closeDuringBadPage_data() {
    QTest::addColumn<int>("index");
    for (std::size_t i = 0; i < hostile::scenarios().size(); ++i)
      QTest::newRow(hostile::scenarios()[i].name) << static_cast<int>(i);
  }
  void closeDuringBadPage() {
    QFETCH(int, index);
    const hostile::ScenarioInfo& s = hostile::scenarios().at(index);
    auto site = hostile::startHostileSite(s.scenario);
    QProcess program;
    useOffscreen(program);
    program.start(driverPath(), driverArguments(site->site.host(), "stdin"));
    QVERIFY(program.waitForStarted());
    QElapsedTimer waited;
    waited.start();
    while (site->hostileReplies == 0 && waited.elapsed() < 20000 &&
           program.state() == QProcess::Running)
      std::this_thread::sleep_for(1ms);
    QVERIFY2(site->hostileReplies > 0, "the bad page was never asked for");
    QElapsedTimer sinceClose;
    sinceClose.start();
    program.write("close\n");
    const bool ended = program.waitForFinished(10000);
    const qint64 lived = sinceClose.elapsed();
    if (!ended) {
      program.kill();
      program.waitForFinished();
    }
    qInfo("ended %lld ms after the close", lived);
    QVERIFY2(ended, "still running 10 s after the close");
    QCOMPARE(endOf(program), QString());
    QVERIFY(program.readAllStandardOutput().contains("closed"));
    if (!hostile::sanitized)
      QVERIFY2(lived < 1500, qPrintable(QString::number(lived)));
  }

  // 100 fresh processes, two at a time, each closed at a random moment
  // between 0 and 1.5 s of a search on an ordinary or a hostile site.
  // HOSTILE_SEED repeats a run.
  void closeAtRandomMoments() {
    const unsigned seed = qEnvironmentVariableIsSet("HOSTILE_SEED")
                              ? qEnvironmentVariableIntValue("HOSTILE_SEED")
                              : std::random_device{}();
    qInfo("HOSTILE_SEED=%u", seed);
    std::mt19937 random(seed);

    // One site per scenario, and one that pages on for ever (index -1).
    std::map<int, std::unique_ptr<hostile::HostileSite>> hostileSites;
    luting::site::TestSite endless;
    endless.setPageOptions({.total = 1000000});
    endless.setDelay(5ms);
    const int kinds = static_cast<int>(hostile::scenarios().size()) + 1;

    struct Run {
      QString what;
      int closeAfterMs;
      int endsWithinMs;  // of the close
      QElapsedTimer clock;
    };
    // Sanitized processes start and end several times slower.
    constexpr int total = hostile::sanitized ? 30 : 100, atOnce = 2;
    int started = 0, finished = 0;
    QStringList failures;
    QEventLoop loop;

    std::function<void()> startNext = [&] {
      if (started == total) return;
      const int kind = static_cast<int>(random() % kinds) - 1;
      const int closeAfterMs = static_cast<int>(random() % 1501);
      std::string host = endless.host();
      QString what = "endless paging";
      const int endsWithinMs = 5000;
      if (kind >= 0) {
        auto& site = hostileSites[kind];
        if (!site) site = hostile::startHostileSite(hostile::scenarios()[kind].scenario);
        host = site->site.host();
        what = hostile::scenarios()[kind].name;
      }
      auto* program = new QProcess(&loop);
      auto run = std::make_shared<Run>(
          Run{QString("#%1 %2, closed after %3 ms").arg(started).arg(what).arg(closeAfterMs),
              closeAfterMs,
              endsWithinMs,
              {}});
      ++started;
      useOffscreen(*program);
      program->setProcessChannelMode(QProcess::ForwardedErrorChannel);
      auto* limit = new QTimer(program);
      limit->setSingleShot(true);
      QObject::connect(limit, &QTimer::timeout, program, [program, run, &failures] {
        failures << run->what + ": still running long after the close";
        program->kill();
      });
      QObject::connect(program, &QProcess::finished, &loop, [&, program, run] {
        const qint64 afterClose = run->clock.elapsed() - run->closeAfterMs;
        const QString end = endOf(*program);
        if (!end.isEmpty())
          failures << run->what + ": " + end;
        else if (afterClose > run->endsWithinMs)
          failures << run->what + QString(": ended %1 ms after").arg(afterClose);
        program->deleteLater();
        if (++finished == total) loop.quit();
        startNext();
      });
      run->clock.start();
      program->start(driverPath(), driverArguments(host, QString::number(closeAfterMs)));
      limit->start(closeAfterMs + endsWithinMs + 5000);
    };
    for (int i = 0; i < atOnce; ++i) startNext();
    QTimer::singleShot(240000, &loop, &QEventLoop::quit);
    loop.exec();
    QCOMPARE(finished, total);
    QVERIFY2(failures.isEmpty(),
             qPrintable(QString("HOSTILE_SEED=%1\n").arg(seed) + failures.join('\n')));
  }
};

QTEST_GUILESS_MAIN(CloseTest)
#include "hostile_close_test.moc"
