// The office importers of OfficeImport on a real headless LibreOffice and the real loop, against
// the reference content server. The documents are made at test time from the flat sources in
// tests/data/office by a separate office, in the formats users bring.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "controls/office/office_import.h"
#include "tests/support/error_of.h"
#include "tests/support/integration_world.h"
#include "tests/support/office_suite.h"

namespace velmaris {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using testing::Contains;
using testing::ErrorOf;
using testing::Field;
using testing::PictureSources;
using testing::ReadFile;
using testing::U16;

// The suite's office, lent to each test's control.
class LentOffice : public OfficeAutomation {
 public:
  explicit LentOffice(OfficeAutomation& office) : m_office(office) {}
  std::shared_ptr<OfficeApplication> GetObject(std::u16string_view program_id) override {
    return m_office.GetObject(program_id);
  }
  std::shared_ptr<OfficeApplication> CreateObject(std::u16string_view program_id) override {
    return m_office.CreateObject(program_id);
  }

 private:
  OfficeAutomation& m_office;
};

class OfficeDocumentsTest : public testing::IntegrationTest {
 protected:
  static void SetUpTestSuite() {
    s_unavailable = LibreOfficeUnavailableReason();
    if (!s_unavailable.empty()) return;
    s_suite = new testing::OfficeSuite("documents");
    // Started now, with a temporary folder of the suite's: the office keeps the one it starts
    // with, and each test's own goes with the test.
    const fs::path office_temp = s_suite->Dir() / "office-temp";
    fs::create_directories(office_temp);
    testing::ScopedEnv temp("TEMP", office_temp.c_str());
    testing::ScopedEnv tmpdir("TMPDIR", office_temp.c_str());
    s_suite->Office().CreateObject(office::kWordProgramId);
  }
  static void TearDownTestSuite() {
    delete s_suite;  // ends the office it started
    s_suite = nullptr;
  }

  void SetUp() override {
    if (!s_unavailable.empty()) GTEST_SKIP() << s_unavailable;
    platform.office = [] { return std::make_unique<LentOffice>(s_suite->Office()); };
    control = std::make_unique<OfficeImport>(platform);
    control->Init(server.Url("/cms/upload.asp"), server.Url("/cms/savepost.asp"), u"2024/春", 7,
                  u"编辑部");
  }

  // `source` (below tests/data/office) converted into `format`, then copied to `name` in the
  // test's own folder.
  fs::path Document(const std::string& source, const std::string& format, const std::string& name) {
    const fs::path target = files.Path() / name;
    fs::copy_file(s_suite->Converted(source, format), target, fs::copy_options::overwrite_existing);
    return target;
  }

  // The working folder holds nothing of the import afterwards.
  void ExpectNothingLeft() const {
    const fs::path work = temp.Path() / "doc2html";
    if (!fs::exists(work)) return;
    for (const auto& entry : fs::directory_iterator(work)) {
      ADD_FAILURE() << "left behind: " << entry.path();
    }
  }

  std::unique_ptr<OfficeImport> control;

  static inline std::string s_unavailable;
  static inline testing::OfficeSuite* s_suite = nullptr;
};

TEST_F(OfficeDocumentsTest, WordDocumentsPageByPageAndWhole) {
  const std::string texts[] = {"第一页：春天的故事", "第二页：夏天的故事", "第三页：秋天的故事"};
  const struct {
    const char* name;
    const char* format;
    bool by_page;
    size_t pages;
  } cases[] = {
      {"三页文档.doc", "doc", true, 3},
      {"三页文档.docx", "docx", true, 3},
      {"整篇.doc", "doc", false, 1},
  };
  int articles = 0;
  size_t uploads = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = Document("fixtures/three_pages.fodt", c.format, c.name);
    const std::string bytes = ReadFile(file);
    const std::u16string path = U16(file);
    EXPECT_EQ(c.by_page ? control->ImportDocFile(path, u"7", u"编辑部")
                        : control->ImportDocFileOnePage(path, u"7", u"编辑部"),
              1);

    const Json article = server.Article(++articles);
    EXPECT_EQ(article["title"], fs::path(c.name).stem().string());
    ASSERT_EQ(article["pages"].size(), c.pages);
    std::string all;
    for (size_t i = 0; i < c.pages; ++i) {
      const std::string page = article["pages"][i];
      all += page;
      if (c.pages == 3) {
        for (size_t other = 0; other < 3; ++other) {
          EXPECT_EQ(Contains(page, texts[other]), other == i) << i << "/" << other;
        }
      }
    }
    for (const auto& text : texts) EXPECT_TRUE(Contains(all, text)) << text;

    // The picture of page 2 went up as the document's, its address in place of its source.
    const auto sent = server.Uploads();
    ASSERT_EQ(sent.size(), ++uploads);
    EXPECT_EQ(Field(sent.back(), "contentid"), "-1");
    EXPECT_EQ(Field(sent.back(), "curPath"), "2024/春/");
    const std::string address = "/files/" + sent.back()["files"][0]["stored"].get<std::string>();
    EXPECT_EQ(PictureSources(all), std::vector<std::string>{address});
    EXPECT_TRUE(fs::is_regular_file(server.Root() / address.substr(1)));

    EXPECT_EQ(ReadFile(file), bytes) << "the document on disk changed";
    ExpectNothingLeft();
  }

