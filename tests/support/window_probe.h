// The search window's controls as tests see them, found by their names.
#pragma once

#include <QAbstractItemView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "platform/window.h"

namespace probe {

template <typename T>
T* control(const char* name) {
  return luting::searchWindowWidget()->findChild<T*>(QString::fromUtf8(name));
}
inline QLineEdit* keywordBox() { return control<QLineEdit>("编辑框1"); }
inline QPushButton* startButton() { return control<QPushButton>("按钮1"); }
inline QPushButton* stopButton() { return control<QPushButton>("按钮2"); }
inline QString totalLabel() { return control<QLabel>("标签1")->text(); }
inline QString loadedLabel() { return control<QLabel>("标签2")->text(); }
inline QString linkBox() { return control<QLineEdit>("编辑框2")->text(); }
inline QAbstractItemView* resultList() { return control<QAbstractItemView>("超级列表框1"); }
inline int rowCount() { return resultList()->model()->rowCount(); }
// A cell's text as the list shows it.
inline QString shownCell(int row, int column) {
  auto* model = resultList()->model();
  return model->data(model->index(row, column)).toString();
}

}  // namespace probe
