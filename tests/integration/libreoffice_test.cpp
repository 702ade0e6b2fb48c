// The office applications on a real headless LibreOffice: documents made at test time from the
// flat sources in tests/data/office/fixtures, converted to the formats the importers meet, then
// driven through the automation objects exactly as the importers drive them.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <fstream>

#include "base/codepage.h"
#include "base/error.h"
#include "platform/libreoffice/export_layout.h"
#include "platform/libreoffice/language_id.h"
#include "platform/libreoffice/libreoffice_automation.h"
#include "platform/libreoffice/office_pipe.h"
#include "platform/libreoffice/table_grid.h"
#include "platform/office_automation.h"
#include "tests/support/error_of.h"
#include "tests/support/office_suite.h"

namespace velmaris {
namespace {

namespace fs = std::filesystem;
using libreoffice::FileUrl;
using testing::Contains;
using testing::ErrorOf;
using testing::PictureSources;
using testing::ReadFile;
using testing::U16;

class LibreOfficeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_unavailable = LibreOfficeUnavailableReason();
    if (s_unavailable.empty()) s_suite = new testing::OfficeSuite("suite");
  }

  static void TearDownTestSuite() {
    delete s_suite;  // ends the office it started
    s_suite = nullptr;
  }

  void SetUp() override {
    if (!s_unavailable.empty()) GTEST_SKIP() << s_unavailable;
    work = s_suite->Dir() / ("doc2html-" + std::to_string(++s_counter));
    fs::create_directories(work);
  }

  static fs::path Fixture(const std::string& name) { return s_suite->Source("fixtures/" + name); }
  static fs::path Converted(const std::string& name, const std::string& format) {
    return s_suite->Converted("fixtures/" + name, format);
  }

  // A reserved temporary name in the working folder, as the importers make one.
  fs::path TempName(const std::string& name) const {
    std::ofstream(work / name).flush();
    return work / name;
  }

  template <class App>
  std::shared_ptr<App> Start() {
    return OfficeCast<App>(s_suite->Office().CreateObject(App::kProgramId));
  }

  fs::path work;

  static inline std::string s_unavailable;
  static inline testing::OfficeSuite* s_suite = nullptr;
  static inline int s_counter = 0;
};

TEST_F(LibreOfficeTest, WordSplitsPagesThroughTheSelection) {
  const fs::path source_file = Converted("three_pages.fodt", "doc");
  const std::string source_bytes = ReadFile(source_file);
  auto word = Start<WordApplication>();
  word->SetDisplayAlerts(office::kWdAlertsNone);
  auto source = word->OpenDocument(U16(source_file));
  word->SetActiveWindowViewType(office::kWdPrintView);
  source->Repaginate();
  ASSERT_EQ(source->BuiltInDocumentProperty(office::kWdPropertyPages), 3);
  const std::string texts[] = {"第一页：春天的故事", "第二页：夏天的故事", "第三页：秋天的故事"};

  {
    // A page beyond the last one is the last page.
    auto probe = word->AddDocument();
    auto selection = source->Selection();
    selection->GoTo(office::kWdGoToPage, 9);
    selection->EndKey(office::kWdStory, office::kWdExtend);
    selection->Copy();
    probe->Selection()->Paste();
    const fs::path probe_file = TempName("htmlZZ99.tmp");
    probe->SaveAs(U16(probe_file), office::kWdFormatHtml);
    probe->Close();
    const std::string html = ReadFile(probe_file);
    EXPECT_TRUE(Contains(html, texts[2]));
    EXPECT_FALSE(Contains(html, texts[1]));
  }

  const fs::path temp = TempName("htmlAB12.tmp");
  for (int page = 3; page >= 1; --page) {
    SCOPED_TRACE(page);
    auto page_document = word->AddDocument();
    page_document->Selection()->GoTo(office::kWdGoToPage, 1);
    page_document->Selection()->EndKey(office::kWdStory, office::kWdExtend);
    auto selection = source->Selection();
    selection->GoTo(office::kWdGoToPage, page);
    selection->EndKey(office::kWdStory, office::kWdExtend);
    selection->Copy();
    page_document->Selection()->Paste();
    selection->Delete();
    page_document->SaveAs(U16(temp), office::kWdFormatHtml);

    const std::string html = ReadFile(temp);
    for (int other = 1; other <= 3; ++other) {
      EXPECT_EQ(Contains(html, texts[other - 1]), other == page) << other;
    }
    const auto sources = PictureSources(html);
    ASSERT_EQ(sources.size(), page == 2 ? 1u : 0u) << html;
    for (const auto& src : sources) {
      EXPECT_EQ(src.rfind("htmlAB12.files/", 0), 0u) << src;
      EXPECT_TRUE(fs::is_regular_file(work / src)) << src;
    }
    page_document->Close();
  }
  source->Close(false);
  EXPECT_EQ(ReadFile(source_file), source_bytes) << "the source on disk changed";
}

