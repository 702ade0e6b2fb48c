// Word on Writer. Pages come from the document's view: its cursor jumps to pages, and the view's
// page count lays the whole document out first. Selection commands go through the document's
// frame as the keyboard and menu would send them, so copy and paste use the office's clipboard.
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/text/XPageCursor.hpp>
#include <com/sun/star/text/XTextViewCursor.hpp>
#include <com/sun/star/text/XTextViewCursorSupplier.hpp>
#include <com/sun/star/view/XViewSettingsSupplier.hpp>

#include <algorithm>
#include <string>

#include "base/codepage.h"
#include "platform/libreoffice/documents.h"
#include "platform/libreoffice/export_layout.h"

namespace velmaris::libreoffice {

namespace {

constexpr std::u16string_view kSource = office::kWordProgramId;

std::u16string Number(int32_t value) {
  return codepage::FromUtf8(std::to_string(value));
}

[[noreturn]] void RaiseBadArgument(std::u16string_view what, int32_t value) {
  Raise(err::kInvalidCall, std::u16string(kSource),
        u"不支持的" + std::u16string(what) + u"：" + Number(value));
}

Reference<css::beans::XPropertySet> ViewProperties(const Reference<css::frame::XModel>& document) {
  return Reference<css::beans::XPropertySet>(document->getCurrentController(),
                                             css::uno::UNO_QUERY_THROW);
}

void Forget(OfficeSession& session, const Reference<css::frame::XModel>& document) {
  auto& windows = session.word_windows;
  windows.erase(std::remove(windows.begin(), windows.end(), document), windows.end());
}

class WriterSelection : public WordSelection {
 public:
  WriterSelection(std::shared_ptr<OfficeSession> session, Reference<css::frame::XModel> document)
      : m_session(std::move(session)), m_document(std::move(document)) {}

  void GoTo(int32_t what, int32_t count) override {
    if (what != office::kWdGoToPage) RaiseBadArgument(u"定位目标", what);
    Guarded(*m_session, kSource, u"定位到页", [&] {
      Reference<css::text::XTextViewCursor> cursor = ViewCursor();
      cursor->collapseToEnd();
      Reference<css::text::XPageCursor> pages(cursor, css::uno::UNO_QUERY_THROW);
      if (count <= 1) {
        pages->jumpToFirstPage();
      } else if (!pages->jumpToPage(static_cast<sal_Int16>(std::min<int32_t>(count, 0x7fff)))) {
        pages->jumpToLastPage();
      }
      pages->jumpToStartOfPage();
    });
  }

  void EndKey(int32_t unit, int32_t extend) override {
    if (unit != office::kWdStory) RaiseBadArgument(u"移动单位", unit);
    if (extend != office::kWdMove && extend != office::kWdExtend) {
      RaiseBadArgument(u"扩展方式", extend);
    }
    Guarded(*m_session, kSource, u"移动到文档末尾", [&] {
      Dispatch(*m_session, m_document,
               extend == office::kWdExtend ? ".uno:EndOfDocumentSel" : ".uno:GoToEndOfDoc");
    });
  }

  void Copy() override {
    Guarded(*m_session, kSource, u"复制", [&] { Dispatch(*m_session, m_document, ".uno:Copy"); });
  }
  void Paste() override {
    Guarded(*m_session, kSource, u"粘贴", [&] { Dispatch(*m_session, m_document, ".uno:Paste"); });
  }
  void Delete() override {
    Guarded(*m_session, kSource, u"删除", [&] { Dispatch(*m_session, m_document, ".uno:Delete"); });
  }

 private:
  Reference<css::text::XTextViewCursor> ViewCursor() const {
    return Reference<css::text::XTextViewCursorSupplier>(m_document->getCurrentController(),
                                                         css::uno::UNO_QUERY_THROW)
        ->getViewCursor();
  }

  std::shared_ptr<OfficeSession> m_session;
  Reference<css::frame::XModel> m_document;
};

class WriterDocument : public WordDocument {
 public:
  WriterDocument(std::shared_ptr<OfficeSession> session, Reference<css::frame::XModel> document)
      : m_session(std::move(session)), m_document(std::move(document)) {}

