// The scripted office that the importers' tests stand on: its page model must split a document
// the way a word processor does, and its files must lie where the office layer puts them.
#include <gtest/gtest.h>

#include "base/codepage.h"
#include "tests/support/fake_office.h"
#include "tests/support/temp_dir.h"

namespace velmaris {
namespace {

using testing::FakeOffice;
using testing::ReadFile;

TEST(FakeOffice, SplitsPagesLastFirstThroughTheClipboard) {
  testing::TempDir dir;
  FakeOffice office;
  office.documents[u"C:\\a.doc"] = {{"<p>one</p>", {}},
                                    {R"(<p>two</p><img src="{files}/p.png">)", {{"p.png", "PNG"}}},
                                    {"<p>three</p>", {}}};
  auto word = OfficeCast<WordApplication>(office.CreateObject(office::kWordProgramId));
  auto source = word->OpenDocument(u"C:\\a.doc");
  ASSERT_EQ(source->BuiltInDocumentProperty(office::kWdPropertyPages), 3);

  const std::u16string temp = dir.U16("htmlAB12.tmp");
  const std::string expected[] = {"<p>one</p>", R"(<p>two</p><img src="htmlAB12.files/p.png">)",
                                  "<p>three</p>"};
  for (int page = 3; page >= 1; --page) {
    auto target = word->AddDocument();
    target->Selection()->GoTo(office::kWdGoToPage, 1);
    target->Selection()->EndKey(office::kWdStory, office::kWdExtend);
    auto selection = source->Selection();
    selection->GoTo(office::kWdGoToPage, page);
    selection->EndKey(office::kWdStory, office::kWdExtend);
    selection->Copy();
    target->Selection()->Paste();
    selection->Delete();
    target->SaveAs(temp, office::kWdFormatHtml);
    const std::string html = ReadFile(dir.Path() / "htmlAB12.tmp");
    EXPECT_NE(html.find("<body>" + expected[page - 1] + "</body>"), std::string::npos) << html;
    target->Close();
  }
  EXPECT_EQ(ReadFile(dir.Path() / "htmlAB12.files/p.png"), "PNG");
  EXPECT_EQ(source->BuiltInDocumentProperty(office::kWdPropertyPages), 1) << "all pages removed";
  EXPECT_EQ(office.OpenCount(), 1);
  source->Close(false);
  EXPECT_EQ(office.OpenCount(), 0);
  EXPECT_EQ(office.Count("Selection.Copy"), 3);
  EXPECT_EQ(office.Log()[0], "CreateObject(Word.Application)");
}

TEST(FakeOffice, FilesOfWorkbooksAndPresentations) {
  testing::TempDir dir;
  FakeOffice office;
  office.workbooks[u"one.xls"] = {{{u"Sales", "<table>s</table>", {}}}};
  office.workbooks[u"three.xls"] = {
      {{u"A", "<table>a</table>", {}}, {u"B", "<table>b</table>", {}}, {u"C", "", {}}}};
  office.presentations[u"zh.ppt"] = {office::kLanguageChinesePrc, 2};
  office.presentations[u"en.ppt"] = {office::kLanguageEnglishUs, 1};
  auto excel = OfficeCast<ExcelApplication>(office.CreateObject(office::kExcelProgramId));
  auto powerpoint =
      OfficeCast<PowerPointApplication>(office.CreateObject(office::kPowerPointProgramId));

  const struct {
    std::u16string file;
    std::vector<std::string> present;
    std::vector<std::string> absent;
  } cases[] = {
      {u"one.xls", {"htmlA.tmp"}, {"htmlA.files/sheet001.htm"}},
      {u"three.xls",
       {"htmlA.tmp", "htmlA.files/sheet001.htm", "htmlA.files/sheet003.htm"},
       {"htmlA.files/sheet004.htm"}},
      {u"zh.ppt", {"htmlA/幻灯片1.jpg", "htmlA/幻灯片2.jpg"}, {"htmlA/幻灯片3.jpg"}},
      {u"en.ppt", {"htmlA/Slide1.jpg"}, {"htmlA/Slide2.jpg"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(codepage::ToUtf8(c.file));
    testing::TempDir work;
    if (c.file.ends_with(u".xls")) {
      auto workbook = excel->OpenWorkbook(c.file);
      workbook->SaveAs(work.U16("htmlA.tmp"), office::kXlHtml, office::kXlNoChange);
      workbook->Close();
    } else {
      auto presentation = powerpoint->OpenPresentation(c.file);
      presentation->SaveAs(work.U16("htmlA.tmp"), office::kPpSaveAsJpg);
      presentation->Close();
    }
    for (const auto& name : c.present)
      EXPECT_TRUE(std::filesystem::exists(work.Path() / testing::Utf8Path(name))) << name;
    for (const auto& name : c.absent)
      EXPECT_FALSE(std::filesystem::exists(work.Path() / testing::Utf8Path(name))) << name;
  }
}

TEST(FakeOffice, InjectedFailuresAndAttaching) {
  FakeOffice office;
  office.can_start = false;
  office.documents[u"a.doc"] = {{"x", {}}};
  EXPECT_THROW(office.GetObject(office::kWordProgramId), VbError);
  EXPECT_THROW(office.CreateObject(office::kWordProgramId), VbError);
  office.running.insert(office::kWordProgramId);
  auto word = OfficeCast<WordApplication>(office.GetObject(office::kWordProgramId));

  office.Fail("Documents.Open", 5174, u"找不到文件", 2);
  EXPECT_NO_THROW(word->OpenDocument(u"a.doc"));
  try {
    word->OpenDocument(u"a.doc");
    FAIL() << "no error";
  } catch (const VbError& error) {
    EXPECT_EQ(error.Number(), 5174);
    EXPECT_EQ(error.Description(), u"找不到文件");
  }
  EXPECT_NO_THROW(word->OpenDocument(u"a.doc")) << "a failure happens once";
  EXPECT_EQ(office.Count("Documents.Open"), 3);

  word->Quit();
  EXPECT_TRUE(office.running.empty());
}

}  // namespace
}  // namespace velmaris
