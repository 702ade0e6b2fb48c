#include "tests/support/office_suite.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <regex>

#include "base/codepage.h"
#include "platform/libreoffice/export_layout.h"

namespace velmaris::testing {

namespace fs = std::filesystem;

OfficeSuite::OfficeSuite(const std::string& name)
    : m_office(MakeLibreOfficeAutomation(Options(name))) {}

LibreOfficeOptions OfficeSuite::Options(const std::string& name) const {
  LibreOfficeOptions options;
  options.profile_dir = Dir() / ("profile-" + name);
  options.pipe_name = "velmaris_test_" + std::to_string(getpid()) + "_" + name;
  return options;
}

fs::path OfficeSuite::Source(const std::string& source) const {
  const fs::path copy = Dir() / "sources" / source;
  if (!fs::exists(copy)) {
    fs::create_directories(copy.parent_path());
    fs::copy_file(fs::path(VELMARIS_SOURCE_DIR) / "tests/data/office" / source, copy);
  }
  return copy;
}

fs::path OfficeSuite::Converted(const std::string& source, const std::string& format) const {
  const fs::path out = Dir() / "converted" / format;
  const fs::path result = out / fs::path(source).filename().replace_extension(format);
  if (fs::exists(result)) return result;
  const std::string command =
      "'" + (LibreOfficeOptions::DefaultProgramDir() / "soffice").string() +
      "' -env:UserInstallation=" + libreoffice::FileUrl(Dir() / "convert-profile") +
      " --headless --norestore --convert-to " + format + " --outdir '" + out.string() + "' '" +
      Source(source).string() + "' >/dev/null 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  EXPECT_TRUE(fs::exists(result)) << command;
  return result;
}

std::u16string U16(const fs::path& path) {
  return codepage::FromUtf8(path.string());
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::vector<std::string> PictureSources(const std::string& html) {
  static const std::regex kImg(R"re(<img[^>]*\bsrc="([^"]*)")re", std::regex::icase);
  std::vector<std::string> sources;
  for (std::sregex_iterator it(html.begin(), html.end(), kImg), end; it != end; ++it) {
    sources.push_back((*it)[1]);
  }
  return sources;
}

}  // namespace velmaris::testing