TEST_F(LibreOfficeTest, WordSavesAWholeDocumentAsHtml) {
  const struct {
    const char* fixture;
    int32_t pages;
    std::vector<std::string> texts;
    size_t pictures;
  } cases[] = {
      {"three_pages.fodt", 3, {"第一页：春天的故事", "第三页：秋天的故事"}, 1},
      {"one_page.fodt", 1, {"只有一页的通知", "Notice of one page"}, 0},
  };
  auto word = Start<WordApplication>();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fixture);
    auto document = word->OpenDocument(U16(Converted(c.fixture, "doc")));
    EXPECT_EQ(document->BuiltInDocumentProperty(office::kWdPropertyPages), c.pages);
    const fs::path temp = TempName("htmlCD34.tmp");
    document->SaveAs(U16(temp), office::kWdFormatHtml);
    document->Close(false);

    const std::string html = ReadFile(temp);
    EXPECT_TRUE(Contains(html, "charset=utf-8")) << html.substr(0, 300);
    // What the office writes is the user's alone.
    const auto private_file = fs::perms::owner_read | fs::perms::owner_write;
    EXPECT_EQ(fs::status(temp).permissions() & fs::perms::all, private_file);
    for (const auto& text : c.texts) EXPECT_TRUE(Contains(html, text)) << text;
    const auto sources = PictureSources(html);
    EXPECT_EQ(sources.size(), c.pictures);
    for (const auto& src : sources) {
      EXPECT_EQ(src.rfind("htmlCD34.files/", 0), 0u) << src;
      EXPECT_TRUE(fs::is_regular_file(work / src)) << src;
      EXPECT_EQ(fs::status(work / src).permissions() & fs::perms::all, private_file) << src;
    }
    // Nothing but the HTML and its picture folder is left in the working folder.
    for (const auto& entry : fs::directory_iterator(work)) {
      EXPECT_TRUE(entry.path() == temp || entry.path() == work / "htmlCD34.files") << entry.path();
    }
    fs::remove_all(work / "htmlCD34.files");
  }
}

