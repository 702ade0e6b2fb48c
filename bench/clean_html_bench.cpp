// The HTML cleaner on office HTML of 2 and 20 MB (200 MB with --large), reported in MB/s of the
// HTML as saved (UTF-8). The document mixes what the office application writes: styled paragraphs
// and spans, tables, conditional comments, o:p, Chinese text and a picture now and then, answered
// by an uploader that does nothing. Beside it, a hostile document of 1 and 16 MB whose time must
// grow only with its size.
#include <benchmark/benchmark.h>

#include <cstring>
#include <map>
#include <string>

#include "base/codepage.h"
#include "controls/office/html_cleaner.h"

namespace {

using velmaris::HtmlCleaner;

constexpr char kHead[] =
    "<html xmlns:v=\"urn:schemas-microsoft-com:vml\"\r\n"
    "xmlns:o=\"urn:schemas-microsoft-com:office:office\"\r\n"
    "xmlns=\"http://www.w3.org/TR/REC-html40\">\r\n\r\n<head>\r\n"
    "<meta http-equiv=Content-Type content=\"text/html; charset=gb2312\">\r\n"
    "<meta name=Generator content=\"Microsoft Word 11\">\r\n"
    "<title>季度报告</title>\r\n"
    "<!--[if gte mso 9]><xml>\r\n <o:DocumentProperties>\r\n  <o:Author>editor</o:Author>\r\n"
    " </o:DocumentProperties>\r\n</xml><![endif]-->\r\n"
    "<style>\r\n<!--\r\n p.MsoNormal\r\n\t{mso-style-parent:\"\";\r\n\tmargin:0cm;\r\n"
    "\tfont-size:10.5pt;\r\n\tfont-family:\"Times New Roman\";}\r\n-->\r\n</STYLE>\r\n"
    "</head>\r\n\r\n<body lang=ZH-CN style='tab-interval:21.0pt'>\r\n\r\n"
    "<div class=Section1 style='layout-grid:15.6pt'>\r\n\r\n";

constexpr char kTail[] = "</div>\r\n\r\n</body>\r\n\r\n</html>\r\n";

std::string Paragraphs(int n) {
  const std::string num = std::to_string(n);
  return "<p class=MsoNormal style='text-indent:21.0pt;mso-char-indent-count:2.0;"
         "line-height:150%'><span\r\nstyle='font-size:12.0pt;line-height:150%;font-family:宋体;"
         "mso-ascii-font-family:\"Times New Roman\"'>第" +
         num +
         "段：本季度销售额在各地区均有增长，其中华东地区增长最快。<span lang=EN-US>Sales rose " +
         num +
         "%.</span><o:p></o:p></span></p>\r\n\r\n"
         "<p class=MsoNormal><b style='mso-bidi-font-weight:normal'><span lang=EN-US\r\n"
         "style='font-size:14.0pt'>Section " +
         num +
         "</span></b><span lang=EN-US><o:p>&nbsp;</o:p></span></p>\r\n\r\n"
         "<!--[if supportFields]><span lang=EN-US><span style='mso-element:field-begin'></span>"
         " PAGE <span style='mso-element:field-separator'></span></span><![endif]-->\r\n"
         "<table class=MsoNormalTable border=1 cellspacing=0 cellpadding=0\r\n"
         " style='border-collapse:collapse;mso-table-layout-alt:fixed;mso-padding-alt:0cm 5.4pt'>"
         "\r\n <tr style='mso-yfti-irow:0;mso-yfti-firstrow:yes'>\r\n"
         "  <td width=142 valign=top style='width:106.5pt;border:solid windowtext 1.0pt;\r\n"
         "  padding:0cm 5.4pt 0cm 5.4pt'>\r\n"
         "  <p class=MsoNormal><span style='font-family:宋体'>华东地区<o:p></o:p></span></p>\r\n"
         "  </td>\r\n  <td width=142 valign=top style='width:106.5pt'>\r\n"
         "  <p class=MsoNormal align=right style='text-align:right'><span lang=EN-US>" +
         num + ".5%<o:p></o:p></span></p>\r\n  </td>\r\n </tr>\r\n</table>\r\n\r\n";
}

std::string Picture(int n) {
  const std::string num = std::to_string(n);
  return "<p class=MsoNormal align=center style='text-align:center'><span lang=EN-US>"
         "<!--[if gte vml 1]><v:shape\r\n id=\"_x0000_i" +
         num +
         "\" type=\"#_x0000_t75\" style='width:300pt;height:200pt'>\r\n"
         " <v:imagedata src=\"report.files/image" +
         num +
         ".png\" o:title=\"chart\"/>\r\n</v:shape><![endif]--><![if !vml]><img width=400 "
         "height=267\r\nsrc=\"report.files/image" +
         num + ".jpg\" v:shapes=\"_x0000_i" + num + "\"><![endif]><o:p></o:p></span></p>\r\n\r\n";
}

// An office document of about `megabytes` MB of UTF-8, with a picture every ~300 KB.
const std::u16string& Document(int megabytes) {
  static std::map<int, std::u16string> cache;
  auto& doc = cache[megabytes];
  if (doc.empty()) {
    const size_t target = static_cast<size_t>(megabytes) * 1000 * 1000;
    std::string html = kHead;
    for (int n = 1; html.size() < target; ++n) {
      html += Paragraphs(n);
      if (n % 256 == 0) html += Picture(n);
    }
    html += kTail;
    doc = velmaris::codepage::FromUtf8(html);
  }
  return doc;
}

void BM_CleanHtml(benchmark::State& state) {
  const int megabytes = static_cast<int>(state.range(0));
  int64_t yields = 0;
  int64_t pictures = 0;
  const HtmlCleaner cleaner(
      [&](const std::u16string&, int32_t) -> std::u16string {
        ++pictures;
        return u"/files/p.jpg";
      },
      [&](const velmaris::CleanProgress&) { ++yields; });
  velmaris::CleanerSettings settings;
  settings.work_dir = u"C:\\doc2html\\";
  settings.picture_contentid = -1;
  const std::u16string source = Document(megabytes);
  const auto bytes = static_cast<int64_t>(velmaris::codepage::ToUtf8(source).size());

  velmaris::CleanResult result;
  for (auto _ : state) {
    result = cleaner.Clean(source, settings);
    benchmark::DoNotOptimize(result.body.data());
  }
  const auto runs = static_cast<double>(state.iterations());
  state.SetBytesProcessed(bytes * state.iterations());
  state.counters["MB/s"] =
      benchmark::Counter(static_cast<double>(bytes) / 1e6 * runs, benchmark::Counter::kIsRate);
  state.counters["MB"] = static_cast<double>(bytes) / 1e6;
  state.counters["yields"] = static_cast<double>(yields) / runs;
  state.counters["pictures"] = static_cast<double>(pictures) / runs;
  state.counters["body_MB"] = static_cast<double>(result.body.size()) * 2 / 1e6;
}

// A hostile document of `megabytes` MB: 64 blank-separated tags per MB, then one tag whose
// attribute fills the rest. Each blank between tags looks ahead for the next text; a look that
// ran to the long tag's end would make this quadratic in the document's size.
void BM_CleanLongTag(benchmark::State& state) {
  const int megabytes = static_cast<int>(state.range(0));
  const size_t size = static_cast<size_t>(megabytes) * 1000 * 1000;
  std::u16string source = u"<title>t</title><body>";
  for (int i = 0; i < 64 * megabytes; ++i) source += u"<b> ";
  source += u"<p title=\"";
  source.append(size - source.size() - 3, u'x');
  source += u"\">";
  const HtmlCleaner cleaner(nullptr);
  velmaris::CleanResult result;
  for (auto _ : state) {
    result = cleaner.Clean(source, velmaris::CleanerSettings());
    benchmark::DoNotOptimize(result.body.data());
  }
  const auto runs = static_cast<double>(state.iterations());
  state.counters["MB/s"] =
      benchmark::Counter(static_cast<double>(size) / 1e6 * runs, benchmark::Counter::kIsRate);
  state.counters["MB"] = static_cast<double>(size) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  // 200 MB takes a while and about 2 GB of memory: only on request.
  bool large = false;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--large") == 0) {
      large = true;
    } else {
      argv[kept++] = argv[i];
    }
  }
  argc = kept;
  auto* bench = benchmark::RegisterBenchmark("CleanHtml", BM_CleanHtml);
  bench->Arg(2)->Arg(20)->Unit(benchmark::kMillisecond);
  if (large) bench->Arg(200);
  benchmark::RegisterBenchmark("CleanLongTag", BM_CleanLongTag)
      ->Arg(1)
      ->Arg(16)
      ->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
