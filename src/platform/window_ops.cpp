// The control operations. On the window's thread they act at once; from a
// worker they are queued to the window's thread and the worker waits until
// they have been applied, or until it is asked to stop.
#include <QCoreApplication>
#include <QEvent>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/codepage.h"
#include "platform/result_list.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "platform/window_controls.h"

namespace luting {

std::array<QWidget*, controlInfo.size()> controlWidgets{};
ResultListModel* resultModel = nullptr;

int controlIndex(std::string_view name) {
  for (std::size_t i = 0; i < controlInfo.size(); ++i)
    if (controlInfo[i].name == name) return static_cast<int>(i);
  return -1;
}

namespace {

std::atomic<std::thread::id> windowThread{};

// ---- acting on the window's thread ----

template <typename Widget>
Widget* control(int index, ControlKind kind) {
  if (controlInfo[index].kind != kind) return nullptr;
  return static_cast<Widget*>(controlWidgets[index]);
}

QString toQString(std::string_view gbk) {
  return QString::fromUtf8(convertGbkToUtf8(gbk));
}

std::string toGbk(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  return convertUtf8ToGbk(std::string_view(utf8.constData(), utf8.size()));
}

// Labels and edit boxes lay out the whole of their text at every paint; they
// get what they can usefully show (a caption, a link to read) and no more.
constexpr std::size_t shownCaptionBytes = 256;
constexpr std::size_t shownEditBytes = 64 * 1024;

std::string editTextNow(int index) {
  auto* edit = control<QLineEdit>(index, ControlKind::edit);
  return edit != nullptr ? toGbk(edit->text()) : std::string();
}

void setEditTextNow(int index, std::string_view text) {
  if (auto* edit = control<QLineEdit>(index, ControlKind::edit)) {
    edit->setText(toQString(leadingCharacters(text, shownEditBytes)));
    edit->setCursorPosition(0);  // show the start of a long link, not its end
  }
}

void setLabelCaptionNow(int index, std::string_view text) {
  if (auto* label = control<QLabel>(index, ControlKind::label))
    label->setText(toQString(leadingCharacters(text, shownCaptionBytes)));
}

void setButtonEnabledNow(int index, bool enabled) {
  if (auto* button = control<QPushButton>(index, ControlKind::button))
    button->setEnabled(enabled);
}

// The one list's model, when index names it.
ResultListModel* listModel(int index) {
  if (controlInfo[index].kind != ControlKind::list) return nullptr;
  return resultModel;
}

void deleteAllRowsNow(int index) {
  if (ResultListModel* model = listModel(index)) model->deleteAllRows();
}

int appendRowNow(int index) {
  ResultListModel* model = listModel(index);
  return model != nullptr ? model->appendRow() : -1;
}

void setCellTextNow(int index, int row, int cell, std::string_view text) {
  if (ResultListModel* model = listModel(index)) model->setCell(row, cell, text);
}

int appendFilledRowNow(int index, ResultListModel::Row cells) {
  ResultListModel* model = listModel(index);
  return model != nullptr ? model->appendRow(std::move(cells)) : -1;
}

std::string cellTextNow(int index, int row, int cell) {
  ResultListModel* model = listModel(index);
  return model != nullptr ? std::string(model->cell(row, cell)) : std::string();
}

int firstSelectedRowNow(int index) {
  auto* view = control<QTableView>(index, ControlKind::list);
  if (view == nullptr || view->selectionModel() == nullptr) return -1;
  int first = -1;
  for (const QItemSelectionRange& range : view->selectionModel()->selection())
    if (first < 0 || range.top() < first) first = range.top();
  return first;
}

// ---- carrying a worker's operation over ----

enum class OpKind : unsigned char {
  editText,
  setEditText,
  setLabelCaption,
  setButtonEnabled,
  deleteAllRows,
  appendRow,
  appendFilledRow,
  setCellText,
  cellText,
  firstSelectedRow,
};

// One worker's operation in flight. Each worker reuses its own, since it
// waits for one operation before issuing the next.
struct PendingOp {
  std::mutex mutex;
  std::condition_variable_any applied;
  std::atomic<bool> done{true};
  std::stop_token stop;
  OpKind kind = OpKind::editText;
  int control = -1;
  int row = 0;
  int cell = 0;
  bool enabled = false;
  std::string text;    // text in
  ResultListModel::Row cells;  // a filled row's texts in
  std::string result;  // text out
  int number = -1;     // number out
};

struct OpQueue {
  std::mutex mutex;
  std::condition_variable arrived;  // for the window's thread while it lingers
  std::vector<std::shared_ptr<PendingOp>> pending;
  std::vector<std::shared_ptr<PendingOp>> draining;  // the window's thread's
  bool wakePosted = false;  // a wake-up is queued, or the draining goes on
  bool lingering = false;
};

// A worker filling the list issues its next operation within microseconds;
// serving it without a round of the event loop (and a repaint) in between
// makes long lists fill many times faster. The loop still gets its turn
// every slice, so the window stays responsive. Between operations the
// window's thread first yields a little (the worker often waits for this
// very core), then sleeps until the next one or until lingerFor: long enough
// to catch the next page of a fast site without a repaint of the whole list
// in between, short enough to keep input waiting no longer than a slice.
constexpr auto yieldFor = std::chrono::microseconds(100);
constexpr auto lingerFor = std::chrono::milliseconds(5);
constexpr int spinTurns = 100;  // yields before either side sleeps
constexpr auto sliceFor = std::chrono::milliseconds(16);

// Never destroyed, like the worker registry: a worker may still be posting
// while the process exits.
OpQueue& opQueue() {
  static OpQueue* const instance = new OpQueue;
  return *instance;
}

void applyNow(PendingOp& op) {
  switch (op.kind) {
    case OpKind::editText: op.result = editTextNow(op.control); break;
    case OpKind::setEditText: setEditTextNow(op.control, op.text); break;
    case OpKind::setLabelCaption: setLabelCaptionNow(op.control, op.text); break;
    case OpKind::setButtonEnabled: setButtonEnabledNow(op.control, op.enabled); break;
    case OpKind::deleteAllRows: deleteAllRowsNow(op.control); break;
    case OpKind::appendRow: op.number = appendRowNow(op.control); break;
    case OpKind::appendFilledRow: op.number = appendFilledRowNow(op.control, std::move(op.cells)); break;
    case OpKind::setCellText: setCellTextNow(op.control, op.row, op.cell, op.text); break;
    case OpKind::cellText: op.result = cellTextNow(op.control, op.row, op.cell); break;
    case OpKind::firstSelectedRow: op.number = firstSelectedRowNow(op.control); break;
  }
}

void postWake();

// Runs on the window's thread for each wake-up event.
void drainOps() {
  static bool running = false;
  if (running) return;  // the outer call picks up what arrives meanwhile
  running = true;
  OpQueue& queue = opQueue();
  const auto sliceEnd = std::chrono::steady_clock::now() + sliceFor;
  for (;;) {
    {
      std::unique_lock lock(queue.mutex);
      // The yields are bounded in time, and everything by the slice: each
      // yield may hand the core to another program for a whole time slice.
      const auto now = std::chrono::steady_clock::now();
      const auto yieldEnd = std::min(now + yieldFor, sliceEnd);
      const auto watchEnd = std::min(now + lingerFor, sliceEnd);
      for (int turn = 0; turn < spinTurns && queue.pending.empty() &&
                         std::chrono::steady_clock::now() < yieldEnd;
           ++turn) {
        lock.unlock();
        std::this_thread::yield();
        lock.lock();
      }
      if (queue.pending.empty()) {
        queue.lingering = true;
        queue.arrived.wait_until(lock, watchEnd,
                                 [&queue] { return !queue.pending.empty(); });
        queue.lingering = false;
        if (queue.pending.empty()) {
          queue.wakePosted = false;
          break;
        }
      }
      queue.pending.swap(queue.draining);
    }
    for (const std::shared_ptr<PendingOp>& op : queue.draining) {
      std::lock_guard lock(op->mutex);
      // A worker asked to stop has its operations dropped, even ones it
      // posted before the request.
      if (!op->stop.stop_requested()) applyNow(*op);
      op->done.store(true, std::memory_order_release);
      op->applied.notify_all();
    }
    queue.draining.clear();
    if (std::chrono::steady_clock::now() >= sliceEnd) {
      postWake();  // wakePosted stays set: carry on after the loop's turn
      break;
    }
  }
  running = false;
}

class OpReceiver final : public QObject {
 public:
  using QObject::QObject;

