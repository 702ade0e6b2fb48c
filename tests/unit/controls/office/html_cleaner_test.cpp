#include "controls/office/html_cleaner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/codepage.h"
#include "base/error.h"
#include "tests/support/temp_dir.h"

namespace velmaris {
namespace {

namespace fs = std::filesystem;
using codepage::FromUtf8;
using codepage::ToUtf8;

// Answers the n-th call with "/files/pic<n>.jpg" and records every call as "contentid\tpath\n".
struct FakeUploader {
  std::string calls;
  int count = 0;
  int fail_at = 0;

  HtmlCleaner::PictureUpload Callback() {
    return [this](const std::u16string& local_path, int32_t contentid) {
      ++count;
      calls += std::to_string(contentid) + "\t" + ToUtf8(local_path) + "\n";
      if (count == fail_at) Raise(err::kPathFileAccess);
      return u"/files/pic" + FromUtf8(std::to_string(count)) + u".jpg";
    };
  }
};

struct Vector {
  std::string name;
  std::string input, body, title, uploads;
  std::map<std::string, std::string> settings;

  std::string Setting(const std::string& key, const std::string& fallback) const {
    auto found = settings.find(key);
    return found == settings.end() ? fallback : found->second;
  }
};

std::vector<Vector> LoadVectors() {
  std::vector<Vector> vectors;
  const fs::path root = fs::path(VELMARIS_SOURCE_DIR) / "tests/data/cleaner";
  for (const auto& entry : fs::directory_iterator(root)) {
    if (!entry.is_directory()) continue;
    Vector v;
    v.name = entry.path().filename().string();
    auto read = [&](const char* file) {
      fs::path path = entry.path() / file;
      return fs::exists(path) ? testing::ReadFile(path) : std::string();
    };
    v.input = read("input.html");
    v.body = read("body.html");
    v.title = read("title.txt");
    v.uploads = read("uploads.txt");
    std::string text = read("case.txt");
    for (size_t at = 0; at < text.size();) {
      size_t end = text.find('\n', at);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(at, end - at);
      at = end + 1;
      size_t eq = line.find('=');
      if (line.empty() || line[0] == '#' || eq == std::string::npos) continue;
      v.settings[line.substr(0, eq)] = line.substr(eq + 1);
    }
    vectors.push_back(std::move(v));
  }
  std::sort(vectors.begin(), vectors.end(),
            [](const Vector& a, const Vector& b) { return a.name < b.name; });
  return vectors;
}

struct Outcome {
  std::string body, title, uploads;
  std::optional<int32_t> error;
};

Outcome CleanVector(const HtmlCleaner& cleaner, FakeUploader& uploader, const Vector& v) {
  CleanerSettings settings;
  settings.work_dir = FromUtf8(v.Setting("work_dir", "C:\\doc2html\\"));
  settings.picture_contentid = std::stoi(v.Setting("contentid", "0"));
  settings.clean_html = v.Setting("clean_html", "1") == "1";
  settings.prior_title = FromUtf8(v.Setting("initial_title", ""));
  uploader.calls.clear();
  uploader.count = 0;
  uploader.fail_at = std::stoi(v.Setting("fail_upload", "0"));
  Outcome outcome;
  CleanResult result;
  try {
    result = cleaner.Clean(FromUtf8(v.input), settings);
  } catch (const CleanFailure& failure) {
    outcome.error = failure.Number();
    result = failure.Partial();
  }
  outcome.body = ToUtf8(result.body);
  outcome.title = ToUtf8(result.title);
  outcome.uploads = uploader.calls;
  return outcome;
}

TEST(HtmlCleanerVectors, EachCaseGivesItsBodyTitleAndUploads) {
  auto vectors = LoadVectors();
  ASSERT_GE(vectors.size(), 30u);
  for (const auto& v : vectors) {
    SCOPED_TRACE(v.name);
    FakeUploader uploader;
    HtmlCleaner cleaner(uploader.Callback(), [](const CleanProgress&) {});
    Outcome outcome = CleanVector(cleaner, uploader, v);
    EXPECT_EQ(outcome.body, v.body);
    EXPECT_EQ(outcome.title, v.title);
    EXPECT_EQ(outcome.uploads, v.uploads);
    std::string error = v.Setting("error", "");
    EXPECT_EQ(outcome.error.has_value() ? std::to_string(*outcome.error) : "", error);
  }
}

// Every vector again on one cleaner, twice, counting yields: the cleaner yields once per token,
// each time with a consistent state (the body only grows, the scan only moves forward), and a
// second run starts from scratch.
TEST(HtmlCleanerVectors, YieldsOncePerTokenAndRunsAgainFromScratch) {
  FakeUploader uploader;
  int yields = 0;
  std::vector<std::u16string> bodies;
  std::vector<int32_t> positions;
  const HtmlCleaner cleaner(uploader.Callback(), [&](const CleanProgress& progress) {
    ++yields;
    bodies.push_back(std::u16string(progress.body));
    positions.push_back(progress.position);
  });
  for (const auto& v : LoadVectors()) {
    SCOPED_TRACE(v.name);
    for (int run = 0; run < 2; ++run) {
      yields = 0;
      bodies.clear();
      positions.clear();
      Outcome outcome = CleanVector(cleaner, uploader, v);
      EXPECT_EQ(outcome.body, v.body);
      EXPECT_EQ(outcome.title, v.title);
      std::string expected = v.Setting("yields", "");
      if (!expected.empty()) {
        EXPECT_EQ(yields, std::stoi(expected));
      }
      const std::u16string body = FromUtf8(outcome.body);
      for (size_t i = 0; i < bodies.size(); ++i) {
        EXPECT_EQ(body.compare(0, bodies[i].size(), bodies[i]), 0) << "yield " << i;
        if (i > 0) {
          EXPECT_GT(positions[i], positions[i - 1]) << "yield " << i;
        }
      }
    }
  }
}

// One scanned tag: its name, its text and its attributes ("key=value|..."), and where the scan
// stands afterwards.
TEST(HtmlCleanerNextTag, ScansOneTagAsWritten) {
  const struct {
    const char* source;
    int32_t start;
    const char* name;
    const char* source_html;
    const char* attributes;
    int32_t scan_pos;
  } cases[] = {
      {"text <P Align=Center>", 1, "p", "<P Align=Center>", "align=Center", 6},
      {"<a href=\"x>y\">", 1, "a", "<a href=\"x>y\">", "href=x>y", 1},
      {"<a title='say \"hi\"'>", 1, "a", "<a title='say \"hi\"'>", "title=say \"hi\"", 1},
      {"<a b='\"c'>", 1, "a", "<a b='\"c'>", "b=c", 1},
      {"<td nowrap width=1>", 1, "td", "<td nowrap width=1>", "nowrap=|width=1", 1},
      {"<td width=1 WIDTH=\"2\" x>", 1, "td", "<td width=1 WIDTH=\"2\" x>", "width=2|x=", 1},
      {"<br />", 1, "br", "<br />", "/=", 1},
      {"<img src=\"a.png\"/>", 1, "img", "<img src=\"a.png\"/>", "src=a.png|/=", 1},
      {"<br/>", 1, "br/", "<br/>", "", 1},
      {"<p a = \"b\">", 1, "p", "<p a = \"b\">", "a=|=|\"b=", 1},
      {"<p\ta=1\r\nb=2\n>", 1, "p", "<p\ta=1\r\nb=2\n>", "a=1|b=2", 1},
      {"<p a=\"x\ny\">", 1, "p", "<p a=\"x\ny\">", "a=x\ny", 1},
      {"<p a=\"\">", 1, "p", "<p a=\"\">", "a=", 1},
      {"<P a=1 <B c=2>", 1, "<b", "<P a=1 <B c=2>", "a=1|c=2", 1},
      {"<>", 1, "", "<>", "", 1},
      {"<!-- a > b --> c", 1, "!--", "<!-- a > b -->", "", 1},
      {"<!-->x-->", 1, "!--", "<!-->x-->", "", 1},
      {"<!-- open", 1, "!--", "<!-- open", "", 1},
      {"<![if !vml]>", 1, "![if", "<![if !vml]>", "!vml]=", 1},
      {"<?xml version=\"1.0\"?>", 1, "?xml", "<?xml version=\"1.0\"?>", "version=1.0|?=", 1},
      {"ab<p>cd<q>", 4, "q", "<q>", "", 8},
      {"no tag here", 3, "", "", "", 3},
      {"ab <p class=\"open", 1, "p", "", "", 4},
      {"ab <p <<", 1, "", "", "", 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source);
    int32_t scan_pos = c.start;
    Tag tag = NextTag(FromUtf8(c.source), scan_pos);
    std::string attributes;
    for (const auto& [key, value] : tag.dicAtt) {
      attributes += (attributes.empty() ? "" : "|") + ToUtf8(key) + "=" + ToUtf8(value);
    }
    if (tag.SourceHTML.empty()) {
      // An incomplete tag: only the scan position matters.
      EXPECT_EQ(std::string(c.source_html), "");
    } else {
      EXPECT_EQ(ToUtf8(tag.TagName()), c.name);
      EXPECT_EQ(ToUtf8(tag.SourceHTML), c.source_html);
      EXPECT_EQ(attributes, c.attributes);
    }
    EXPECT_EQ(scan_pos, c.scan_pos);
  }
}

TEST(HtmlCleanerTag, NamesAreLowerCaseAndAttributesKeepTheirFirstPlace) {
  Tag tag;
  tag.TagName(u"V:ImageData");
  EXPECT_EQ(tag.pTagName, u"v:imagedata");
  tag.pTagName = u"IMG";
  EXPECT_EQ(tag.TagName(), u"img");

  // Past a handful of keys the store switches to an index; order and lookups must not change.
  std::vector<std::u16string> expected;
  for (int i = 0; i < 20; ++i) {
    std::u16string key = u"K" + FromUtf8(std::to_string(i));
    tag.SetAttribute(key, u"first");
    expected.push_back(u"k" + FromUtf8(std::to_string(i)));
  }
  tag.SetAttribute(u"k3", u"second");
  tag.SetAttribute(u"K15", u"second");
  EXPECT_EQ(tag.GetAttribute(u"K3"), u"second");
  EXPECT_EQ(tag.GetAttribute(u"k15"), u"second");
  EXPECT_EQ(tag.GetAttribute(u"k0"), u"first");
  // Reading a missing name adds it, empty, at the end.
  EXPECT_EQ(tag.GetAttribute(u"Missing"), u"");
  expected.push_back(u"missing");
  std::vector<std::u16string> keys;
  for (const auto& entry : tag.dicAtt) keys.push_back(entry.first);
  EXPECT_EQ(keys, expected);
  // The store itself compares keys exactly.
  EXPECT_TRUE(tag.dicAtt.Exists(u"k3"));
  EXPECT_FALSE(tag.dicAtt.Exists(u"K3"));

  Tag copy = tag;
  copy.SetAttribute(u"k19", u"copied");
  EXPECT_EQ(copy.GetAttribute(u"k19"), u"copied");
  EXPECT_EQ(tag.GetAttribute(u"k19"), u"first");
}

// Which picture sources reach the uploader, and as which local path.
TEST(HtmlCleanerPictures, OnlyPicturesInsideTheWorkingFolderAreUploaded) {
  const char* kWord = "C:\\doc2html\\";
  const char* kSlides = "C:\\ppt\\slides";
  const char* kPosix = "/tmp/doc2html/";
  const struct {
    const char* work_dir;
    const char* src;
    const char* local;  // nullptr: refused as a missing file
  } cases[] = {
      {kWord, "image001.png", "C:\\doc2html\\image001.png"},
      {kWord, "doc.files/image001.png", "C:\\doc2html\\doc.files\\image001.png"},
      {kWord, "./doc.files/./a.png", "C:\\doc2html\\doc.files\\a.png"},
      {kWord, "doc.files/../a.png", "C:\\doc2html\\doc.files\\.a.png"},  // "./" goes first
      {kWord, "a\\b\\..\\c.png", "C:\\doc2html\\a\\b\\..\\c.png"},
      {kWord, "年度报告.files/图.png", "C:\\doc2html\\年度报告.files\\图.png"},
      {kSlides, "\\Slide1.png", "C:\\ppt\\slides\\Slide1.png"},
      {kSlides, "/Slide1.png", "C:\\ppt\\slides\\Slide1.png"},
      {kPosix, "a.png", "/tmp/doc2html/a.png"},
      {"", "a.png", "a.png"},
      {kWord, "..\\secret.png", nullptr},
      {kWord, "a\\..\\..\\secret.png", nullptr},
      {kWord, "../secret.png", "C:\\doc2html\\.secret.png"},
      {kWord, "/etc/passwd", nullptr},
      {kWord, "\\etc\\passwd", nullptr},
      {kWord, "//server/share/a.png", nullptr},
      {kWord, "C:\\Windows\\a.png", nullptr},
      {kWord, "c:a.png", nullptr},
      {kWord, "http://example.com/a.png", nullptr},
      {kWord, "file:///etc/passwd", nullptr},
      {kWord, "data:image/png;base64,AAAA", nullptr},
      {kWord, "", nullptr},
      {kWord, ".", nullptr},
      {kWord, "a\\..", nullptr},
      {kSlides, "Slide1.png", nullptr},  // would name "slidesSlide1.png" beside the folder
      {kSlides, "\\\\Slide1.png", nullptr},
      {kSlides, "\\..\\x.png", nullptr},
      {kPosix, "/etc/passwd", nullptr},
      {"", "/etc/passwd", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.work_dir) + " + " + c.src);
    FakeUploader uploader;
    const HtmlCleaner cleaner(uploader.Callback());
    CleanerSettings settings;
    settings.work_dir = FromUtf8(c.work_dir);
    settings.picture_contentid = -1;
    const std::u16string src = FromUtf8(c.src);
    if (c.local != nullptr) {
      EXPECT_EQ(cleaner.UploadPicture(src, settings), u"/files/pic1.jpg");
      EXPECT_EQ(uploader.calls, std::string("-1\t") + c.local + "\n");
    } else {
      try {
        cleaner.UploadPicture(src, settings);
        ADD_FAILURE() << "uploaded";
      } catch (const VbError& error) {
        EXPECT_EQ(error.Number(), err::kFileNotFound);
      }
      EXPECT_EQ(uploader.calls, "");
    }
  }
}

// With cleaning off a style attribute keeps its declarations that are not the office
// application's own; with cleaning on it always goes.
TEST(HtmlCleanerStyles, KeepsOnlyNonOfficeDeclarationsWhenCleaningIsOff) {
  const struct {
    bool clean;
    const char* tag;
    const char* rebuilt;
  } cases[] = {
      {true, "<p style='color:red' align=left>", "<p align=\"left\">"},
      {false, "<p style='color:red' align=left>", "<p style=\"color:red;\" align=\"left\">"},
      {false, "<p align=left style='mso-a:1;color:red;mso-b:2'>",
       "<p align=\"left\" style=\"color:red;\">"},
      {false, "<p style='mso-a:1'>", "<p>"},
      {false, "<p style=''>", "<p>"},
      {false, "<p style=' ; ;'>", "<p>"},
      {false, "<p style='margin:0;;  padding:1pt ;'>", "<p style=\"margin:0;padding:1pt;\">"},
      {false, "<p style='font-size:10pt;Mso-Fareast:x;MSO-BIDI:y'>",
       "<p style=\"font-size:10pt;\">"},
      {false, "<p style='font-family:\r\n\"Times New Roman\"'>",
       "<p style=\"font-family: &quot;Times New Roman&quot;;\">"},
      {false, "<p style='font-family:宋体;mso-ascii:x'>", "<p style=\"font-family:宋体;\">"},
      {false, "<p class=x lang=en v:y=z style='color:red'>", "<p style=\"color:red;\">"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tag);
    CleanerSettings settings;
    settings.clean_html = c.clean;
    // The tag alone in a body comes out as the body.
    const CleanResult result = HtmlCleaner(nullptr).Clean(u"<body>" + FromUtf8(c.tag), settings);
    EXPECT_EQ(ToUtf8(result.body), c.rebuilt);
  }
}

// Hostile sources of a few million characters: each must finish in one pass (a quadratic step
// would take hours here and trip the test's time limit) and give the outcome the rules say.
TEST(HtmlCleanerRobustness, HostileSourcesStayOnePass) {
  const size_t n = 1 << 20;
  auto repeat = [](const std::u16string& piece, size_t count) {
    std::u16string out;
    out.reserve(piece.size() * count);
    for (size_t i = 0; i < count; ++i) out += piece;
    return out;
  };
  std::u16string many_names;
  for (size_t i = 0; i < n / 4; ++i) many_names += u"a" + FromUtf8(std::to_string(i)) + u" ";
  const struct {
    const char* what;
    std::u16string source;
    size_t body_size;
    size_t title_size;
  } cases[] = {
      {"< storm", u"<title>t</title><body>x" + repeat(u"<", n), 1, 1},
      {"unterminated quote", u"<title>t</title><body>x<p a=\"" + repeat(u"y>", n), 1, 1},
      {"unterminated comment", u"<title>t</title><body>x<!--" + repeat(u"<p>", n), 1, 1},
      {"names without values",
       u"<title>t</title><body><p " + repeat(u"a ", n) + u"b=" + repeat(u"c", n) + u">", 13 + n, 1},
      {"many distinct names", u"<title>t</title><body><p " + many_names + u"></body>",
       3 + many_names.size() + 3 * (n / 4), 1},
      {"unclosed title", u"<title>" + repeat(u"<b>x</b>", n), 0, 0},
      {"skipped elements", repeat(u"<script>if(a<b)x();</SCRIPT><p>", n) + u"<style>", 0, 0},
      {"empty tags", u"<title>t</title><body>" + repeat(u"<>", n), 2 * n, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const CleanResult result = HtmlCleaner(nullptr).Clean(c.source, CleanerSettings());
    EXPECT_EQ(result.body.size(), c.body_size);
    EXPECT_EQ(result.title.size(), c.title_size);
  }
}

TEST(HtmlCleanerErrors, UploadErrorLeavesTheBodyProducedSoFar) {
  FakeUploader uploader;
  uploader.fail_at = 1;
  int yields = 0;
  const HtmlCleaner cleaner(uploader.Callback(), [&](const CleanProgress&) { ++yields; });
  CleanerSettings settings;
  settings.work_dir = u"C:\\doc2html\\";
  CleanResult partial;
  try {
    cleaner.Clean(u"<body><p>Title</p>text <IMG src=a.png> after</body>", settings);
    ADD_FAILURE() << "no error";
  } catch (const CleanFailure& failure) {
    EXPECT_EQ(failure.Number(), err::kPathFileAccess);
    partial = failure.Partial();
  }
  EXPECT_EQ(partial.body, u"<p></p>text ");
  EXPECT_EQ(partial.title, u"Title");
  EXPECT_EQ(yields, 3);
}

}  // namespace
}  // namespace velmaris
