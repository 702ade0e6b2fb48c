// PowerPoint on Impress. Slides are written one by one through the office's graphic export, at
// 96 pixels per inch of the slide's size.
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/document/XExporter.hpp>
#include <com/sun/star/document/XFilter.hpp>
#include <com/sun/star/drawing/GraphicExportFilter.hpp>
#include <com/sun/star/drawing/XDrawPages.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/lang/Locale.hpp>

#include <cmath>
#include <system_error>

#include "base/codepage.h"
#include "platform/filesystem.h"
#include "platform/libreoffice/documents.h"
#include "platform/libreoffice/export_layout.h"
#include "platform/libreoffice/language_id.h"

namespace velmaris::libreoffice {

namespace {

constexpr std::u16string_view kSource = office::kPowerPointProgramId;
constexpr double kPixelsPerInch = 96.0;
constexpr double kHundredthsOfMmPerInch = 2540.0;
constexpr sal_Int32 kJpegQuality = 90;

std::u16string Number(int32_t value) {
  return codepage::FromUtf8(std::to_string(value));
}

sal_Int32 Pixels(sal_Int32 hundredths_of_mm) {
  return std::max<sal_Int32>(1, static_cast<sal_Int32>(std::lround(
                                    hundredths_of_mm * kPixelsPerInch / kHundredthsOfMmPerInch)));
}

class ImpressPresentation : public Presentation {
 public:
  ImpressPresentation(std::shared_ptr<OfficeSession> session,
                      Reference<css::frame::XModel> presentation)
      : m_session(std::move(session)), m_presentation(std::move(presentation)) {}

  int32_t DefaultLanguageID() override {
    return Guarded(*m_session, kSource, u"读取语言", [&] {
      css::lang::Locale locale;
      Reference<css::beans::XPropertySet>(m_presentation, css::uno::UNO_QUERY_THROW)
          ->getPropertyValue("CharLocale") >>= locale;
      return LanguageIdFromLocale(FromOUString(locale.Language), FromOUString(locale.Country));
    });
  }

  int32_t SlideCount() override {
    return Guarded(*m_session, kSource, u"读取幻灯片数", [&] { return Slides()->getCount(); });
  }

  void SaveAs(std::u16string_view file_name, int32_t file_format) override {
    if (file_format != office::kPpSaveAsJpg) {
      Raise(err::kInvalidCall, std::u16string(kSource),
            u"不支持的文件格式：" + Number(file_format));
    }
    std::filesystem::path folder = LocalPath(file_name);
    folder.replace_extension();
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) RaiseFileError(error, true);

    const std::u16string word =
        DefaultLanguageID() == office::kLanguageChinesePrc ? u"幻灯片" : u"Slide";
    Guarded(*m_session, kSource, u"另存为 " + std::u16string(file_name), [&] {
      const Reference<css::drawing::XDrawPages> slides = Slides();
      const Reference<css::drawing::XGraphicExportFilter> filter =
          css::drawing::GraphicExportFilter::create(m_session->Context());
      for (sal_Int32 i = 0; i < slides->getCount(); ++i) {
        Reference<css::lang::XComponent> slide(slides->getByIndex(i), css::uno::UNO_QUERY_THROW);
        Reference<css::beans::XPropertySet> size(slide, css::uno::UNO_QUERY_THROW);
        const sal_Int32 width = Pixels(size->getPropertyValue("Width").get<sal_Int32>());
        const sal_Int32 height = Pixels(size->getPropertyValue("Height").get<sal_Int32>());
        const std::filesystem::path picture =
            folder / codepage::ToUtf8(word + Number(i + 1) + u".jpg");
        filter->setSourceDocument(slide);
        filter->filter(Properties({
            Property("URL", css::uno::Any(UrlOf(picture))),
            Property("MediaType", css::uno::Any(OUString("image/jpeg"))),
            Property("FilterData", css::uno::Any(Properties({
                                       Property("PixelWidth", css::uno::Any(width)),
                                       Property("PixelHeight", css::uno::Any(height)),
                                       Property("Quality", css::uno::Any(kJpegQuality)),
                                   }))),
        }));
      }
    });
  }

  void Close() override { CloseDocument(*m_session, kSource, m_presentation); }

 private:
  Reference<css::drawing::XDrawPages> Slides() const {
    return Reference<css::drawing::XDrawPagesSupplier>(m_presentation, css::uno::UNO_QUERY_THROW)
        ->getDrawPages();
  }

  std::shared_ptr<OfficeSession> m_session;
  Reference<css::frame::XModel> m_presentation;
};

class ImpressApplication : public PowerPointApplication {
 public:
  explicit ImpressApplication(std::shared_ptr<OfficeSession> session)
      : m_session(std::move(session)) {}

  std::u16string ProgramId() const override { return office::kPowerPointProgramId; }
  void Quit() override { QuitOffice(*m_session, kSource); }

  void SetVisible(int32_t visible) override {
    if (visible != office::kMsoTrue && visible != office::kMsoFalse) {
      Raise(err::kInvalidCall, std::u16string(kSource), u"不支持的可见值：" + Number(visible));
    }
    Guarded(*m_session, kSource, u"设置可见",
            [&] { m_session->presentations_visible = visible == office::kMsoTrue; });
  }

  std::shared_ptr<Presentation> OpenPresentation(std::u16string_view file_name) override {
    return std::make_shared<ImpressPresentation>(
        m_session, OpenDocument(*m_session, kSource, file_name, DocumentKind::kPresentation,
                                !m_session->presentations_visible));
  }

 private:
  std::shared_ptr<OfficeSession> m_session;
};

}  // namespace

std::shared_ptr<OfficeApplication> MakeImpressApplication(std::shared_ptr<OfficeSession> session) {
  return std::make_shared<ImpressApplication>(std::move(session));
}

}  // namespace velmaris::libreoffice
