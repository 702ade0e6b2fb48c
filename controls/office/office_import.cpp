#include "controls/office/office_import.h"

#include <optional>

#include "base/codepage.h"
#include "base/error.h"
#include "base/scope.h"
#include "base/text.h"
#include "controls/common/file_helpers.h"
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

constexpr char16_t kHeightNotNumber[] = u"图片高度必须为一数值！";
constexpr char16_t kWidthNotNumber[] = u"图片宽度必须为一数值！";

// An entry being imported reads its path and kBusyMark; an imported one then also kDoneMark.
constexpr char16_t kBusyMark[] = u"...";
constexpr char16_t kDoneMark[] = u"...完成";
// Entries no importer takes (a PDF, a folder), shown once the run is over, one path a line.
constexpr char16_t kNotSupported[] = u"以下文件的类型不支持导入：";

// Only the marks a run writes make an entry done: a path may itself contain "完成".
bool IsDone(std::u16string_view entry) {
  return entry.ends_with(std::u16string(kBusyMark) + kDoneMark);
}

// The dialog's answer with several files is the folder and the names separated by NULs. The
// names are joined to the folder the way the folder is written, so a file chosen in the dialog
// and the same file dropped on the list are one entry.
std::vector<std::u16string> ChosenFiles(const std::u16string& answer) {
  if (answer.find(u'\0') == std::u16string::npos) return {answer};
  std::vector<std::u16string> pieces;
  size_t start = 0;
  for (;;) {
    size_t at = answer.find(u'\0', start);
    pieces.push_back(answer.substr(start, at == std::u16string::npos ? at : at - start));
    if (at == std::u16string::npos) break;
    start = at + 1;
  }
  std::u16string folder = pieces.front();
  const bool posix =
      folder.find(u'/') != std::u16string::npos && folder.find(u'\\') == std::u16string::npos;
  if (folder.empty() || (folder.back() != u'\\' && folder.back() != u'/')) {
    folder += posix ? u'/' : u'\\';
  }
  std::vector<std::u16string> paths;
  for (size_t i = 1; i < pieces.size(); ++i) {
    if (!pieces[i].empty()) paths.push_back(folder + pieces[i]);
  }
  return paths;
}

}  // namespace

OfficeImport::OfficeImport(Platform& platform)
    : m_platform(platform),
      m_form(u"OfficeImport", 6885, 4110),
      Frame1(m_form.Add(ControlKind::kFrame, u"Frame1", {120, 240, 6495, 2535})),
      List1(m_form.Add(ControlKind::kListBox, u"List1", {240, 240, 6015, 1680}, u"Frame1")),
      pbFile(m_form.Add(ControlKind::kProgressBar, u"pbFile", {240, 2040, 6015, 255}, u"Frame1")),
      Command1(m_form.Add(ControlKind::kButton, u"Command1", {4320, 2040, 855, 375}, u"Frame1")),
      Command2(m_form.Add(ControlKind::kButton, u"Command2", {5400, 2040, 855, 375}, u"Frame1")),
      Frame2(m_form.Add(ControlKind::kFrame, u"Frame2", {120, 2880, 2055, 975})),
      Check1(m_form.Add(ControlKind::kCheckBox, u"Check1", {120, 240, 1095, 255}, u"Frame2")),
      Check2(m_form.Add(ControlKind::kCheckBox, u"Check2", {120, 600, 1455, 255}, u"Frame2")),
      Frame3(m_form.Add(ControlKind::kFrame, u"Frame3", {2400, 2880, 1935, 975})),
      Label1(m_form.Add(ControlKind::kLabel, u"Label1", {120, 240, 450, 180}, u"Frame3")),
      txtWidth(m_form.Add(ControlKind::kTextBox, u"txtWidth", {720, 240, 855, 270}, u"Frame3")),
      Label2(m_form.Add(ControlKind::kLabel, u"Label2", {120, 600, 450, 180}, u"Frame3")),
      txtHeight(m_form.Add(ControlKind::kTextBox, u"txtHeight", {720, 600, 855, 270}, u"Frame3")),
      Command3(m_form.Add(ControlKind::kButton, u"Command3", {4680, 3000, 1935, 375})),
      Command4(m_form.Add(ControlKind::kButton, u"Command4", {4680, 3600, 1935, 375})),
      m_transfer(platform, {.default_path = u"/cms/upload.asp",
                            .progress = [this](double percent) { pbFile.SetValue(percent); },
                            .error_box = TransferErrorBox(platform.ui)}),
      m_cleaner(
          [this](const std::u16string& local_path, int32_t contentid) {
            SendFile(m_cur_path, local_path, contentid);
            return m_transfer.Reply();
          },
          [this](const CleanProgress&) { m_platform.loop.Pump(); }) {
  BuildForm();
}

OfficeImport::~OfficeImport() {
  // The form may outlive the control in a renderer's hands: its handlers must not.
  for (const auto& child : m_form.Children()) {
    child->on_click = nullptr;
    child->on_drop = nullptr;
    child->on_hover_item = nullptr;
  }
}