 protected:
  void customEvent(QEvent*) override { drainOps(); }
};

std::atomic<QObject*> opReceiver{nullptr};
std::atomic<int> wakeEventType{0};

void postWake() {
  QCoreApplication::postEvent(
      opReceiver.load(std::memory_order_acquire),
      new QEvent(static_cast<QEvent::Type>(wakeEventType.load())));
}

thread_local std::shared_ptr<PendingOp> workerOp;

// The calling worker's operation record, ready to be filled; null when the
// operation is to be dropped at once.
PendingOp* beginOp(OpKind kind, int control) {
  std::stop_token stop = currentStopToken();
  if (stop.stop_requested() || opReceiver.load(std::memory_order_acquire) == nullptr)
    return nullptr;
  if (!workerOp) workerOp = std::make_shared<PendingOp>();
  PendingOp& op = *workerOp;
  op.stop = std::move(stop);
  op.done.store(false, std::memory_order_relaxed);
  op.kind = kind;
  op.control = control;
  op.result.clear();
  op.number = -1;
  return &op;
}

// Queues the calling worker's operation and waits for it. On true the
// results are read under the returned lock; on false the worker was released
// by a stop request and the results are not to be read.
bool finishOp(std::unique_lock<std::mutex>& lock) {
  const std::shared_ptr<PendingOp>& op = workerOp;
  OpQueue& queue = opQueue();
  bool post;
  bool lingering;
  {
    std::lock_guard queueLock(queue.mutex);
    queue.pending.push_back(op);
    post = !queue.wakePosted;
    queue.wakePosted = true;
    lingering = queue.lingering;
  }
  if (post)
    postWake();
  else if (lingering)
    queue.arrived.notify_one();
  // The window's thread usually answers within a few turns; sleeping on the
  // condition variable right away would cost two more wake-ups per operation.
  for (int turn = 0; turn < spinTurns; ++turn) {
    if (op->done.load(std::memory_order_acquire) || op->stop.stop_requested()) break;
    std::this_thread::yield();
  }
  lock = std::unique_lock(op->mutex);
  return op->applied.wait(lock, op->stop, [&op] { return op->done.load(); });
}

}  // namespace

void recordWindowThread() {
  windowThread.store(std::this_thread::get_id());
  if (opReceiver.load() == nullptr && QCoreApplication::instance() != nullptr) {
    wakeEventType.store(QEvent::registerEventType());
    // Never deleted: workers may post to it at any time.
    opReceiver.store(new OpReceiver, std::memory_order_release);
  }
}

bool onWindowThread() {
  return windowThread.load(std::memory_order_relaxed) == std::this_thread::get_id();
}

std::string editText(std::string_view name) {
  const int index = controlIndex(name);
  if (index < 0) return {};
  if (onWindowThread()) return editTextNow(index);
  PendingOp* op = beginOp(OpKind::editText, index);
  std::unique_lock<std::mutex> lock;
  if (op == nullptr || !finishOp(lock)) return {};
  return std::move(op->result);
}

void setEditText(std::string_view name, std::string_view text) {
  const int index = controlIndex(name);
  if (index < 0) return;
  if (onWindowThread()) return setEditTextNow(index, text);
  PendingOp* op = beginOp(OpKind::setEditText, index);
  if (op == nullptr) return;
  op->text.assign(text);
  std::unique_lock<std::mutex> lock;
  finishOp(lock);
}

void setLabelCaption(std::string_view name, std::string_view text) {
  const int index = controlIndex(name);
  if (index < 0) return;
  if (onWindowThread()) return setLabelCaptionNow(index, text);
  PendingOp* op = beginOp(OpKind::setLabelCaption, index);
  if (op == nullptr) return;
  op->text.assign(text);
  std::unique_lock<std::mutex> lock;
  finishOp(lock);
}

void setButtonEnabled(std::string_view name, bool enabled) {
  const int index = controlIndex(name);
  if (index < 0) return;
  if (onWindowThread()) return setButtonEnabledNow(index, enabled);
  PendingOp* op = beginOp(OpKind::setButtonEnabled, index);
  if (op == nullptr) return;
  op->enabled = enabled;
  std::unique_lock<std::mutex> lock;
  finishOp(lock);
}

void deleteAllRows(std::string_view name) {
  const int index = controlIndex(name);
  if (index < 0) return;
  if (onWindowThread()) return deleteAllRowsNow(index);
  if (beginOp(OpKind::deleteAllRows, index) == nullptr) return;
  std::unique_lock<std::mutex> lock;
  finishOp(lock);
}

int appendRow(std::string_view name) {
  const int index = controlIndex(name);
  if (index < 0) return -1;
  if (onWindowThread()) return appendRowNow(index);
  PendingOp* op = beginOp(OpKind::appendRow, index);
  std::unique_lock<std::mutex> lock;
  if (op == nullptr || !finishOp(lock)) return -1;
  return op->number;
}

int appendFilledRow(std::string_view name, std::string_view number, std::string_view title,
                    std::string_view link) {
  const int index = controlIndex(name);
  if (index < 0) return -1;
  // The texts are copied here, so a worker's copying keeps off the window's thread.
  ResultListModel::Row cells{std::string(number), std::string(title), std::string(link)};
  if (onWindowThread()) return appendFilledRowNow(index, std::move(cells));
  PendingOp* op = beginOp(OpKind::appendFilledRow, index);
  if (op == nullptr) return -1;
  op->cells = std::move(cells);
  std::unique_lock<std::mutex> lock;
  if (!finishOp(lock)) return -1;
  return op->number;
}

void setCellText(std::string_view name, int row, int cell, std::string_view text) {
  const int index = controlIndex(name);
  if (index < 0) return;
  if (onWindowThread()) return setCellTextNow(index, row, cell, text);
  PendingOp* op = beginOp(OpKind::setCellText, index);
  if (op == nullptr) return;
  op->row = row;
  op->cell = cell;
  op->text.assign(text);
  std::unique_lock<std::mutex> lock;
  finishOp(lock);
}

std::string cellText(std::string_view name, int row, int cell) {
  const int index = controlIndex(name);
  if (index < 0) return {};
  if (onWindowThread()) return cellTextNow(index, row, cell);
  PendingOp* op = beginOp(OpKind::cellText, index);
  if (op == nullptr) return {};
  op->row = row;
  op->cell = cell;
  std::unique_lock<std::mutex> lock;
  if (!finishOp(lock)) return {};
  return std::move(op->result);
}

int firstSelectedRow(std::string_view name) {
  const int index = controlIndex(name);
  if (index < 0) return -1;
  if (onWindowThread()) return firstSelectedRowNow(index);
  PendingOp* op = beginOp(OpKind::firstSelectedRow, index);
  std::unique_lock<std::mutex> lock;
  if (op == nullptr || !finishOp(lock)) return -1;
  return op->number;
}

}  // namespace luting
