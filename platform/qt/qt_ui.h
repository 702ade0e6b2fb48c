// The Ui services as real dialogs: QMessageBox with the classic buttons and icons, QFileDialog with
// the classic filter string, the folder picker. Each is modal and runs Qt's loop while it is up,
// so sockets and timers go on meanwhile.
#pragma once

#include <QMessageBox>
#include <QStringList>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui.h"

namespace velmaris {

class QtUi : public Ui {
 public:
  int MessageBox(const std::u16string& text, int style, const std::u16string& caption) override;
  std::optional<std::u16string> OpenFileDialog(const FileDialogRequest& request) override;
  std::optional<std::u16string> BrowseForFolder(const std::u16string& title) override;
};

namespace qtui {

// "描述|*.a;*.b|…" pairs as Qt's name filters, "描述 (*.a *.b)" each; Qt reads the patterns from
// the last parentheses, so a description with its own "(*.a;*.b)" keeps it as text.
QStringList NameFilters(std::u16string_view classic);

// The buttons of a classic style (style & 0x0F), in their classic order.
std::vector<QMessageBox::StandardButton> Buttons(int style);
// The button Enter presses: the first, or the second to fourth with style & 0x300.
QMessageBox::StandardButton DefaultButton(int style);
// The button Escape and the close box press; NoButton when the style offers no way out.
QMessageBox::StandardButton EscapeButton(int style);
QMessageBox::Icon Icon(int style);
// The classic answer (msgbox::kOk, ...) for a button.
int Answer(QMessageBox::StandardButton button);

// The open-file dialog's answer: one file as its path; several as their folder and their names,
// separated by "\0".
std::u16string Selection(const QStringList& files);

}  // namespace qtui

}  // namespace velmaris
