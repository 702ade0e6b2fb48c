// Excel on Calc. The office writes a workbook as one HTML file holding every visible sheet; the
// file per sheet is made by exporting again with only that sheet visible, after which the
// workbook's visibility, active sheet and modified state are put back as they were.
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/util/XModifiable.hpp>

#include <cstdio>
#include <system_error>
#include <vector>

#include "base/codepage.h"
#include "platform/filesystem.h"
#include "platform/libreoffice/documents.h"
#include "platform/libreoffice/export_layout.h"

namespace velmaris::libreoffice {

namespace {

constexpr std::u16string_view kSource = office::kExcelProgramId;

std::u16string Number(int32_t value) {
  return codepage::FromUtf8(std::to_string(value));
}

[[noreturn]] void RaiseBadArgument(std::u16string_view what, int32_t value) {
  Raise(err::kInvalidCall, std::u16string(kSource),
        u"不支持的" + std::u16string(what) + u"：" + Number(value));
}

std::string SheetFileName(int32_t number) {
  char name[32];
  std::snprintf(name, sizeof name, "sheet%03d.htm", static_cast<int>(number));
  return name;
}

// Shows one sheet alone for the time it lives; then everything is as before.
class SoloSheet {
 public:
  SoloSheet(const Reference<css::frame::XModel>& workbook,
            const Reference<css::container::XIndexAccess>& sheets)
      : m_workbook(workbook), m_sheets(sheets) {
    for (sal_Int32 i = 0; i < m_sheets->getCount(); ++i) {
      m_visible.push_back(Properties(i)->getPropertyValue("IsVisible").get<bool>());
    }
    m_view.set(m_workbook->getCurrentController(), css::uno::UNO_QUERY);
    if (m_view.is()) m_active = m_view->getActiveSheet();
    m_modified = Modifiable()->isModified();
  }

  ~SoloSheet() {
    try {
      // A workbook always keeps one visible sheet: show first, hide afterwards.
      for (size_t i = 0; i < m_visible.size(); ++i) {
        if (m_visible[i])
          Properties(static_cast<sal_Int32>(i))->setPropertyValue("IsVisible", css::uno::Any(true));
      }
      for (size_t i = 0; i < m_visible.size(); ++i) {
        if (!m_visible[i])
          Properties(static_cast<sal_Int32>(i))
              ->setPropertyValue("IsVisible", css::uno::Any(false));
      }
      if (m_view.is() && m_active.is()) m_view->setActiveSheet(m_active);
      Modifiable()->setModified(m_modified);
    } catch (const css::uno::Exception&) {
      // The office has gone; there is nothing left to put back.
    }
  }

  void Show(sal_Int32 index) {
    Properties(index)->setPropertyValue("IsVisible", css::uno::Any(true));
    for (sal_Int32 i = 0; i < m_sheets->getCount(); ++i) {
      if (i != index) Properties(i)->setPropertyValue("IsVisible", css::uno::Any(false));
    }
  }

 private:
  Reference<css::beans::XPropertySet> Properties(sal_Int32 index) const {
    return Reference<css::beans::XPropertySet>(m_sheets->getByIndex(index),
                                               css::uno::UNO_QUERY_THROW);
  }
  Reference<css::util::XModifiable> Modifiable() const {
    return Reference<css::util::XModifiable>(m_workbook, css::uno::UNO_QUERY_THROW);
  }

  Reference<css::frame::XModel> m_workbook;
  Reference<css::container::XIndexAccess> m_sheets;
  Reference<css::sheet::XSpreadsheetView> m_view;
  Reference<css::sheet::XSpreadsheet> m_active;
  std::vector<bool> m_visible;
  bool m_modified = false;
};

class CalcWorkbook : public Workbook {
 public:
  CalcWorkbook(std::shared_ptr<OfficeSession> session, Reference<css::frame::XModel> workbook)
      : m_session(std::move(session)), m_workbook(std::move(workbook)) {}

