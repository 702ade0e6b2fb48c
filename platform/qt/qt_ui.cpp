#include "platform/qt/qt_ui.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPushButton>

namespace velmaris {

namespace {

// A message box without a caption of its own shows the library's name, as the classic runtime
// shows the project's title; dialogs without a title take the system's usual ones.
constexpr char16_t kDefaultCaption[] = u"VelmarisClient";
constexpr char16_t kOpenTitle[] = u"打开";
constexpr char16_t kFolderTitle[] = u"浏览文件夹";

QString Q(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

QWidget* DialogParent() {
  return QApplication::activeWindow();
}

}  // namespace

namespace qtui {

QStringList NameFilters(std::u16string_view classic) {
  QStringList filters;
  const QStringList parts = Q(classic).split(u'|');
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns = parts[i + 1].split(u';', Qt::SkipEmptyParts);
    for (auto& pattern : patterns) pattern = pattern.trimmed();
    if (patterns.isEmpty()) continue;
    filters << parts[i] + QStringLiteral(" (") + patterns.join(u' ') + u')';
  }
  return filters;
}

std::vector<QMessageBox::StandardButton> Buttons(int style) {
  using B = QMessageBox;
  switch (style & 0x0F) {
    case msgbox::kOkCancel:
      return {B::Ok, B::Cancel};
    case msgbox::kAbortRetryIgnore:
      return {B::Abort, B::Retry, B::Ignore};
    case msgbox::kYesNoCancel:
      return {B::Yes, B::No, B::Cancel};
    case msgbox::kYesNo:
      return {B::Yes, B::No};
    case msgbox::kRetryCancel:
      return {B::Retry, B::Cancel};
    default:
      return {B::Ok};
  }
}

QMessageBox::StandardButton DefaultButton(int style) {
  const auto buttons = Buttons(style);
  const size_t index = static_cast<size_t>((style >> 8) & 3);
  return index < buttons.size() ? buttons[index] : buttons.front();
}

QMessageBox::StandardButton EscapeButton(int style) {
  const auto buttons = Buttons(style);
  if (buttons.size() == 1) return buttons.front();
  for (auto button : buttons) {
    if (button == QMessageBox::Cancel) return button;
  }
  return QMessageBox::NoButton;
}

QMessageBox::Icon Icon(int style) {
  switch (style & 0x70) {
    case msgbox::kCritical:
      return QMessageBox::Critical;
    case msgbox::kQuestion:
      return QMessageBox::Question;
    case msgbox::kExclamation:
      return QMessageBox::Warning;
    case msgbox::kInformation:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

int Answer(QMessageBox::StandardButton button) {
  switch (button) {
    case QMessageBox::Cancel:
      return msgbox::kCancel;
    case QMessageBox::Abort:
      return msgbox::kAbort;
    case QMessageBox::Retry:
      return msgbox::kRetry;
    case QMessageBox::Ignore:
      return msgbox::kIgnore;
    case QMessageBox::Yes:
      return msgbox::kYes;
    case QMessageBox::No:
      return msgbox::kNo;
    default:
      return msgbox::kOk;
  }
}

std::u16string Selection(const QStringList& files) {
  if (files.size() == 1) return QDir::toNativeSeparators(files.front()).toStdU16String();
  std::u16string joined =
      QDir::toNativeSeparators(QFileInfo(files.front()).absolutePath()).toStdU16String();
  for (const auto& file : files) {
    joined += u'\0';
    joined += QFileInfo(file).fileName().toStdU16String();
  }
  return joined;
}

}  // namespace qtui

int QtUi::MessageBox(const std::u16string& text, int style, const std::u16string& caption) {
  QMessageBox box(qtui::Icon(style), Q(caption.empty() ? kDefaultCaption : caption), Q(text),
                  QMessageBox::NoButton, DialogParent());
  box.setTextFormat(Qt::PlainText);
  for (auto button : qtui::Buttons(style)) box.addButton(button);
  box.setDefaultButton(qtui::DefaultButton(style));
  const auto escape = qtui::EscapeButton(style);
  if (escape != QMessageBox::NoButton) box.setEscapeButton(escape);
  box.exec();
  QAbstractButton* clicked = box.clickedButton();
  // Without a button pressed (the box closed some other way) the box answers as Escape would.
  auto button = clicked != nullptr ? box.standardButton(clicked) : escape;
  if (button == QMessageBox::NoButton) button = qtui::DefaultButton(style);
  return qtui::Answer(button);
}

std::optional<std::u16string> QtUi::OpenFileDialog(const FileDialogRequest& request) {
  QFileDialog dialog(DialogParent(), Q(request.title.empty() ? kOpenTitle : request.title));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(request.multi_select ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
  const QStringList filters = qtui::NameFilters(request.filter);
  if (!filters.isEmpty()) dialog.setNameFilters(filters);
  // The classic dialog shows the descriptions only.
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  return qtui::Selection(files);
}

std::optional<std::u16string> QtUi::BrowseForFolder(const std::u16string& title) {
  QFileDialog dialog(DialogParent(), Q(title.empty() ? kFolderTitle : title));
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList folders = dialog.selectedFiles();
  if (folders.isEmpty()) return std::nullopt;
  return QDir::toNativeSeparators(folders.front()).toStdU16String();
}

}  // namespace velmaris