TEST_F(LibreOfficeTest, OpenRefusesWhatIsNotADocumentOfItsKind) {
  testing::TempDir files;
  const fs::path picture = files.Write(
      "picture.doc",
      R"(<svg xmlns="http://www.w3.org/2000/svg" width="9" height="9"><rect width="9" height="9"/></svg>)");
  const fs::path broken = files.Write("broken.doc", "PK\x03\x04 not really an archive");
  auto word = Start<WordApplication>();
  auto excel = Start<ExcelApplication>();
  auto powerpoint = Start<PowerPointApplication>();
  const struct {
    const char* name;
    std::function<void()> open;
    int32_t number;
  } cases[] = {
      {"missing file", [&] { word->OpenDocument(U16(files.Path() / "missing.doc")); },
       err::kFileNotFound},
      {"picture", [&] { word->OpenDocument(U16(picture)); }, office::kErrAutomation},
      {"broken archive", [&] { word->OpenDocument(U16(broken)); }, office::kErrAutomation},
      {"text document as workbook",
       [&] { excel->OpenWorkbook(U16(Converted("one_page.fodt", "doc"))); },
       office::kErrAutomation},
      {"workbook as presentation",
       [&] { powerpoint->OpenPresentation(U16(Converted("workbook.fods", "xls"))); },
       office::kErrAutomation},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const VbError error = ErrorOf(c.open);
    EXPECT_EQ(error.Number(), c.number);
    EXPECT_FALSE(error.Description().empty());
  }
}

TEST_F(LibreOfficeTest, WorkbookSheetsAndHtml) {
  auto excel = Start<ExcelApplication>();
  auto workbook = excel->OpenWorkbook(U16(Converted("workbook.fods", "xls")));
  excel->SetDisplayAlerts(false);
  ASSERT_EQ(workbook->SheetCount(), 3);
  EXPECT_EQ(workbook->SheetName(1), u"销售");
  EXPECT_EQ(ErrorOf([&] { workbook->SheetName(4); }).Number(), err::kSubscript);

  const std::string texts[] = {"一月销售额", "仓库甲", "Grand total"};
  // Twice: the second export proves the per-sheet exports put every sheet back on view.
  for (const char* name : {"htmlEF56.tmp", "htmlGH78.tmp"}) {
    SCOPED_TRACE(name);
    const fs::path temp = TempName(name);
    workbook->SaveAs(U16(temp), office::kXlHtml, office::kXlNoChange);
    const std::string whole = ReadFile(temp);
    for (const auto& text : texts) EXPECT_TRUE(Contains(whole, text)) << text;
    for (int sheet = 1; sheet <= 3; ++sheet) {
      const std::string html = ReadFile(libreoffice::PictureFolderFor(temp) /
                                        ("sheet00" + std::to_string(sheet) + ".htm"));
      for (int other = 1; other <= 3; ++other) {
        EXPECT_EQ(Contains(html, texts[other - 1]), other == sheet) << sheet << "/" << other;
      }
    }
  }
  EXPECT_EQ(workbook->SheetCount(), 3);
  workbook->Close();
}

TEST_F(LibreOfficeTest, PresentationSlidesAsPictures) {
  const struct {
    const char* name;
    fs::path file;
    int32_t language;
    const char* word;
  } cases[] = {
      // The binary format keeps no default language of the document: the office's own applies.
      {"converted", Converted("slides.fodp", "ppt"), office::kLanguageEnglishUs, "Slide"},
      {"flat source", Fixture("slides.fodp"), office::kLanguageChinesePrc, "幻灯片"},
  };
  auto powerpoint = Start<PowerPointApplication>();
  powerpoint->SetVisible(office::kMsoTrue);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto presentation = powerpoint->OpenPresentation(U16(c.file));
    EXPECT_EQ(presentation->DefaultLanguageID(), c.language);
    ASSERT_EQ(presentation->SlideCount(), 2);
    const fs::path temp =
        TempName(std::string("html") + (c.language == 2052 ? "zh" : "en") + ".tmp");
    presentation->SaveAs(U16(temp), office::kPpSaveAsJpg);
    presentation->Close();

    const fs::path folder = fs::path(temp).replace_extension();
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++files;
    EXPECT_EQ(files, 2u);
    for (int slide = 1; slide <= 2; ++slide) {
      const std::string jpeg = ReadFile(folder / (c.word + std::to_string(slide) + ".jpg"));
      ASSERT_GT(jpeg.size(), 2u) << slide;
      EXPECT_EQ(jpeg.substr(0, 2), "\xFF\xD8") << "not a JPEG";
    }
  }
}

