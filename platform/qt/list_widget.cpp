#include "platform/qt/list_widget.h"

#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>

namespace velmaris {

ListWidget::ListWidget(QWidget* parent) : QListWidget(parent) {
  viewport()->setMouseTracking(true);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::DropOnly);
}

void ListWidget::Hover(int row) {
  if (row == m_hovered) return;
  m_hovered = row;
  if (on_hover) on_hover(row);
}

void ListWidget::mouseMoveEvent(QMouseEvent* event) {
  QListWidget::mouseMoveEvent(event);
  Hover(indexAt(event->position().toPoint()).row());
}

void ListWidget::leaveEvent(QEvent* event) {
  QListWidget::leaveEvent(event);
  Hover(-1);
}

std::vector<std::u16string> ListWidget::DroppedPaths(const QMimeData* mime) const {
  std::vector<std::u16string> paths;
  if (mime == nullptr || !takes_drops || !takes_drops()) return paths;
  for (const QUrl& url : mime->urls()) {
    if (url.isLocalFile()) {
      paths.push_back(QDir::toNativeSeparators(url.toLocalFile()).toStdU16String());
    }
  }
  return paths;
}

void ListWidget::dragEnterEvent(QDragEnterEvent* event) {
  if (DroppedPaths(event->mimeData()).empty()) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
}

void ListWidget::dragMoveEvent(QDragMoveEvent* event) {
  if (DroppedPaths(event->mimeData()).empty()) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
}

void ListWidget::dropEvent(QDropEvent* event) {
  auto paths = DroppedPaths(event->mimeData());
  if (paths.empty()) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  if (on_drop) on_drop(paths);
}

}  // namespace velmaris
