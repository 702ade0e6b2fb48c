// A real headless office for one test suite, and what its tests share: documents made at test time
// from the flat sources in tests/data/office, and reading the HTML the office writes.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/libreoffice/libreoffice_automation.h"
#include "platform/office_automation.h"
#include "tests/support/temp_dir.h"

namespace velmaris::testing {

class OfficeSuite {
 public:
  // The suite's office, named `name` for its profile and pipe; it starts on first use and ends
  // with the suite.
  explicit OfficeSuite(const std::string& name);

  OfficeAutomation& Office() const { return *m_office; }
  const std::filesystem::path& Dir() const { return m_dir.Path(); }
  // A profile and a pipe of this test process, so that parallel runs never meet.
  LibreOfficeOptions Options(const std::string& name) const;
  // A copy of `source` (below tests/data/office): the office must never touch the source tree.
  std::filesystem::path Source(const std::string& source) const;
  // `source` converted into `format` by a separate office (the suite's would end after taking
  // such a request over); converted once per run.
  std::filesystem::path Converted(const std::string& source, const std::string& format) const;

 private:
  TempDir m_dir;
  // After the folder, so that the office ends before its profile goes.
  std::unique_ptr<OfficeAutomation> m_office;
};

std::u16string U16(const std::filesystem::path& path);
bool Contains(const std::string& text, const std::string& part);
// The src values of the img tags of an HTML text.
std::vector<std::string> PictureSources(const std::string& html);

}  // namespace velmaris::testing
