// Every control's form drawn offscreen: saved as a PNG, each caption drawn inside the rectangle its
// twips give, and the font able to draw the Chinese captions at all.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <cmath>
#include <functional>

#include "platform/qt/form_renderer.h"
#include "tests/screen/screen_world.h"

namespace velmaris::testing {
namespace {

struct FormCase {
  const char* name;
  std::function<std::unique_ptr<AnyControl>(Platform&)> make;
};

const FormCase kForms[] = {
    {"FileUpload", [](Platform& p) { return std::make_unique<Held<FileUpload>>(p); }},
    {"MultiUpload", [](Platform& p) { return std::make_unique<Held<MultiUpload>>(p); }},
    {"OfficeImport", [](Platform& p) { return std::make_unique<Held<OfficeImport>>(p); }},
    {"ImageUpload", [](Platform& p) { return std::make_unique<Held<ImageUpload>>(p); }},
    {"ImageImport", [](Platform& p) { return std::make_unique<Held<ImageImport>>(p); }},
};

// A pixel is 15 twips.
int Px(int twips) {
  return static_cast<int>(std::lround(twips / 15.0));
}

// Where a child lies in its window, worked out from the twips alone: its own rectangle moved by
// the frames it sits in.
QRect ExpectedRect(Form& form, const FormControl& child) {
  const Rect& own = child.Geometry();
  QRect rect(Px(own.left), Px(own.top), Px(own.width), Px(own.height));
  for (const FormControl* at = &child; !at->Container().empty();) {
    at = form.Find(at->Container());
    if (at == nullptr) break;
    rect.translate(Px(at->Geometry().left), Px(at->Geometry().top));
  }
  return rect;
}

bool Shown(Form& form, const FormControl& child) {
  for (const FormControl* at = &child; at != nullptr;
       at = at->Container().empty() ? nullptr : form.Find(at->Container())) {
    if (!at->Visible()) return false;
  }
  return true;
}

bool HasCaption(const FormControl& child) {
  switch (child.Kind()) {
    case ControlKind::kButton:
    case ControlKind::kLabel:
    case ControlKind::kCheckBox:
    case ControlKind::kOptionButton:
    case ControlKind::kFrame:
    case ControlKind::kTextBox:
      return !child.Text().empty();
    default:
      return false;
  }
}

// The pixels two drawings of a window differ in, split by whether they lie inside `inside`.
std::pair<int, int> Changes(const QImage& before, const QImage& after, const QRect& inside) {
  int in = 0;
  int out = 0;
  for (int y = 0; y < before.height(); ++y) {
    for (int x = 0; x < before.width(); ++x) {
      if (before.pixel(x, y) == after.pixel(x, y)) continue;
      (inside.contains(x, y) ? in : out) += 1;
    }
  }
  return {in, out};
}

TEST(FormsOnScreen, TheFontDrawsChineseCaptions) {
  const QFont font = QApplication::font();
  EXPECT_TRUE(QFontInfo(font).family().contains(QStringLiteral("WenQuanYi")))
      << QFontInfo(font).family().toStdString();
  const QFontMetrics metrics(font);
  for (char32_t c : {U'增', U'删', U'导', U'入', U'（', U'：'}) {
    EXPECT_TRUE(metrics.inFontUcs4(c)) << static_cast<uint32_t>(c);
  }
}

// Each caption is taken away in turn: the drawing must change, and only inside the rectangle the
// child's twips give, so the caption is drawn, and drawn where the form puts it.
TEST(FormsOnScreen, EveryFormShowsEachCaptionWhereItsGeometrySays) {
  QDir().mkpath(QString::fromStdString(ScreensDir()));
  int checked = 0;
  for (const auto& form_case : kForms) {
    SCOPED_TRACE(form_case.name);
    ScreenWorld world;
    auto control = form_case.make(world.platform);
    Form& form = control->GetForm();
    FormRenderer window(form);
    EXPECT_EQ(window.windowTitle(), Q(form.Caption()));
    EXPECT_EQ(window.size(), QSize(Px(form.Width()), Px(form.Height())));
    const QString png =
        QString::fromStdString(ScreensDir()) + u'/' + QString::fromLatin1(form_case.name) + ".png";
    ASSERT_TRUE(window.grab().save(png)) << png.toStdString();

    for (const auto& child : form.Children()) {
      SCOPED_TRACE(Q(child->Name()).toStdString());
      QWidget* widget = window.Widget(child->Name());
      ASSERT_NE(widget, nullptr);
      EXPECT_EQ(QRect(widget->mapTo(&window, QPoint(0, 0)), widget->size()),
                ExpectedRect(form, *child));
      if (!HasCaption(*child) || !Shown(form, *child)) continue;
      const QImage with = window.grab().toImage();
      const std::u16string caption = child->Text();
      child->SetText(u"");
      const QImage without = window.grab().toImage();
      child->SetText(caption);
      auto [in, out] = Changes(with, without, ExpectedRect(form, *child));
      EXPECT_GT(in, 10) << "caption not drawn";
      EXPECT_EQ(out, 0) << "caption drawn outside its rectangle";
      ++checked;
    }
  }
  EXPECT_GT(checked, 60);
}

// A form with entries, progress and a preview, for a person to look at.
TEST(FormsOnScreen, BusyFormsLookRight) {
  ScreenWorld world;
  OfficeImport office(world.platform);
  Form& form = office.GetForm();
  FormRenderer office_window(form);
  form[u"List1"].AddItem(u"/home/编辑/文档/年度报告.doc......完成");
  form[u"List1"].AddItem(u"/home/编辑/文档/会议纪要.txt...");
  form[u"List1"].SetListIndex(1);
  form[u"pbFile"].SetVisible(true);
  form[u"pbFile"].SetValue(60);
  form[u"Command3"].SetEnabled(false);
  form[u"Command4"].SetEnabled(true);
  const QString dir = QString::fromStdString(ScreensDir());
  EXPECT_TRUE(office_window.grab().save(dir + "/OfficeImport-busy.png"));

  ImageUpload pictures(world.platform);
  Form& picture_form = pictures.GetForm();
  FormRenderer picture_window(picture_form);
  picture_form[u"lstFileList"].AddItem(
      QDir(VELMARIS_SOURCE_DIR).filePath("tests/data/image/a.jpg").toStdU16String());
  picture_form[u"imgPreview"].SetPicture(
      QDir(VELMARIS_SOURCE_DIR).filePath("tests/data/image/a.jpg").toStdU16String());
  picture_form[u"txtLog"].SetText(u"开始处理图片上传：\r\n上传 a.jpg\r\n完成！\r\n");
  EXPECT_TRUE(picture_window.grab().save(dir + "/ImageUpload-busy.png"));
}

}  // namespace
}  // namespace velmaris::testing
