// What the office importers share: the control's parts they work with, reaching the office
// program, the working folder with the temporary name of one conversion, documents that must not
// stay open when an import fails, and the small text rules of titles and column ids.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "controls/office/html_cleaner.h"
#include "platform/filesystem.h"
#include "platform/office_automation.h"

namespace velmaris {

// What an importer uses of the control it runs in.
struct OfficeImportSite {
  // The control's way to the office programs; null (or an error) when it has none.
  std::function<OfficeAutomation*()> office;
  // The control's cleaner, and the settings the importers give it: each sets its working folder
  // there (and leaves it naming the deleted picture folder afterwards), the Word importers also
  // the pictures' content id.
  const HtmlCleaner& cleaner;
  CleanerSettings& cleaner_settings;
  // Yields once to the host's message loop.
  std::function<void()> yield;
  // Posts one article with the control's context (issue, object type, server folder). The content
  // is taken by value, so an importer hands its joined pages over without a copy.
  std::function<void(const std::u16string& column_id, const std::u16string& title,
                     std::u16string content, const std::u16string& author)>
      post;
  // The texts of the slide picture size boxes, read anew for every slide.
  std::function<std::u16string()> picture_width;
  std::function<std::u16string()> picture_height;
};

// An office program found running or started for the import.
struct AttachedApplication {
  std::shared_ptr<OfficeApplication> application;  // null when none could be had
  bool started = false;                            // the import started it
  std::u16string failure;                          // why there is none
};

// The running instance of `program_id`, else a new one. Never raises: a program that can be
// neither found nor started gives no application, and the import fails where it first needs it.
AttachedApplication AttachOfficeApplication(const OfficeImportSite& site,
                                            std::u16string_view program_id);

// The attached program as the kind the import drives; raises object-not-set (91), with the
// reason, when there is none.
template <class App>
std::shared_ptr<App> RequireApplication(const AttachedApplication& attached,
                                        std::u16string_view program_id) {
  if (!attached.application) {
    std::u16string description =
        u"对象变量或 With 块变量未设置：无法启动 " + std::u16string(program_id);
    if (!attached.failure.empty()) description += u"（" + attached.failure + u"）";
    Raise(err::kObjectNotSet, std::u16string(program_id), std::move(description));
  }
  return OfficeCast<App>(attached.application);
}

// The column id a script gives as text, read as a 32-bit integer the way the runtime converts
// text: type mismatch (13) when it is no number, overflow (6) when it does not fit.
int32_t ColumnIdNumber(std::u16string_view column_id);

// The file's name (after the last "\" or "/") up to its first "."; a name without "." raises
// invalid procedure call (5).
std::u16string TitleFromPath(std::u16string_view path);

// The files of one conversion: the working folder "<TEMP>\doc2html\" (private to the user, made
// when missing, never removed; when the name is taken by what the user cannot keep private, a
// fresh private folder beside it, removed with this object), a temporary name reserved in it, and
// the folder the office writes beside that name. Both are made and removed through the open
// working folder, and go when the import is done with them, and at the latest when this object
// goes, so a failed import leaves nothing behind.
class ConversionFiles {
 public:
  // `folder_ending` takes the place of the name's ".tmp" to name the office's folder (".files",
  // or "" for the slide folder). Raises when the working folder cannot be made or no name can be
  // reserved in it.
  explicit ConversionFiles(std::u16string_view folder_ending);
  ~ConversionFiles();
  ConversionFiles(const ConversionFiles&) = delete;
  ConversionFiles& operator=(const ConversionFiles&) = delete;

  // Ends in "\".
  const std::u16string& WorkDir() const { return m_work_dir; }
  // The reserved name, ending in ".tmp".
  const std::u16string& TempFile() const { return m_temp_file; }
  // The office's folder beside it, without a trailing separator.
  const std::u16string& Folder() const { return m_folder; }

  // Deletes the temporary file and the folder with everything in it; what cannot be deleted
  // stays. Done once.
  void Remove();

 private:
  PrivateFolder m_work;
  std::u16string m_work_dir;
  std::u16string m_temp_name;  // in the working folder
  std::u16string m_temp_file;
  std::u16string m_folder_name;
  std::u16string m_folder;
  bool m_removed = false;
};

// A document the import opened. Closed on purpose with Close(); one that is still open when the
// import fails is closed without saving, errors ignored, so the user's office is left as it was.
template <class Document>
class OpenedDocument {
 public:
  explicit OpenedDocument(std::shared_ptr<Document> document) : m_document(std::move(document)) {}
  ~OpenedDocument() {
    if (!m_document) return;
    try {
      m_document->Close();
    } catch (...) {
      // The office may have gone; nothing is left to close then.
    }
  }
  OpenedDocument(const OpenedDocument&) = delete;
  OpenedDocument& operator=(const OpenedDocument&) = delete;

  Document* operator->() const { return m_document.get(); }
  Document& operator*() const { return *m_document; }
  // Closes it now; an error of the office passes (the document is not tried again).
  void Close() {
    std::shared_ptr<Document> document = std::move(m_document);
    document->Close();
  }

 private:
  std::shared_ptr<Document> m_document;
};

}  // namespace velmaris