TEST_F(LibreOfficeTest, AttachStartAndQuit) {
  // An office of this test alone: it is ended on the way.
  auto automation = MakeLibreOfficeAutomation(s_suite->Options("quit"));
  EXPECT_EQ(ErrorOf([&] { automation->GetObject(office::kWordProgramId); }).Number(),
            office::kErrCannotCreateObject);
  EXPECT_EQ(ErrorOf([&] { automation->CreateObject(u"Access.Application"); }).Number(),
            office::kErrCannotCreateObject);

  auto started =
      OfficeCast<PowerPointApplication>(automation->CreateObject(office::kPowerPointProgramId));
  // One office plays every program; attaching finds it whichever program asks.
  auto attached = OfficeCast<WordApplication>(automation->GetObject(office::kWordProgramId));
  EXPECT_EQ(ErrorOf([&] { OfficeCast<ExcelApplication>(attached); }).Number(), err::kTypeMismatch);
  auto presentation = started->OpenPresentation(U16(Fixture("slides.fodp")));
  // Ended with the document open, the office must leave nothing beside it that would make it
  // refuse the document next time.
  EXPECT_FALSE(fs::exists(Fixture("slides.fodp").parent_path() / ".~lock.slides.fodp#"));

  started->Quit();
  EXPECT_EQ(ErrorOf([&] { presentation->SlideCount(); }).Number(), office::kErrServerUnavailable);
  EXPECT_EQ(ErrorOf([&] { attached->AddDocument(); }).Number(), office::kErrServerUnavailable);
  EXPECT_EQ(ErrorOf([&] { automation->GetObject(office::kWordProgramId); }).Number(),
            office::kErrCannotCreateObject);

  // Started again after the quit, it works as before.
  auto word = OfficeCast<WordApplication>(automation->CreateObject(office::kWordProgramId));
  auto document = word->OpenDocument(U16(Converted("one_page.fodt", "doc")));
  EXPECT_EQ(document->BuiltInDocumentProperty(office::kWdPropertyPages), 1);
  document->Close();
}

// A listening socket at `path`, as another user's office (or anything else) would leave there.
class Listener {
 public:
  explicit Listener(const fs::path& path) : m_fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.string().copy(address.sun_path, sizeof address.sun_path - 1);
    EXPECT_EQ(bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(listen(m_fd, 8), 0);
  }
  ~Listener() { close(m_fd); }
  // Whether anyone connected to it.
  bool Reached() const {
    pollfd ready{m_fd, POLLIN, 0};
    return poll(&ready, 1, 0) == 1;
  }

 private:
  int m_fd;
};

// What sits at the pipe's place decides whether anything is sent there: only a socket of ours.
// A name held by anything else gets a fresh office on a fresh name, at once.
TEST_F(LibreOfficeTest, PipeHeldByOthersIsNeverUsed) {
  const bool root = geteuid() == 0;
  using libreoffice::PipeState;
  const struct {
    const char* what;
    std::function<std::unique_ptr<Listener>(const fs::path& socket)> plant;
    PipeState state;
  } cases[] = {
      {"another user's listener",
       [&](const fs::path& socket) {
         auto listener = std::make_unique<Listener>(socket);
         // The owner check must fail: the file goes to nobody, or (without root) it is a link.
         if (root) {
           EXPECT_EQ(chown(socket.c_str(), 65534, 65534), 0);
         } else {
           fs::rename(socket, socket.string() + ".real");
           fs::create_symlink(socket.string() + ".real", socket);
         }
         return listener;
       },
       PipeState::kForeign},
      {"a link to a listener of ours",
       [&](const fs::path& socket) {
         auto listener = std::make_unique<Listener>(socket.string() + ".real");
         fs::create_symlink(socket.string() + ".real", socket);
         return listener;
       },
       PipeState::kForeign},
      {"a file",
       [&](const fs::path& socket) {
         std::ofstream(socket) << "x";
         return nullptr;
       },
       PipeState::kForeign},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    // The suite's profile: an office already running there takes the fresh pipe over.
    LibreOfficeOptions options = s_suite->Options("suite");
    options.pipe_name = s_suite->Options("taken").pipe_name + "_" + std::to_string(n++);
    const fs::path socket = libreoffice::PipeSocketPath(options.pipe_name);
    auto listener = c.plant(socket);
    EXPECT_EQ(libreoffice::CheckPipe(socket), c.state);

    auto automation = MakeLibreOfficeAutomation(options);
    EXPECT_EQ(ErrorOf([&] { automation->GetObject(office::kWordProgramId); }).Number(),
              office::kErrCannotCreateObject);
    const auto started = std::chrono::steady_clock::now();
    auto word = OfficeCast<WordApplication>(automation->CreateObject(office::kWordProgramId));
    auto document = word->OpenDocument(U16(Converted("one_page.fodt", "doc")));
    EXPECT_EQ(document->BuiltInDocumentProperty(office::kWdPropertyPages), 1);
    document->Close();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    if (listener) {
      EXPECT_FALSE(listener->Reached()) << "something was sent to a pipe not ours";
    }
    automation.reset();  // ends its office
    fs::remove(socket);
    fs::remove(socket.string() + ".real");
  }
}