void OfficeImport::BuildForm() {
  Frame1.SetText(u"准备要导入的文件");
  pbFile.SetVisible(false);
  Command1.SetText(u"增加");
  Command2.SetText(u"删除");
  Frame2.SetText(u"Word");
  Check1.SetText(u"自动分页");
  Check1.SetChecked(0);
  Check2.SetText(u"清理HTML代码");
  Check2.SetChecked(1);
  Frame3.SetText(u"PowerPoint");
  Label1.SetText(u"宽度:");
  txtWidth.SetText(u"800");
  Label2.SetText(u"高度:");
  txtHeight.SetText(u"600");
  Command3.SetText(u"开始导入");
  Command4.SetText(u"取消");
  Command4.SetEnabled(false);

  Command1.on_click = [this] { OnAddClick(); };
  Command2.on_click = [this] { OnDeleteClick(); };
  Command3.on_click = [this] { OnStartClick(); };
  Command4.on_click = [this] { OnCancelClick(); };
  List1.on_drop = [this](const std::vector<std::u16string>& paths) { OnDrop(paths); };
  List1.on_hover_item = [this](int index) { OnHoverItem(index); };
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
  for (int i = static_cast<int>(List1.Items().size()) - 1; i >= 0; --i) {
    if (List1.Selected(i)) List1.RemoveItem(i);
  }
}

void OfficeImport::OnDrop(const std::vector<std::u16string>& paths) {
  for (const auto& path : paths) AddFileToList(path);
}

void OfficeImport::OnHoverItem(int index) {
  const auto& items = List1.Items();
  List1.SetToolTip(index >= 0 && index < static_cast<int>(items.size())
                       ? items[static_cast<size_t>(index)]
                       : std::u16string());
}

void OfficeImport::OnStartClick() {
  // A cancelled run still finishing its document owns the list until it is done.
  if (m_in_run) return;
  m_auto_paginate = Check1.Checked() == 1;
  m_cleaner_settings.clean_html = Check2.Checked() == 1;
  if (!IsNumericText(txtHeight.Text())) {
    m_platform.ui.MessageBox(kHeightNotNumber, msgbox::kOkOnly, u"");
    return;
  }
  if (!IsNumericText(txtWidth.Text())) {
    m_platform.ui.MessageBox(kWidthNotNumber, msgbox::kOkOnly, u"");
    return;
  }

  ScopedFlag in_run(m_in_run);
  SetImporting(true);
  m_running = true;
  // Entries added during the run wait for the next one.
  const int count = static_cast<int>(List1.Items().size());
  std::vector<std::u16string> not_supported;
  for (int i = 0; i < count && m_running; ++i) {
    if (i >= static_cast<int>(List1.Items().size())) break;
    const std::u16string path = List1.Items()[static_cast<size_t>(i)];
    if (IsDone(path)) continue;
    const std::u16string busy = path + kBusyMark;
    List1.SetItem(i, busy);
    pbFile.SetValue(0);
    m_platform.loop.Pump();

    std::optional<std::u16string> failure;
    bool imported = false;
    try {
      imported = ImportEntry(path);
    } catch (const VbError& error) {
      failure = error.Description();
    } catch (const std::exception& error) {
      failure = codepage::FromUtf8(error.what());
    }
    int at = FindEntry(i, busy);
    if (failure || !imported) {
      // The entry reads its path again, so the next run tries it afresh.
      if (at >= 0) List1.SetItem(at, path);
    }
    if (failure) {
      m_running = false;
      SetImporting(false);
      TellNotSupported(not_supported);
      m_platform.ui.MessageBox(path + u"\r\n" + *failure, msgbox::kOkOnly | msgbox::kCritical, u"");
      return;
    }
    if (!imported) {
      not_supported.push_back(path);
      continue;
    }
    if (at >= 0) List1.SetItem(at, busy + kDoneMark);
    m_platform.loop.Pump();
  }
  m_running = false;
  SetImporting(false);
  TellNotSupported(not_supported);
}

void OfficeImport::TellNotSupported(const std::vector<std::u16string>& paths) {
  if (paths.empty()) return;
  std::u16string text = kNotSupported;
  for (const auto& path : paths) text += u"\r\n" + path;
  m_platform.ui.MessageBox(text, msgbox::kOkOnly | msgbox::kExclamation, u"");
}

void OfficeImport::OnCancelClick() {
  // The document being imported is finished first: the run looks at m_running between entries.
  m_running = false;
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

// --- The import run -------------------------------------------------------------------------

bool OfficeImport::ImportEntry(const std::u16string& path) {
  const std::u16string ext = LowerCase(GetFileExtension(path));
  const std::u16string column = DecimalText(m_column_id);
  if (ext == u"txt") {
    ImportTxtFile(path, m_column_id, m_user_name);
  } else if (ext == u"doc" || ext == u"docx") {
    if (m_auto_paginate) {
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

int OfficeImport::FindEntry(int index, const std::u16string& text) const {
  const auto& items = List1.Items();
  if (index < static_cast<int>(items.size()) && items[static_cast<size_t>(index)] == text) {
    return index;
  }
  for (size_t i = 0; i < items.size(); ++i) {
    if (items[i] == text) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace velmaris
