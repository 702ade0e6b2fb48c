// A text file as the office import reads it: the bytes are decoded (byte-order mark, UTF-8 or
// GBK), their line ends made CR LF, and the text marked up as an article. The file must always
// come out as whole CR LF lines, and the article must have a one-line title and a body that ends
// in the page separator with every blank written out.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "controls/common/article_post.h"
#include "controls/common/file_helpers.h"
#include "controls/office/text_import.h"
#include "fuzz/fuzz_support.h"

namespace {

using velmaris::fuzz::Check;

// One file, rewritten for every input, in a folder of our own that goes when the run ends.
const std::string& InputFile() {
  static const std::string path = [] {
    std::string folder = (std::filesystem::temp_directory_path() / "velmaris-fuzz-XXXXXX").string();
    Check(mkdtemp(folder.data()) != nullptr, "cannot make a temporary folder");
    static std::string remove_at_exit = folder;
    std::atexit([] { std::filesystem::remove_all(remove_at_exit); });
    return folder + "/input.txt";
  }();
  return path;
}

void CheckLines(const std::u16string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r') {
      Check(i + 1 < text.size() && text[i + 1] == u'\n', "CR without LF");
      ++i;
    } else {
      Check(text[i] != u'\n', "LF without CR");
    }
  }
  Check(text.empty() || text.size() >= 2, "a text shorter than its line end");
  if (!text.empty()) Check(text.compare(text.size() - 2, 2, u"\r\n") == 0, "last line open");
}

void CheckArticle(const velmaris::TextArticle& article) {
  Check(!article.title.empty(), "no title");
  Check(article.title.find(u"\r\n") == std::u16string::npos, "title of more than one line");
  const std::u16string_view separator = velmaris::kPageSeparator;
  const std::u16string& content = article.content;
  Check(content.size() >= separator.size() &&
            content.compare(content.size() - separator.size(), separator.size(), separator) == 0,
        "content without the page separator");
  Check(content.find(u' ') == std::u16string::npos, "a blank left in the content");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes = velmaris::fuzz::Bytes(data, size);
  // The text as given to ImportTxt by a page: no line ends normalised.
  CheckArticle(velmaris::MarkUpText(velmaris::DecodeTextBytes(bytes)));

  // The text as read from a file by ImportTxtFile.
  const std::string& path = InputFile();
  FILE* file = std::fopen(path.c_str(), "wb");
  Check(file != nullptr, "cannot write the input file");
  Check(std::fwrite(data, 1, size, file) == size, "cannot write the input file");
  std::fclose(file);
  const std::u16string text = velmaris::ReadTextFileOrRaise(velmaris::codepage::FromUtf8(path));
  CheckLines(text);
  CheckArticle(velmaris::MarkUpText(text));
  return 0;
}