TEST(OfficePipe, StatesAndNames) {
  testing::TempDir dir;
  const Listener own(dir.Path() / "own");
  fs::create_directory(dir.Path() / "folder");
  EXPECT_EQ(libreoffice::CheckPipe(dir.Path() / "own"), libreoffice::PipeState::kOurs);
  EXPECT_EQ(libreoffice::CheckPipe(dir.Path() / "missing"), libreoffice::PipeState::kMissing);
  EXPECT_EQ(libreoffice::CheckPipe(dir.Path() / "folder"), libreoffice::PipeState::kForeign);

  EXPECT_EQ(libreoffice::PipeSocketPath("p").filename().string(),
            "OSL_PIPE_" + std::to_string(geteuid()) + "_p");
  const std::string a = libreoffice::FreshPipeName();
  EXPECT_EQ(a.size(), 9u + 32u);
  EXPECT_NE(a, libreoffice::FreshPipeName());
  // As the office named a profile's pipe (two of its bytes are below 16).
  EXPECT_EQ(libreoffice::ProfilePipeName("/tmp/loprobe-v8f1"),
            "SingleOfficeIPC_a1f5a2f54fc325d9e50f0208492976");
}

// The parts that need no office.

TEST(OfficeExportLayout, RewritesReferencesToMovedFiles) {
  const struct {
    const char* html;
    const char* expected;
  } cases[] = {
      {R"(<img src="a_tmp_1f.png" name="x">)", R"(<img src="a.files/a_tmp_1f.png" name="x">)"},
      {"<img src = 'a_tmp_1f.png'>", "<img src = 'a.files/a_tmp_1f.png'>"},
      {R"(<img src="%E5%9B%BE_2.gif">)", R"(<img src="a.files/图_2.gif">)"},
      {R"x(<body background="a_tmp_1f.png"><div style="background: url('a_tmp_1f.png')">)x",
       R"x(<body background="a.files/a_tmp_1f.png"><div style="background: url('a.files/a_tmp_1f.png')">)x"},
      // Text, other values and look-alikes stay as they are.
      {R"(<p>it's a_tmp_1f.png</p><img src="b_tmp_1f.png" alt="a_tmp_1f.png.bak">)",
       R"(<p>it's a_tmp_1f.png</p><img src="b_tmp_1f.png" alt="a_tmp_1f.png.bak">)"},
      {R"(<img src="a_tmp_1f.png)", R"(<img src="a_tmp_1f.png)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(libreoffice::RewriteReferences(c.html, {"a_tmp_1f.png", "图_2.gif"}, "a.files/"),
              c.expected)
        << c.html;
  }
}

