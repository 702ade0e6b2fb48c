#include "controls/office/office_import.h"

#include <optional>

#include "base/codepage.h"
#include "base/error.h"
#include "base/scope.h"
#include "base/text.h"
#include "controls/common/file_helpers.h"
#include "controls/common/file_list.h"
#include "controls/common/plain_text.h"
#include "controls/common/transfer_box.h"
#include "controls/office/excel_import.h"
#include "controls/office/powerpoint_import.h"
#include "controls/office/text_import.h"
#include "controls/office/word_import.h"
#include "platform/filesystem.h"

namespace velmaris {

namespace {

constexpr char16_t kFileFilter[] =
    u"所有Office文档(*.doc;*.docx;*.xls;*.xlsx;*.ppt;*.pptx;*.txt)"
    u"|*.doc;*.docx;*.xls;*.xlsx;*.ppt;*.pptx;*.txt"
    u"|Word文档(*.doc;*.docx)|*.doc;*.docx"
    u"|Excel文档(*.xls;*.xlsx)|*.xls;*.xlsx"
    u"|PowerPoint文档(*.ppt;*.pptx)|*.ppt;*.pptx"
    u"|纯文本文件(*.txt)|*.txt";

using enum ControlKind;

constexpr ControlRow kLayout[] = {
    {kFrame, u"Frame1", {120, 240, 6495, 2535}, u"", u"准备要导入的文件"},
    {kListBox, u"List1", {240, 240, 6015, 1680}, u"Frame1"},
    {kProgressBar, u"pbFile", {240, 2040, 6015, 255}, u"Frame1", u"", row::kHidden},
    {kButton, u"Command1", {4320, 2040, 855, 375}, u"Frame1", u"增加"},
    {kButton, u"Command2", {5400, 2040, 855, 375}, u"Frame1", u"删除"},
    {kFrame, u"Frame2", {120, 2880, 2055, 975}, u"", u"Word"},
    {kCheckBox, u"Check1", {120, 240, 1095, 255}, u"Frame2", u"自动分页"},
    {kCheckBox, u"Check2", {120, 600, 1455, 255}, u"Frame2", u"清理HTML代码", row::kTicked},
    {kFrame, u"Frame3", {2400, 2880, 1935, 975}, u"", u"PowerPoint"},
    {kLabel, u"Label1", {120, 240, 450, 180}, u"Frame3", u"宽度:"},
    {kTextBox, u"txtWidth", {720, 240, 855, 270}, u"Frame3", u"800"},
    {kLabel, u"Label2", {120, 600, 450, 180}, u"Frame3", u"高度:"},
    {kTextBox, u"txtHeight", {720, 600, 855, 270}, u"Frame3", u"600"},
    {kButton, u"Command3", {4680, 3000, 1935, 375}, u"", u"开始导入"},
    {kButton, u"Command4", {4680, 3600, 1935, 375}, u"", u"取消", row::kDisabled},
};

}  // namespace

OfficeImport::OfficeImport(Platform& platform)
    : m_platform(platform),
      m_form(u"OfficeImport", 6885, 4110, kLayout),
      List1(m_form[u"List1"]),
      pbFile(m_form[u"pbFile"]),
      Command1(m_form[u"Command1"]),
      Command2(m_form[u"Command2"]),
      Check1(m_form[u"Check1"]),
      Check2(m_form[u"Check2"]),
      txtWidth(m_form[u"txtWidth"]),
      txtHeight(m_form[u"txtHeight"]),
      Command3(m_form[u"Command3"]),
      Command4(m_form[u"Command4"]),
      m_transfer(platform, {.default_path = u"/cms/upload.asp",
                            .progress = [this](double percent) { pbFile.SetValue(percent); },
                            .error_box = TransferErrorBox(platform.ui)}),
      m_cleaner(
          [this](const std::u16string& local_path, int32_t contentid) {
            SendFile(m_cur_path, local_path, contentid);
            return m_transfer.Reply();
          },
          [this](const CleanProgress&) { m_platform.loop.Pump(); }) {
  Command1.on_click = [this] { OnAddClick(); };
  Command2.on_click = [this] { OnDeleteClick(); };
  Command3.on_click = [this] { OnStartClick(); };
  Command4.on_click = [this] { OnCancelClick(); };
  List1.on_drop = [this](const std::vector<std::u16string>& paths) { OnDrop(paths); };
  List1.on_hover_item = [this](int index) { ShowEntryTip(List1, index); };
}

OfficeImport::~OfficeImport() {
  // The form may outlive the control in a renderer's hands: its handlers must not.
  for (const auto& child : m_form.Children()) {
    child->on_click = nullptr;
    child->on_drop = nullptr;
    child->on_hover_item = nullptr;
  }
}

// --- Public members -------------------------------------------------------------------------

void OfficeImport::Init(const std::u16string& UploadUrl, const std::u16string& PostUrl,
                        const std::u16string& strPath, int32_t pColumnid,
                        const std::u16string& pUserName, int32_t pIssueid, int32_t pObjectType) {
  InitContext(m_transfer, UploadUrl, PostUrl, strPath, pColumnid, pUserName, pIssueid, pObjectType);
}

// While a document is imported its pictures and its article are the import's, and so is the
// working folder: a page's call from inside it (a timer) is refused.
void OfficeImport::addFormData(const std::u16string& p_FormDataName,
                               const std::u16string& p_FormDataValue) {
  UploadTransfer::RefuseWhileBusy(m_in_import);
  m_transfer.Package().addFormData(p_FormDataName, p_FormDataValue);
}

void OfficeImport::StartUpload(const std::u16string& sf, const std::u16string& localfile,
                               int32_t contentid) {
  UploadTransfer::RefuseWhileBusy(m_in_import);
  SendFile(sf, localfile, contentid);
}

template <typename Import>
int32_t OfficeImport::Importing(Import&& import) {
  UploadTransfer::RefuseWhileBusy(m_in_import);
  ScopedFlag importing(m_in_import);
  return import();
}

void OfficeImport::SendFile(const std::u16string& sf, const std::u16string& localfile,
                            int32_t contentid) {
  std::u16string folder = sf;
  if (folder.empty() || folder.back() != u'/') folder += u'/';
  FileEntry file = FileSystemObject().GetFile(localfile);

  m_transfer.Run([&](CompondFile& package) {
    package.addFormData(u"curPath", folder);
    package.addFormData(u"contentid", DecimalText(contentid));
    package.addFormData(u"author", m_user_name);
    package.AddUploadFile(file.Name, file.Path);
  });
}

int32_t OfficeImport::ImportTxtFile(const std::u16string& fileDoc, int32_t colID,
                                    const std::u16string& UserName) {
  return Importing([&] {
    // The text read goes once it is marked up: only the article is held while it is posted.
    TextArticle article = MarkUpText(ReadTextFileOrRaise(fileDoc));
    return PostText(std::move(article), DecimalText(colID), UserName);
  });
}

int32_t OfficeImport::ImportTxt(const std::u16string& varText, const std::u16string& colID,
                                const std::u16string& UserName) {
  return Importing([&] { return PostText(MarkUpText(varText), colID, UserName); });
}

int32_t OfficeImport::PostText(TextArticle article, const std::u16string& colID,
                               const std::u16string& UserName) {
  PostArticle(m_transfer, m_post_path,
              Article{colID, m_issue_id, m_object_type, std::move(article.title),
                      std::move(article.content), UserName, m_cur_path});
  return 1;
}

int32_t OfficeImport::ImportDocFile(const std::u16string& fileDoc, const std::u16string& colID,
                                    const std::u16string& UserName) {
  return Importing([&] { return ImportWordPages(Site(), fileDoc, colID, UserName); });
}

int32_t OfficeImport::ImportDocFileOnePage(const std::u16string& fileDoc,
                                           const std::u16string& colID,
                                           const std::u16string& UserName) {
  return Importing([&] { return ImportWordOnePage(Site(), fileDoc, colID, UserName); });
}

int32_t OfficeImport::ImportPPTFile(const std::u16string& fileDoc, const std::u16string& colID,
                                    const std::u16string& UserName) {
  return Importing([&] { return ImportPresentation(Site(), fileDoc, colID, UserName); });
}

int32_t OfficeImport::ImportXlsFile(const std::u16string& fileDoc, const std::u16string& colID,
                                    const std::u16string& UserName) {
  return Importing([&] { return ImportWorkbook(Site(), fileDoc, colID, UserName); });
}

void OfficeImport::AddFileToList(const std::u16string& path) {
  const std::u16string trimmed = TrimSpaces(path);
  if (trimmed.empty()) return;
  for (const auto& entry : List1.Items()) {
    if (entry == trimmed) return;
  }
  List1.AddItem(trimmed);
}

// --- Handlers -------------------------------------------------------------------------------

void OfficeImport::OnAddClick() {
  FileDialogRequest request;
  request.filter = kFileFilter;
  request.multi_select = true;
  std::optional<std::u16string> answer = m_platform.ui.OpenFileDialog(request);
  if (!answer || answer->empty()) return;
  for (const auto& path : ChosenFiles(*answer)) AddFileToList(path);
}

void OfficeImport::OnDeleteClick() {
  RemoveSelectedEntries(List1);
}

void OfficeImport::OnDrop(const std::vector<std::u16string>& paths) {
  for (const auto& path : paths) AddFileToList(path);
}

void OfficeImport::OnStartClick() {
  // A cancelled run still finishing its document owns the list until it is done.
  if (m_run != nullptr) return;
  m_options = {.auto_paginate = Check1.Checked() == 1, .clean_html = Check2.Checked() == 1};
  m_cleaner_settings.clean_html = m_options.clean_html;
  if (const char16_t* problem = SlideSizeProblem(txtWidth.Text(), txtHeight.Text())) {
    m_platform.ui.MessageBox(problem, msgbox::kOkOnly, u"");
    return;
  }

  ImportRun run({.list = List1,
                 .progress = pbFile,
                 .ui = m_platform.ui,
                 .yield = [this] { m_platform.loop.Pump(); },
                 .import = [this](const std::u16string& path) { return ImportEntry(path); }});
  m_run = &run;
  const ScopeExit over([this] { m_run = nullptr; });
  SetImporting(true);
  run.Go();
  SetImporting(false);
  run.Tell();
}

void OfficeImport::OnCancelClick() {
  if (m_run != nullptr) m_run->Cancel();
  Command1.SetVisible(true);
  Command2.SetVisible(true);
  Command3.SetEnabled(true);
  Command4.SetEnabled(false);
  pbFile.SetVisible(false);
}

// --- The office importers' parts ------------------------------------------------------------

OfficeImportSite OfficeImport::Site() {
  return OfficeImportSite{
      [this] { return Office(); },
      m_cleaner,
      m_cleaner_settings,
      [this] { m_platform.loop.Pump(); },
      [this](const std::u16string& column_id, const std::u16string& title, std::u16string content,
             const std::u16string& author) {
        PostArticle(m_transfer, m_post_path,
                    Article{column_id, m_issue_id, m_object_type, title, std::move(content), author,
                            m_cur_path});
      },
      [this] { return txtWidth.Text(); },
      [this] { return txtHeight.Text(); },
  };
}

OfficeAutomation* OfficeImport::Office() {
  if (!m_office && m_platform.office) m_office = m_platform.office();
  return m_office.get();
}

// --- The import run's parts ----------------------------------------------------------------

bool OfficeImport::ImportEntry(const std::u16string& path) {
  const std::u16string ext = LowerCase(GetFileExtension(path));
  const std::u16string column = DecimalText(m_column_id);
  if (ext == u"txt") {
    ImportTxtFile(path, m_column_id, m_user_name);
  } else if (ext == u"doc" || ext == u"docx") {
    if (m_options.auto_paginate) {
      ImportDocFile(path, column, m_user_name);
    } else {
      ImportDocFileOnePage(path, column, m_user_name);
    }
  } else if (ext == u"ppt" || ext == u"pptx") {
    ImportPPTFile(path, column, m_user_name);
  } else if (ext == u"xls" || ext == u"xlsx") {
    ImportXlsFile(path, column, m_user_name);
  } else {
    return false;
  }
  return true;
}

void OfficeImport::SetImporting(bool importing) {
  Check1.SetEnabled(!importing);
  Check2.SetEnabled(!importing);
  Command1.SetVisible(!importing);
  Command2.SetVisible(!importing);
  pbFile.SetVisible(importing);
  Command3.SetEnabled(!importing);
  Command4.SetEnabled(importing);
  txtHeight.SetEnabled(!importing);
  txtWidth.SetEnabled(!importing);
}

}  // namespace velmaris
