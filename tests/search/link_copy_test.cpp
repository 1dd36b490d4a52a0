// A click on the results list copies the selected row's link to the clipboard
// and into 编辑框2.
#include <QAbstractItemView>
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QtTest>

#include "app/handlers.h"
#include "platform/window.h"
#include "support/window_probe.h"
#include "text/text.h"

using namespace probe;

namespace {

QString clipboardText() { return QGuiApplication::clipboard()->text(); }

// link is a GBK Text, as the page decoding produces it.
void addRow(const char* title, const std::string& link) {
  const int row = luting::appendRow("超级列表框1");
  luting::setCellText("超级列表框1", row, 0, std::to_string(row + 1));
  luting::setCellText("超级列表框1", row, 1, luting::gbkFromUtf8(title));
  luting::setCellText("超级列表框1", row, 2, link);
}

void clickCell(int row, int column) {
  QAbstractItemView* list = resultList();
  const QRect rect = list->visualRect(list->model()->index(row, column));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

}  // namespace

class LinkCopyTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    luting::setUpSearchWindow();
    addRow("第一", luting::percentDecode("magnet:?xt=urn:btih:AAAA&dn=%E7%A7%8D%E5%AD%90"));
    addRow("第二", "");
    addRow("第三", "magnet:?xt=urn:btih:CCCC");
  }

  void init() {
    QGuiApplication::clipboard()->setText("before");
    luting::setEditText("编辑框2", "before");
  }

  void clickCopiesThatRowsLink_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("link");
    const QString first = QString::fromUtf8("magnet:?xt=urn:btih:AAAA&dn=种子");
    QTest::newRow("number cell") << 0 << 0 << first;
    QTest::newRow("title cell") << 0 << 1 << first;
    QTest::newRow("link cell") << 0 << 2 << first;
    QTest::newRow("other row") << 2 << 1 << QString("magnet:?xt=urn:btih:CCCC");
    QTest::newRow("row with empty link") << 1 << 1 << QString();
  }
  void clickCopiesThatRowsLink() {
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QString, link);
    clickCell(row, column);
    QCOMPARE(clipboardText(), link);
    QCOMPARE(linkBox(), link);
  }

  void clickBelowTheRowsCopiesNothing() {
    clickCell(0, 1);
    QAbstractItemView* list = resultList();
    const QRect last = list->visualRect(list->model()->index(2, 1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, last.center() + QPoint(0, 200));
    QCOMPARE(luting::firstSelectedRow("超级列表框1"), -1);
    QCOMPARE(clipboardText(), QString());
    QCOMPARE(linkBox(), QString());
  }

  void rightClickCopiesNothing() {
    QAbstractItemView* list = resultList();
    const QRect rect = list->visualRect(list->model()->index(0, 1));
    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, rect.center());
    QCOMPARE(clipboardText(), QString("before"));
  }
};

QTEST_MAIN(LinkCopyTest)
#include "link_copy_test.moc"
