// One press of OfficeImport's start button: the run goes down the list, marks the entry it is
// importing and the entries it has imported, hands each to its importer, and tells the editor at
// the end which entries no importer takes and what stopped it. The list's marks and the checks
// before a run are rules of their own, testable without a form.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmaris {

class FormControl;
class Ui;

// The options a run reads off the form when it begins.
struct ImportOptions {
  bool auto_paginate = false;  // "自动分页": a Word document page by page
  bool clean_html = true;      // "清理HTML代码"
};

// What the options' message says before a run, null when the slide picture size boxes hold
// numbers; the height is checked first.
const char16_t* SlideSizeProblem(std::u16string_view width, std::u16string_view height);

// The list's marks: an entry being imported reads its path and "..."; an imported one then also
// "...完成". Only the marks a run writes make an entry done: a path may itself contain "完成".
std::u16string BusyEntry(const std::u16string& path);
std::u16string DoneEntry(const std::u16string& path);
bool IsDoneEntry(std::u16string_view entry);
// Where the entry that read `text` at `index` is now (entries may go while a cancelled run
// finishes its document); -1 when it is gone.
int FindEntry(const std::vector<std::u16string>& entries, int index, const std::u16string& text);

class ImportRun {
 public:
  // What the run works with of its control.
  struct Site {
    FormControl& list;      // the entries
    FormControl& progress;  // the document's progress, set back for each entry
    Ui& ui;
    // Yields once to the host's message loop.
    std::function<void()> yield;
    // Hands the entry to the importer for its extension; false when there is none.
    std::function<bool(const std::u16string& path)> import;
  };

  explicit ImportRun(Site site);
  ImportRun(const ImportRun&) = delete;
  ImportRun& operator=(const ImportRun&) = delete;

  // Goes down the entries the list holds now (entries added meanwhile wait for the next run),
  // skipping those done, until the last, a cancel or the first failure; a failed entry and one no
  // importer takes read their paths again, so the next run tries them afresh.
  void Go();
  // Tells the editor which entries no importer takes, then what stopped the run; nothing when
  // there is neither.
  void Tell();

  // The document being imported is finished first: the run looks between entries.
  void Cancel() { m_going = false; }
  // Going and not cancelled.
  bool Going() const { return m_going; }

 private:
  Site m_site;
  bool m_going = false;
  std::vector<std::u16string> m_not_supported;
  // The entry that stopped the run and what went wrong with it.
  std::optional<std::pair<std::u16string, std::u16string>> m_failure;
};

}  // namespace velmaris
