// OfficeImport: turns documents into articles. The page calls Init once with the server addresses
// and the article context; the user lists documents (dialog or drop) and presses the start button,
// which hands each entry to the importer for its extension. Pictures go up through StartUpload,
// the article through the post to the post address on the upload host.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "controls/common/article_context.h"
#include "controls/common/article_post.h"
#include "controls/office/html_cleaner.h"
#include "controls/office/import_run.h"
#include "controls/office/office_attach.h"
#include "controls/office/text_import.h"
#include "core/upload_transfer.h"
#include "platform/forms.h"
#include "platform/platform.h"

namespace velmaris {

class OfficeImport : public ArticleContext {
 public:
  explicit OfficeImport(Platform& platform);
  ~OfficeImport();
  OfficeImport(const OfficeImport&) = delete;
  OfficeImport& operator=(const OfficeImport&) = delete;

  // Takes the post address first and the upload address last: host and port are the upload
  // address's, of the post address only its path is kept.
  void Init(const std::u16string& UploadUrl, const std::u16string& PostUrl,
            const std::u16string& strPath, int32_t pColumnid, const std::u16string& pUserName,
            int32_t pIssueid = 0, int32_t pObjectType = 1);
  void addFormData(const std::u16string& p_FormDataName, const std::u16string& p_FormDataValue);
  // Does nothing and succeeds: the page learns that the control answers script.
  void TestOK() {}
  // Uploads one local file with the fields "curPath", "contentid" and "author" and waits for the
  // reply, which is kept in Reply(). A missing file raises before anything is sent.
  void StartUpload(const std::u16string& sf, const std::u16string& localfile, int32_t contentid);
  // Reads a text file (raising the file system's error when it cannot) and imports it as ImportTxt.
  int32_t ImportTxtFile(const std::u16string& fileDoc, int32_t colID,
                        const std::u16string& UserName);
  // Posts the text as an article of one page; returns 1 once the server took it, and fails with
  // the post's error when it did not.
  int32_t ImportTxt(const std::u16string& varText, const std::u16string& colID,
                    const std::u16string& UserName);

  // The office importers: a Word document page by page or as one page, a presentation one
  // picture per slide, a workbook one sheet per page. The office program converts the document;
  // a failed import leaves no document of its own open and no temporary file behind.
  int32_t ImportDocFile(const std::u16string& fileDoc, const std::u16string& colID,
                        const std::u16string& UserName);
  int32_t ImportDocFileOnePage(const std::u16string& fileDoc, const std::u16string& colID,
                               const std::u16string& UserName);
  int32_t ImportPPTFile(const std::u16string& fileDoc, const std::u16string& colID,
                        const std::u16string& UserName);
  int32_t ImportXlsFile(const std::u16string& fileDoc, const std::u16string& colID,
                        const std::u16string& UserName);

  // Appends a document path to the list unless it is empty or already listed (exact text).
  void AddFileToList(const std::u16string& path);

  Form& GetForm() { return m_form; }
  UploadTransfer& Transfer() { return m_transfer; }
  const std::u16string& Reply() const { return m_transfer.Reply(); }

  // The context Init set: PostPath(), CurPath(), ColumnId(), IssueId(), UserName(), ObjectType().
  // Whether an import run is going and has not been cancelled.
  bool Running() const { return m_run != nullptr && m_run->Going(); }
  // The options the last run read when it began.
  bool AutoPaginate() const { return m_options.auto_paginate; }
  bool CleanHtmlOption() const { return m_cleaner_settings.clean_html; }
  // The cleaner the office importers run; its pictures go up through StartUpload.
  const HtmlCleaner& Cleaner() const { return m_cleaner; }
  // What the importers last set for it; kept between imports.
  const CleanerSettings& CleaningSettings() const { return m_cleaner_settings; }

 private:
  // What the office importers use of the control.
  OfficeImportSite Site();
  // StartUpload's upload, for the importers' pictures too.
  void SendFile(const std::u16string& sf, const std::u16string& localfile, int32_t contentid);
  // Runs one import, refused inside another of this control's.
  template <typename Import>
  int32_t Importing(Import&& import);
  // Posts a marked-up text as the article; returns 1.
  int32_t PostText(TextArticle article, const std::u16string& colID,
                   const std::u16string& UserName);
  // The platform's office programs, made on first use and kept while the control lives.
  OfficeAutomation* Office();

  // Handlers.
  void OnAddClick();
  void OnDeleteClick();
  void OnStartClick();
  void OnCancelClick();
  void OnDrop(const std::vector<std::u16string>& paths);

  // Hands the entry to the importer for its extension; false when there is none.
  bool ImportEntry(const std::u16string& path);
  void SetImporting(bool importing);

  Platform& m_platform;
  Form m_form;
  FormControl& List1;
  FormControl& pbFile;
  FormControl& Command1;
  FormControl& Command2;
  FormControl& Check1;
  FormControl& Check2;
  FormControl& txtWidth;
  FormControl& txtHeight;
  FormControl& Command3;
  FormControl& Command4;
  UploadTransfer m_transfer;
  HtmlCleaner m_cleaner;
  // Its clean-HTML flag follows "清理HTML代码", which starts ticked; the Word importers set the
  // pictures' content id for good, the others send whatever it holds.
  CleanerSettings m_cleaner_settings;
  std::unique_ptr<OfficeAutomation> m_office;

  // The run the start button began, while its handler is on the stack (a cancelled run may still
  // be finishing its document).
  ImportRun* m_run = nullptr;
  ImportOptions m_options;
  // One of the import members is on the stack.
  bool m_in_import = false;
};

}  // namespace velmaris