TEST(OfficeExportLayout, TableGridsAsAttributes) {
  const struct {
    const char* html;
    const char* expected;
  } cases[] = {
      // Cells drawing every side, or vertical and horizontal sides between them.
      {R"(<table width="5" cellpadding="4" cellspacing="0"><tr><td style="border: 1px solid #000">)",
       R"(<table border="1" width="5" cellpadding="4" cellspacing="0"><tr><td style="border: 1px solid #000">)"},
      {"<TABLE><tr><td style='border-top: 1px solid; border-bottom: 1px solid'>"
       "<td style='border-left: 0.5pt solid; border-right: none'></table>",
       "<TABLE border=\"1\" cellspacing=\"0\"><tr><td style='border-top: 1px solid; border-bottom: "
       "1px solid'><td style='border-left: 0.5pt solid; border-right: none'></table>"},
      // Rules only, no lines, lines of no width, or a border the table already states.
      {R"(<table><td style="border-top: 1px solid; border-bottom: 1px solid"></table>)",
       R"(<table><td style="border-top: 1px solid; border-bottom: 1px solid"></table>)"},
      {R"(<table><td style="border: none; padding: 0.04in"><td style="border: 0in solid"></table>)",
       R"(<table><td style="border: none; padding: 0.04in"><td style="border: 0in solid"></table>)"},
      {R"(<table border="0"><td style="border: 1px solid"></table>)",
       R"(<table border="0"><td style="border: 1px solid"></table>)"},
      // A table inside a bordered cell is judged by its own cells.
      {R"(<table><td style="border: 1px solid"><table><td>x</table></table>)",
       R"(<table border="1" cellspacing="0"><td style="border: 1px solid"><table><td>x</table></table>)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(libreoffice::TableGridAttributes(c.html), c.expected) << c.html;
  }
}

TEST(OfficeExportLayout, PlacesAnExport) {
  testing::TempDir dir;
  const fs::path target = dir.Write("doc2html/html01.tmp", "");
  libreoffice::StagingFolder staging(target);
  dir.Write((staging.Path() / "html01.tmp").lexically_relative(dir.Path()),
            R"(<img src="html01_tmp_9.png">)");
  dir.Write((staging.Path() / "html01_tmp_9.png").lexically_relative(dir.Path()), "PNG");
  dir.Write("doc2html/html01.files/old.png", "old");

  libreoffice::PlaceExport(staging.Path() / "html01.tmp", target,
                           libreoffice::PictureFolderFor(target), "html01.files/");
  EXPECT_EQ(ReadFile(target), R"(<img src="html01.files/html01_tmp_9.png">)");
  EXPECT_EQ(ReadFile(dir.Path() / "doc2html/html01.files/html01_tmp_9.png"), "PNG");
  EXPECT_EQ(ReadFile(dir.Path() / "doc2html/html01.files/old.png"), "old");
  EXPECT_TRUE(fs::is_empty(staging.Path()));
}

TEST(OfficeExportLayout, NamesAndUrls) {
  EXPECT_EQ(libreoffice::PictureFolderFor("/t/doc2html/htmlAB12.tmp"),
            "/t/doc2html/htmlAB12.files");
  EXPECT_EQ(FileUrl("/tmp/文档 #1%.doc"), "file:///tmp/%E6%96%87%E6%A1%A3%20%231%25.doc");
  const struct {
    const char16_t* language;
    const char16_t* country;
    int32_t id;
  } cases[] = {{u"zh", u"CN", 2052}, {u"zh", u"TW", 1028}, {u"zh", u"", 2052}, {u"en", u"US", 1033},
               {u"en", u"GB", 2057}, {u"en", u"ZA", 1033}, {u"qlt", u"", 0},   {u"", u"", 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(libreoffice::LanguageIdFromLocale(c.language, c.country), c.id)
        << codepage::ToUtf8(c.language) << "-" << codepage::ToUtf8(c.country);
  }
}

}  // namespace
}  // namespace velmaris
