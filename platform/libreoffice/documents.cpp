#include "platform/libreoffice/documents.h"

#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/UpdateDocMode.hpp>
#include <com/sun/star/frame/DispatchHelper.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XDispatchProvider.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include <system_error>

namespace velmaris::libreoffice {

namespace {

struct KindInfo {
  const char* service;   // steers the office's type detection towards this program
  const char* factory;   // a new empty document
  const char16_t* what;  // for messages
};

KindInfo Info(DocumentKind kind) {
  switch (kind) {
    case DocumentKind::kText:
      return {"com.sun.star.text.TextDocument", "private:factory/swriter", u"文字处理文档"};
    case DocumentKind::kSpreadsheet:
      return {"com.sun.star.sheet.SpreadsheetDocument", "private:factory/scalc", u"电子表格"};
    case DocumentKind::kPresentation:
      break;
  }
  return {"com.sun.star.presentation.PresentationDocument", "private:factory/simpress",
          u"演示文稿"};
}

bool IsOfKind(const Reference<css::lang::XComponent>& component, DocumentKind kind) {
  switch (kind) {
    case DocumentKind::kText:
      return Reference<css::text::XTextDocument>(component, css::uno::UNO_QUERY).is();
    case DocumentKind::kSpreadsheet:
      return Reference<css::sheet::XSpreadsheetDocument>(component, css::uno::UNO_QUERY).is();
    case DocumentKind::kPresentation:
      break;
  }
  // Drawings share the presentation's implementation; only presentations offer this service.
  Reference<css::lang::XServiceInfo> info(component, css::uno::UNO_QUERY);
  return info.is() && info->supportsService(OUString::createFromAscii(Info(kind).service));
}

void CloseQuietly(const Reference<css::lang::XComponent>& component) {
  try {
    Reference<css::util::XCloseable>(component, css::uno::UNO_QUERY_THROW)->close(true);
  } catch (const css::uno::Exception&) {
  }
}

}  // namespace

Reference<css::frame::XModel> OpenDocument(const OfficeSession& session, std::u16string_view source,
                                           std::u16string_view file_name, DocumentKind kind,
                                           bool hidden) {
  const std::filesystem::path path = LocalPath(file_name);
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) {
    Raise(err::kFileNotFound, std::u16string(source), u"找不到文件：" + std::u16string(file_name));
  }
  const KindInfo info = Info(kind);
  const std::u16string action = u"打开文档 " + std::u16string(file_name);
  return Guarded(session, source, action, [&] {
    // No interaction handler: a headless office cannot ask anyone, so every question the
    // document raises is answered with its default.
    Reference<css::lang::XComponent> component = session.Desktop()->loadComponentFromURL(
        UrlOf(path), "_blank", 0,
        Properties({
            Property("Hidden", css::uno::Any(hidden)),
            Property("DocumentService", css::uno::Any(OUString::createFromAscii(info.service))),
            Property("MacroExecutionMode",
                     css::uno::Any(css::document::MacroExecMode::NEVER_EXECUTE)),
            Property("UpdateDocMode", css::uno::Any(css::document::UpdateDocMode::NO_UPDATE)),
        }));
    if (!component.is()) {
      Raise(office::kErrAutomation, std::u16string(source),
            u"无法" + action + u"：无法识别的文件格式");
    }
    if (!IsOfKind(component, kind)) {
      CloseQuietly(component);
      Raise(office::kErrAutomation, std::u16string(source),
            u"无法" + action + u"：它不是" + std::u16string(info.what));
    }
    return Reference<css::frame::XModel>(component, css::uno::UNO_QUERY_THROW);
  });
}

Reference<css::frame::XModel> NewDocument(const OfficeSession& session, std::u16string_view source,
                                          DocumentKind kind) {
  return Guarded(session, source, u"新建文档", [&] {
    Reference<css::lang::XComponent> component = session.Desktop()->loadComponentFromURL(
        OUString::createFromAscii(Info(kind).factory), "_blank", 0,
        Properties({Property("Hidden", css::uno::Any(true))}));
    return Reference<css::frame::XModel>(component, css::uno::UNO_QUERY_THROW);
  });
}

void CloseDocument(const OfficeSession& session, std::u16string_view source,
                   const Reference<css::frame::XModel>& document) {
  Guarded(session, source, u"关闭文档", [&] {
    Reference<css::util::XCloseable>(document, css::uno::UNO_QUERY_THROW)->close(true);
  });
}

void Dispatch(const OfficeSession& session, const Reference<css::frame::XModel>& document,
              const char* command) {
  Reference<css::frame::XDispatchProvider> frame(document->getCurrentController()->getFrame(),
                                                 css::uno::UNO_QUERY_THROW);
  css::frame::DispatchHelper::create(session.Context())
      ->executeDispatch(frame, OUString::createFromAscii(command), OUString(), 0, {});
}

void QuitOffice(OfficeSession& session, std::u16string_view source) {
  if (!session.Alive()) {
    Raise(office::kErrServerUnavailable, std::u16string(source), u"Office 程序已经退出");
  }
  if (!session.Terminate()) {
    Raise(office::kErrAutomation, std::u16string(source), u"Office 程序拒绝退出");
  }
}

}  // namespace velmaris::libreoffice