  void Repaginate() override {
    // Reading the view's page count formats the whole document first.
    Guarded(*m_session, kSource, u"重新分页",
            [&] { ViewProperties(m_document)->getPropertyValue("PageCount"); });
  }

  int32_t BuiltInDocumentProperty(int32_t index) override {
    if (index != office::kWdPropertyPages) RaiseBadArgument(u"内置文档属性", index);
    return Guarded(*m_session, kSource, u"读取页数", [&] {
      return ViewProperties(m_document)->getPropertyValue("PageCount").get<sal_Int32>();
    });
  }

  std::shared_ptr<WordSelection> Selection() override {
    return std::make_shared<WriterSelection>(m_session, m_document);
  }

  void SaveAs(std::u16string_view file_name, int32_t file_format) override {
    if (file_format != office::kWdFormatHtml) RaiseBadArgument(u"文件格式", file_format);
    const std::filesystem::path target = LocalPath(file_name);
    const std::filesystem::path pictures = PictureFolderFor(target);
    StagingFolder staging(target);
    const std::filesystem::path exported = staging.Path() / target.filename();
    Guarded(*m_session, kSource, u"另存为 " + std::u16string(file_name), [&] {
      Reference<css::frame::XStorable>(m_document, css::uno::UNO_QUERY_THROW)
          ->storeToURL(
              UrlOf(exported),
              Properties({Property("FilterName", css::uno::Any(OUString("HTML (StarWriter)")))}));
    });
    PlaceExport(exported, target, pictures, pictures.filename().string() + "/");
  }

  void Close(bool save_changes) override {
    if (save_changes) {
      Guarded(*m_session, kSource, u"保存文档", [&] {
        Reference<css::frame::XStorable>(m_document, css::uno::UNO_QUERY_THROW)->store();
      });
    }
    CloseDocument(*m_session, kSource, m_document);
    Forget(*m_session, m_document);
  }

 private:
  std::shared_ptr<OfficeSession> m_session;
  Reference<css::frame::XModel> m_document;
};

class WriterApplication : public WordApplication {
 public:
  explicit WriterApplication(std::shared_ptr<OfficeSession> session)
      : m_session(std::move(session)) {}

  std::u16string ProgramId() const override { return office::kWordProgramId; }
  void Quit() override { QuitOffice(*m_session, kSource); }

  void SetDisplayAlerts(int32_t level) override {
    // A headless office never shows an alert: it answers every question with its default.
    if (level != office::kWdAlertsNone) {
      Raise(office::kErrAutomation, std::u16string(kSource), u"无界面的 Office 程序不能显示提示");
    }
    Guarded(*m_session, kSource, u"设置提示方式", [] {});
  }

  std::shared_ptr<WordDocument> OpenDocument(std::u16string_view file_name) override {
    return Track(
        libreoffice::OpenDocument(*m_session, kSource, file_name, DocumentKind::kText, true));
  }

  std::shared_ptr<WordDocument> AddDocument() override {
    return Track(NewDocument(*m_session, kSource, DocumentKind::kText));
  }

  void SetActiveWindowViewType(int32_t type) override {
    if (type != office::kWdPrintView && type != office::kWdWebView) {
      RaiseBadArgument(u"视图类型", type);
    }
    if (m_session->word_windows.empty()) {
      Raise(office::kErrAutomation, std::u16string(kSource), u"没有打开的文档，无法设置视图");
    }
    Guarded(*m_session, kSource, u"设置视图", [&] {
      Reference<css::view::XViewSettingsSupplier> view(
          m_session->word_windows.back()->getCurrentController(), css::uno::UNO_QUERY_THROW);
      view->getViewSettings()->setPropertyValue("ShowOnlineLayout",
                                                css::uno::Any(type == office::kWdWebView));
    });
  }

 private:
  std::shared_ptr<WordDocument> Track(const Reference<css::frame::XModel>& document) {
    m_session->word_windows.push_back(document);
    return std::make_shared<WriterDocument>(m_session, document);
  }

  std::shared_ptr<OfficeSession> m_session;
};

}  // namespace

std::shared_ptr<OfficeApplication> MakeWriterApplication(std::shared_ptr<OfficeSession> session) {
  return std::make_shared<WriterApplication>(std::move(session));
}

}  // namespace velmaris::libreoffice
