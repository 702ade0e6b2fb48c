// The list box on screen: a QListWidget that reports the item under the mouse (for the tooltip a
// control keeps per item) and takes files dragged from the desktop.
#pragma once

#include <QListWidget>
#include <functional>
#include <string>
#include <vector>

namespace velmaris {

class ListWidget : public QListWidget {
 public:
  explicit ListWidget(QWidget* parent);

  // The row under the mouse as it changes, -1 over no item.
  std::function<void(int row)> on_hover;
  // Whether drops are taken now; files dropped are handed over as local paths.
  std::function<bool()> takes_drops;
  std::function<void(const std::vector<std::u16string>& paths)> on_drop;

 protected:
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void Hover(int row);
  // The local files a drag carries, empty when it carries none or drops are not taken.
  std::vector<std::u16string> DroppedPaths(const QMimeData* mime) const;

  int m_hovered = -1;
};

}  // namespace velmaris
