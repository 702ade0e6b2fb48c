#include "platform/qt/application.h"

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QTranslator>
#include <cstdlib>

namespace velmaris {

namespace {

// QApplication keeps references to these for its whole life.
int g_argc = 1;
char g_program[] = "velmaris";
char* g_argv[] = {g_program, nullptr};

// Qt's own dialog texts (buttons, labels of the file dialog) in Simplified Chinese, like every
// other text the editor sees. Without the translation files Qt keeps its English texts.
void UseChineseDialogTexts(QApplication& application) {
  auto* translator = new QTranslator(&application);
  if (translator->load(QStringLiteral("qtbase_zh_CN"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(translator);
  } else {
    delete translator;
  }
}

bool Set(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

}  // namespace

bool DisplayAvailable() {
  return Set("QT_QPA_PLATFORM") || Set("DISPLAY") || Set("WAYLAND_DISPLAY");
}

std::unique_ptr<QApplication> MakeApplicationIfNone() {
  std::unique_ptr<QApplication> made;
  if (QCoreApplication::instance() == nullptr) {
    made = std::make_unique<QApplication>(g_argc, g_argv);
    // A page's windows close one by one; the host decides when the run is over.
    QApplication::setQuitOnLastWindowClosed(false);
    UseChineseDialogTexts(*made);
  }
  UseFormFont();
  return made;
}

void UseFormFont() {
  QFont font(QStringLiteral("WenQuanYi Micro Hei"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(12);
  QApplication::setFont(font);
}

}  // namespace velmaris