  const fs::path single = Document("fixtures/one_page.fodt", "doc", "通知.doc");
  EXPECT_EQ(control->ImportDocFile(U16(single), u"7", u"编辑部"), 1);
  const Json article = server.Article(++articles);
  EXPECT_EQ(article["title"], "通知");
  ASSERT_EQ(article["pages"].size(), 1u);
  EXPECT_TRUE(Contains(article["pages"][0], "只有一页的通知"));
  EXPECT_TRUE(Contains(article["pages"][0], "Notice")) << article.dump();
}

TEST_F(OfficeDocumentsTest, WhatIsNotADocumentFailsAndLeavesNothing) {
  const fs::path broken = files.Write("坏文件.doc", "PK\x03\x04 not really an archive");
  const struct {
    const char* name;
    std::u16string path;
    int32_t number;
  } cases[] = {
      {"broken archive", U16(broken), office::kErrAutomation},
      {"missing file", U16(files.Path() / "没有.doc"), err::kFileNotFound},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (bool by_page : {true, false}) {
      const VbError error = ErrorOf([&] {
        by_page ? control->ImportDocFile(c.path, u"7", u"u")
                : control->ImportDocFileOnePage(c.path, u"7", u"u");
      });
      EXPECT_EQ(error.Number(), c.number);
      EXPECT_FALSE(error.Description().empty());
      EXPECT_EQ(server.ArticleCount(), 0u);
      ExpectNothingLeft();
    }
  }
  // The office is still there for the next document.
  EXPECT_EQ(control->ImportDocFileOnePage(U16(Document("fixtures/one_page.fodt", "doc", "a.doc")),
                                          u"7", u"u"),
            1);
}

TEST_F(OfficeDocumentsTest, WorkbookSheetsAsPagesWithBorders) {
  const fs::path file = Document("import/annual_book.fods", "xls", "年报.xls");
  EXPECT_EQ(control->ImportXlsFile(U16(file), u"7", u"编辑部"), 1);

  const Json article = server.Article(1);
  EXPECT_EQ(article["title"], "年度销售");
  ASSERT_EQ(article["pages"].size(), 3u);
  const std::string sales = article["pages"][0];
  const std::string picture = article["pages"][1];
  const std::string note = article["pages"][2];
  for (const char* text : {"第一季度", "华东", "140"}) EXPECT_TRUE(Contains(sales, text)) << text;
  EXPECT_TRUE(Contains(sales, "<table cellspacing=\"0\" borderColor=#000000 border=1>")) << sales;
  EXPECT_FALSE(Contains(sales + picture + note, "border=\"0\""));
  EXPECT_TRUE(Contains(note, "数据截至六月底"));
  EXPECT_FALSE(Contains(sales, "数据截至六月底"));

  const auto sent = server.Uploads();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(Field(sent[0], "contentid"), "0");
  EXPECT_EQ(PictureSources(picture),
            std::vector<std::string>{"/files/" + sent[0]["files"][0]["stored"].get<std::string>()});
  ExpectNothingLeft();
}

TEST_F(OfficeDocumentsTest, PresentationSlidesByTheirLanguage) {
  const struct {
    const char* source;
    const char* format;
    const char* name;
    const char* word;
  } cases[] = {
      {"import/slides_en.fodp", "ppt", "Results.ppt", "Slide"},
      {"import/slides_en.fodp", "pptx", "Results.pptx", "Slide"},
      // The office reads a presentation's own language from its open format only; from .ppt and
      // .pptx files it takes its own default.
      {"fixtures/slides.fodp", "odp", "季度汇报.odp", "幻灯片"},
  };
  control->GetForm()[u"txtWidth"].SetText(u"640");
  control->GetForm()[u"txtHeight"].SetText(u"480");
  int articles = 0;
  size_t uploads = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = Document(c.source, c.format, c.name);
    EXPECT_EQ(control->ImportPPTFile(U16(file), u"7", u"编辑部"), 1);

    const Json article = server.Article(++articles);
    EXPECT_EQ(article["title"], c.name);
    ASSERT_EQ(article["pages"].size(), 2u);
    const auto sent = server.Uploads();
    ASSERT_EQ(sent.size(), uploads + 2);
    for (size_t n = 0; n < 2; ++n) {
      const Json& upload = sent[uploads + n];
      // The slides are named in the presentation's language; where the server stored them is
      // its own choice, since every deck's slides share those names.
      const std::string sent_name = upload["files"][0]["filename"];
      EXPECT_EQ(fs::path(sent_name).filename(),
                std::string(c.word) + std::to_string(n + 1) + ".jpg");
      const std::string stored = upload["files"][0]["stored"];
      EXPECT_EQ(fs::path(stored).parent_path(), "2024/春");
      EXPECT_EQ(ReadFile(server.Root() / "files" / stored).substr(0, 2), "\xFF\xD8");
      EXPECT_EQ(article["pages"][n],
                "<img src=\"/files/" + stored + "\" width=\"640\" height=\"480\">");
    }
    uploads += 2;
    ExpectNothingLeft();
  }
}

}  // namespace
}  // namespace velmaris
