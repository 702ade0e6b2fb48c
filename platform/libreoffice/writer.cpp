// Word on Writer. Pages come from the document's view: its cursor jumps to pages, and the view's
// page count lays the whole document out first. Selection commands go through the document's
// frame as the keyboard and menu would send them, so copy and paste use the office's clipboard.
// What is pasted from another document keeps its look there, as in Word: the source's styles
// come along, and numbered headings keep the numbers they showed.
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/document/XUndoManagerSupplier.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/style/XStyleLoader.hpp>
#include <com/sun/star/text/XPageCursor.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/text/XTextViewCursor.hpp>
#include <com/sun/star/text/XTextViewCursorSupplier.hpp>
#include <com/sun/star/view/XViewSettingsSupplier.hpp>

#include <algorithm>
#include <string>

#include "base/codepage.h"
#include "base/scope.h"
#include "platform/filesystem.h"
#include "platform/libreoffice/documents.h"
#include "platform/libreoffice/export_layout.h"
#include "platform/libreoffice/heading_numbers.h"
#include "platform/libreoffice/table_grid.h"

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
  if (session.word_clipboard.source == document) session.word_clipboard = {};
}

// The paragraphs (and tables) of a text or of a cursor's range.
template <class Range>
Reference<css::container::XEnumerationAccess> Paragraphs(const Reference<Range>& range) {
  return Reference<css::container::XEnumerationAccess>(range, css::uno::UNO_QUERY_THROW);
}

Reference<css::text::XText> Body(const Reference<css::frame::XModel>& document) {
  return Reference<css::text::XTextDocument>(document, css::uno::UNO_QUERY_THROW)->getText();
}

// The source's paragraph, character, list, frame and page styles and its defaults replace the
// target's. The office loads styles only from a file, and fully only from its own format, so the
// source is saved in it once, privately, for as long as it is on the clipboard.
void TakeStyles(OfficeSession::WordClipboard& clipboard,
                const Reference<css::frame::XModel>& target) {
  if (!clipboard.styles) {
    auto folder =
        std::make_shared<StagingFolder>(PrivateFolder::Open(TempFolderPath(), u"velmaris-styles"));
    Reference<css::frame::XStorable>(clipboard.source, css::uno::UNO_QUERY_THROW)
        ->storeToURL(UrlOf(folder->Path() / "styles.odt"),
                     Properties({Property("FilterName", css::uno::Any(OUString("writer8")))}));
    clipboard.styles = std::move(folder);
  }
  const css::uno::Any yes(true);
  Reference<css::style::XStyleLoader>(
      Reference<css::style::XStyleFamiliesSupplier>(target, css::uno::UNO_QUERY_THROW)
          ->getStyleFamilies(),
      css::uno::UNO_QUERY_THROW)
      ->loadStylesFromURL(
          UrlOf(clipboard.styles->Path() / "styles.odt"),
          Properties({Property("LoadTextStyles", yes), Property("LoadFrameStyles", yes),
                      Property("LoadPageStyles", yes), Property("LoadNumberingStyles", yes),
                      Property("OverwriteStyles", yes)}));
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
    Guarded(*m_session, kSource, u"复制", [&] {
      Dispatch(*m_session, m_document, ".uno:Copy");
      auto& clipboard = m_session->word_clipboard;
      clipboard = {m_document, SelectedHeadingLabels(),
                   clipboard.source == m_document ? clipboard.styles : nullptr};
    });
  }

  void Paste() override {
    Guarded(*m_session, kSource, u"粘贴", [&] {
      auto& clipboard = m_session->word_clipboard;
      const bool from_other = clipboard.source.is() && clipboard.source != m_document;
      if (from_other) TakeStyles(clipboard, m_document);
      Dispatch(*m_session, m_document, ".uno:Paste");
      // The pasted headings are the last ones up to the cursor, which ends behind them.
      if (from_other && !clipboard.heading_labels.empty()) {
        const auto view = ViewCursor();
        const auto up_to_cursor =
            view->getText()->createTextCursorByRange(view->getText()->getStart());
        up_to_cursor->gotoRange(view->getEnd(), true);
        HeadingLabelsAsText(Paragraphs(up_to_cursor), clipboard.heading_labels);
      }
    });
  }
  void Delete() override {
    Guarded(*m_session, kSource, u"删除", [&] { Dispatch(*m_session, m_document, ".uno:Delete"); });
  }

 private:
  // The labels of the numbered headings in the selection; none when the selection is not in the
  // body text (it starts in a table, say), so those keep the numbers of where they are pasted.
  std::vector<OUString> SelectedHeadingLabels() const {
    try {
      const Reference<css::text::XTextRange> selection(ViewCursor(), css::uno::UNO_QUERY_THROW);
      return HeadingLabels(Paragraphs(Body(m_document)->createTextCursorByRange(selection)));
    } catch (const css::uno::RuntimeException&) {
      return {};
    }
  }

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
      // The headings' numbers go into the export as text, and the document gets them back.
      Reference<css::document::XUndoManager> undo =
          Reference<css::document::XUndoManagerSupplier>(m_document, css::uno::UNO_QUERY_THROW)
              ->getUndoManager();
      const auto body = Paragraphs(Body(m_document));
      undo->enterUndoContext("HTML");
      size_t numbered = 0;
      {
        ScopeExit leave([&] {
          try {
            undo->leaveUndoContext();
          } catch (const css::uno::Exception&) {
          }
        });
        numbered = HeadingLabelsAsText(body, HeadingLabels(body));
      }
      ScopeExit restore([&] {
        try {
          if (numbered > 0) undo->undo();
        } catch (const css::uno::Exception&) {
          // The export is written either way; the document is closed unsaved by its importer.
        }
      });
      Reference<css::frame::XStorable>(m_document, css::uno::UNO_QUERY_THROW)
          ->storeToURL(
              UrlOf(exported),
              Properties({Property("FilterName", css::uno::Any(OUString("HTML (StarWriter)")))}));
    });
    PlaceExport(exported, target, pictures, pictures.filename().string() + "/",
                TableGridAttributes);
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