  void SaveAs(std::u16string_view file_name, int32_t file_format, int32_t access_mode) override {
    if (file_format != office::kXlHtml) RaiseBadArgument(u"文件格式", file_format);
    if (access_mode != office::kXlNoChange) RaiseBadArgument(u"访问方式", access_mode);
    const std::filesystem::path target = LocalPath(file_name);
    const std::filesystem::path folder = PictureFolderFor(target);
    const std::string prefix = folder.filename().string() + "/";
    const std::u16string action = u"另存为 " + std::u16string(file_name);

    Export(target, folder, prefix, action);
    const int32_t count = SheetCount();
    if (count < 2) return;
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) RaiseFileError(error, true);
    std::unique_ptr<SoloSheet> solo;
    Guarded(*m_session, kSource, action,
            [&] { solo = std::make_unique<SoloSheet>(m_workbook, Sheets()); });
    for (int32_t number = 1; number <= count; ++number) {
      Guarded(*m_session, kSource, action, [&] { solo->Show(number - 1); });
      Export(folder / SheetFileName(number), folder, prefix, action);
    }
  }

  int32_t SheetCount() override {
    return Guarded(*m_session, kSource, u"读取工作表数", [&] { return Sheets()->getCount(); });
  }

  std::u16string SheetName(int32_t index) override {
    const int32_t count = SheetCount();
    if (index < 1 || index > count) {
      Raise(err::kSubscript, std::u16string(kSource),
            u"下标越界：没有第 " + Number(index) + u" 张工作表");
    }
    return Guarded(*m_session, kSource, u"读取工作表名称", [&] {
      Reference<css::container::XNamed> sheet(Sheets()->getByIndex(index - 1),
                                              css::uno::UNO_QUERY_THROW);
      return FromOUString(sheet->getName());
    });
  }

  void Close() override { CloseDocument(*m_session, kSource, m_workbook); }

 private:
  Reference<css::container::XIndexAccess> Sheets() const {
    return Reference<css::container::XIndexAccess>(
        Reference<css::sheet::XSpreadsheetDocument>(m_workbook, css::uno::UNO_QUERY_THROW)
            ->getSheets(),
        css::uno::UNO_QUERY_THROW);
  }

  // The visible sheets as HTML at `target`, pictures into `folder`.
  void Export(const std::filesystem::path& target, const std::filesystem::path& folder,
              const std::string& prefix, const std::u16string& action) {
    StagingFolder staging(target);
    const std::filesystem::path exported = staging.Path() / target.filename();
    Guarded(*m_session, kSource, action, [&] {
      Reference<css::frame::XStorable>(m_workbook, css::uno::UNO_QUERY_THROW)
          ->storeToURL(
              UrlOf(exported),
              Properties({Property("FilterName", css::uno::Any(OUString("HTML (StarCalc)")))}));
    });
    PlaceExport(exported, target, folder, prefix);
  }

  std::shared_ptr<OfficeSession> m_session;
  Reference<css::frame::XModel> m_workbook;
};

class CalcApplication : public ExcelApplication {
 public:
  explicit CalcApplication(std::shared_ptr<OfficeSession> session)
      : m_session(std::move(session)) {}

  std::u16string ProgramId() const override { return office::kExcelProgramId; }
  void Quit() override { QuitOffice(*m_session, kSource); }

  void SetDisplayAlerts(bool display) override {
    // A headless office never shows an alert: it answers every question with its default.
    if (display) {
      Raise(office::kErrAutomation, std::u16string(kSource), u"无界面的 Office 程序不能显示提示");
    }
    Guarded(*m_session, kSource, u"设置提示方式", [] {});
  }

  std::shared_ptr<Workbook> OpenWorkbook(std::u16string_view file_name) override {
    return std::make_shared<CalcWorkbook>(
        m_session, OpenDocument(*m_session, kSource, file_name, DocumentKind::kSpreadsheet, true));
  }

 private:
  std::shared_ptr<OfficeSession> m_session;
};

}  // namespace

std::shared_ptr<OfficeApplication> MakeCalcApplication(std::shared_ptr<OfficeSession> session) {
  return std::make_shared<CalcApplication>(std::move(session));
}

}  // namespace velmaris::libreoffice
