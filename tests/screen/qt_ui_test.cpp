// The dialogs behind the Ui services: the classic styles become Qt's buttons and icons, the classic
// filter string Qt's name filters, a multiple choice the folder and its names; and the real modal
// dialogs answer as the user pressed.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>
#include <functional>
#include <memory>

#include "platform/qt/qt_ui.h"
#include "tests/screen/screen_world.h"
#include "tests/support/temp_dir.h"

namespace velmaris {
namespace {

using testing::Q;
using B = QMessageBox;
using namespace std::string_literals;

TEST(QtUiTest, ClassicFiltersBecomeNameFilters) {
  struct Case {
    std::u16string classic;
    QStringList filters;
  };
  const Case cases[] = {
      {u"Word文档(*.doc;*.docx)|*.doc;*.docx|纯文本文件(*.txt)|*.txt",
       {QStringLiteral("Word文档(*.doc;*.docx) (*.doc *.docx)"),
        QStringLiteral("纯文本文件(*.txt) (*.txt)")}},
      {u"All Image File|*.jpg;*.bmp;*.gif|BMP File(*.bmp)|*.bmp",
       {QStringLiteral("All Image File (*.jpg *.bmp *.gif)"),
        QStringLiteral("BMP File(*.bmp) (*.bmp)")}},
      {u"所有文件|*.*|", {QStringLiteral("所有文件 (*.*)")}},
      {u"没有模式|", {}},
      {u"", {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(qtui::NameFilters(c.classic), c.filters) << Q(c.classic).toStdString();
  }
}

TEST(QtUiTest, ClassicStylesBecomeButtonsIconsAndAnswers) {
  struct Case {
    int style;
    std::vector<B::StandardButton> buttons;
    B::StandardButton default_button;
    B::StandardButton escape;
    B::Icon icon;
  };
  const Case cases[] = {
      {msgbox::kOkOnly, {B::Ok}, B::Ok, B::Ok, B::NoIcon},
      {msgbox::kOkCancel | msgbox::kQuestion, {B::Ok, B::Cancel}, B::Ok, B::Cancel, B::Question},
      {msgbox::kAbortRetryIgnore | msgbox::kCritical | 256,
       {B::Abort, B::Retry, B::Ignore},
       B::Retry,
       B::NoButton,
       B::Critical},
      {msgbox::kYesNoCancel | msgbox::kExclamation | 512,
       {B::Yes, B::No, B::Cancel},
       B::Cancel,
       B::Cancel,
       B::Warning},
      {msgbox::kYesNo | msgbox::kInformation, {B::Yes, B::No}, B::Yes, B::NoButton, B::Information},
      {msgbox::kRetryCancel | 768, {B::Retry, B::Cancel}, B::Retry, B::Cancel, B::NoIcon},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.style);
    EXPECT_EQ(qtui::Buttons(c.style), c.buttons);
    EXPECT_EQ(qtui::DefaultButton(c.style), c.default_button);
    EXPECT_EQ(qtui::EscapeButton(c.style), c.escape);
    EXPECT_EQ(qtui::Icon(c.style), c.icon);
  }
  const std::pair<B::StandardButton, int> answers[] = {
      {B::Ok, msgbox::kOk},       {B::Cancel, msgbox::kCancel}, {B::Abort, msgbox::kAbort},
      {B::Retry, msgbox::kRetry}, {B::Ignore, msgbox::kIgnore}, {B::Yes, msgbox::kYes},
      {B::No, msgbox::kNo}};
  for (auto [button, answer] : answers) EXPECT_EQ(qtui::Answer(button), answer);
}

// Acts on the modal dialog of type D whenever the loop looks and finds it up, until the returned
// timer goes: a file dialog may refuse an answer until it has read its folder.
template <class D>
std::unique_ptr<QTimer> WhileUp(std::function<void(D&)> act) {
  auto poll = std::make_unique<QTimer>();
  QObject::connect(poll.get(), &QTimer::timeout, [act] {
    if (auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget())) act(*dialog);
  });
  poll->start(10);
  return poll;
}

TEST(QtUiTest, AMessageBoxShowsTheTextAndAnswersTheButtonPressed) {
  QtUi ui;
  QString text, title;
  B::Icon icon = B::NoIcon;
  auto acting = WhileUp<QMessageBox>([&](QMessageBox& box) {
    text = box.text();
    title = box.windowTitle();
    icon = box.icon();
    box.button(B::No)->click();
  });
  EXPECT_EQ(
      ui.MessageBox(u"是否确认要进行上传操作？", msgbox::kYesNo | msgbox::kQuestion, u"图片导入"),
      msgbox::kNo);
  EXPECT_EQ(text, QStringLiteral("是否确认要进行上传操作？"));
  EXPECT_EQ(title, QStringLiteral("图片导入"));
  EXPECT_EQ(icon, B::Question);

  // No caption of its own: the library's name; Escape answers Cancel.
  acting = WhileUp<QMessageBox>([&](QMessageBox& box) {
    title = box.windowTitle();
    box.reject();
  });
  EXPECT_EQ(ui.MessageBox(u"取消？", msgbox::kOkCancel, u""), msgbox::kCancel);
  EXPECT_EQ(title, QStringLiteral("VelmarisClient"));
}

TEST(QtUiTest, TheFileDialogsAnswerWhatWasChosenAndNothingWhenCancelled) {
  testing::TempDir dir;
  dir.Write("甲.doc", "1");
  dir.Write("乙.txt", "2");
  const QString folder = QString::fromStdString(dir.Path().string());
  QtUi ui;

  // What a user types into the dialog's name box (not through selectFile, which leaves a box
  // with focus alone).
  const auto type = [&folder](QFileDialog& dialog, const QString& text) {
    dialog.setDirectory(folder);
    if (auto* box = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
      box->setText(text);
    }
    static_cast<QDialog&>(dialog).accept();
  };

  QStringList filters;
  QFileDialog::FileMode mode = QFileDialog::AnyFile;
  auto acting = WhileUp<QFileDialog>([&](QFileDialog& dialog) {
    filters = dialog.nameFilters();
    mode = dialog.fileMode();
    type(dialog, QStringLiteral("\"甲.doc\" \"乙.txt\""));
  });
  auto answer = ui.OpenFileDialog({u"打开", u"Word文档|*.doc|纯文本文件|*.txt", true});
  EXPECT_EQ(filters, QStringList({QStringLiteral("Word文档 (*.doc)"),
                                  QStringLiteral("纯文本文件 (*.txt)")}));
  EXPECT_EQ(mode, QFileDialog::ExistingFiles);
  ASSERT_TRUE(answer);
  EXPECT_EQ(*answer, dir.U16() + u"\0甲.doc\0乙.txt"s);

  QString title;
  acting = WhileUp<QFileDialog>([&](QFileDialog& dialog) {
    mode = dialog.fileMode();
    title = dialog.windowTitle();
    type(dialog, folder + QStringLiteral("/乙.txt"));
  });
  answer = ui.OpenFileDialog({u"", u"", false});
  EXPECT_EQ(mode, QFileDialog::ExistingFile);
  EXPECT_EQ(title, QStringLiteral("打开"));
  EXPECT_EQ(answer, dir.U16("乙.txt"));

  acting = WhileUp<QFileDialog>([](QFileDialog& dialog) { dialog.reject(); });
  EXPECT_FALSE(ui.OpenFileDialog({u"", u"", false}));

  acting = WhileUp<QFileDialog>([&](QFileDialog& dialog) {
    mode = dialog.fileMode();
    type(dialog, folder);
  });
  auto chosen = ui.BrowseForFolder(u"选择目录");
  EXPECT_EQ(mode, QFileDialog::Directory);
  ASSERT_TRUE(chosen);
  EXPECT_EQ(*chosen, Q(dir.U16()).toStdU16String());
}

}  // namespace
}  // namespace velmaris
