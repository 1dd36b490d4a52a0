#include "platform/clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QString>

#include "platform/codepage.h"

namespace luting {

bool putClipboardText(std::string_view gbkText) {
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr)
    return false;
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (clipboard == nullptr) return false;
  clipboard->setText(QString::fromUtf8(convertGbkToUtf8(gbkText)),
                     QClipboard::Clipboard);
  return true;
}

}  // namespace luting
