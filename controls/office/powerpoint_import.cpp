#include "controls/office/powerpoint_import.h"

#include "base/text.h"
#include "controls/common/article_post.h"
#include "controls/common/file_helpers.h"

namespace velmaris {

namespace {

constexpr char16_t kChineseSlideWord[] = u"幻灯片";
constexpr char16_t kSlideWord[] = u"Slide";

// Tells a program the import started to quit once the slides are out, or when the import fails
// before that; a program that was already running is left alone with the user's presentations.
class StartedProgram {
 public:
  explicit StartedProgram(std::shared_ptr<PowerPointApplication> program)
      : m_program(std::move(program)) {}
  ~StartedProgram() {
    if (!m_program) return;
    try {
      m_program->Quit();
    } catch (...) {
      // It has gone already.
    }
  }
  StartedProgram(const StartedProgram&) = delete;
  StartedProgram& operator=(const StartedProgram&) = delete;

  void Quit() {
    std::shared_ptr<PowerPointApplication> program = std::move(m_program);
    if (program) program->Quit();
  }

 private:
  std::shared_ptr<PowerPointApplication> m_program;
};

}  // namespace

std::u16string SlidePictureName(int32_t language, int32_t number) {
  return (language == office::kLanguageChinesePrc ? kChineseSlideWord : kSlideWord) +
         DecimalText(number) + u".jpg";
}

std::u16string SlideElement(const std::u16string& src, const std::u16string& width,
                            const std::u16string& height) {
  return u"<img src=\"" + src + u"\" width=\"" + width + u"\" height=\"" + height + u"\">";
}

int32_t ImportPresentation(const OfficeImportSite& site, const std::u16string& fileDoc,
                           const std::u16string& colID, const std::u16string& UserName) {
  ColumnIdNumber(colID);
  AttachedApplication attached = AttachOfficeApplication(site, office::kPowerPointProgramId);
  auto powerpoint =
      RequireApplication<PowerPointApplication>(attached, office::kPowerPointProgramId);
  StartedProgram started(attached.started ? powerpoint : nullptr);
  if (attached.started) powerpoint->SetVisible(office::kMsoTrue);

  ConversionFiles files(u"");
  site.cleaner_settings.work_dir = files.WorkDir();
  OpenedDocument<Presentation> presentation(powerpoint->OpenPresentation(fileDoc));
  const int32_t language = presentation->DefaultLanguageID();
  const int32_t count = presentation->SlideCount();
  presentation->SaveAs(files.TempFile(), office::kPpSaveAsJpg);
  site.cleaner_settings.work_dir = files.Folder();
  presentation.Close();
  started.Quit();
  powerpoint.reset();
  attached.application.reset();

  std::u16string content;
  for (int32_t n = 1; n <= count; ++n) {
    const std::u16string reply =
        site.cleaner.UploadPicture(u"\\" + SlidePictureName(language, n), site.cleaner_settings);
    content += SlideElement(reply, site.picture_width(), site.picture_height());
    content += kPageSeparator;
  }
  site.post(colID, GetFileName(fileDoc), content, UserName);
  files.Remove();
  return 1;
}

}  // namespace velmaris
