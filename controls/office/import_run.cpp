#include "controls/office/import_run.h"

#include <exception>

#include "base/error.h"
#include "controls/common/plain_text.h"
#include "platform/forms.h"
#include "platform/ui.h"

namespace velmaris {

namespace {

constexpr char16_t kHeightNotNumber[] = u"图片高度必须为一数值！";
constexpr char16_t kWidthNotNumber[] = u"图片宽度必须为一数值！";

constexpr char16_t kBusyMark[] = u"...";
constexpr char16_t kDoneMark[] = u"...完成";
// Entries no importer takes (a PDF, a folder), shown once the run is over, one path a line.
constexpr char16_t kNotSupported[] = u"以下文件的类型不支持导入：";

}  // namespace

const char16_t* SlideSizeProblem(std::u16string_view width, std::u16string_view height) {
  if (!IsNumericText(height)) return kHeightNotNumber;
  if (!IsNumericText(width)) return kWidthNotNumber;
  return nullptr;
}

std::u16string BusyEntry(const std::u16string& path) {
  return path + kBusyMark;
}

std::u16string DoneEntry(const std::u16string& path) {
  return BusyEntry(path) + kDoneMark;
}

bool IsDoneEntry(std::u16string_view entry) {
  return entry.ends_with(std::u16string(kBusyMark) + kDoneMark);
}

int FindEntry(const std::vector<std::u16string>& entries, int index, const std::u16string& text) {
  if (index < static_cast<int>(entries.size()) && entries[static_cast<size_t>(index)] == text) {
    return index;
  }
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i] == text) return static_cast<int>(i);
  }
  return -1;
}

ImportRun::ImportRun(Site site) : m_site(std::move(site)) {}

void ImportRun::Go() {
  FormControl& list = m_site.list;
  m_going = true;
  const int count = static_cast<int>(list.Items().size());
  for (int i = 0; i < count && m_going; ++i) {
    if (i >= static_cast<int>(list.Items().size())) break;
    const std::u16string path = list.Items()[static_cast<size_t>(i)];
    if (IsDoneEntry(path)) continue;
    const std::u16string busy = BusyEntry(path);
    list.SetItem(i, busy);
    m_site.progress.SetValue(0);
    m_site.yield();

    std::optional<std::u16string> failure;
    bool imported = false;
    try {
      imported = m_site.import(path);
    } catch (const std::exception&) {
      failure =
          CurrentError({.exception = err::kInvalidCall, .unknown = err::kInvalidCall}).description;
    }
    int at = FindEntry(list.Items(), i, busy);
    if (failure || !imported) {
      // The entry reads its path again, so the next run tries it afresh.
      if (at >= 0) list.SetItem(at, path);
    }
    if (failure) {
      m_failure.emplace(path, *failure);
      break;
    }
    if (!imported) {
      m_not_supported.push_back(path);
      continue;
    }
    if (at >= 0) list.SetItem(at, DoneEntry(path));
    m_site.yield();
  }
  m_going = false;
}

void ImportRun::Tell() {
  if (!m_not_supported.empty()) {
    std::u16string text = kNotSupported;
    for (const auto& path : m_not_supported) text += u"\r\n" + path;
    m_site.ui.MessageBox(text, msgbox::kOkOnly | msgbox::kExclamation, u"");
  }
  if (m_failure) {
    m_site.ui.MessageBox(m_failure->first + u"\r\n" + m_failure->second,
                         msgbox::kOkOnly | msgbox::kCritical, u"");
  }
}

}  // namespace velmaris
