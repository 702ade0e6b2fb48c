#include "controls/office/article_post.h"

#include "core/error.h"

namespace velmaris {

namespace {

constexpr char16_t kNoPostAddress[] = u"尚未设置文章的发布地址";

}  // namespace

std::u16string JoinPages(const std::vector<std::u16string>& pages) {
  std::u16string content;
  for (const auto& page : pages) {
    content += page;
    content += kPageSeparator;
  }
  return content;
}

void PostForm(UploadTransfer& transfer, std::u16string_view post_path, const PostFields& fields) {
  // Without a post address the request could only fail after the whole reply wait.
  if (post_path.empty()) Raise(err::kObjectError, u"Error", kNoPostAddress);
  transfer.Run(
      [&](CompondFile& package) {
        for (const auto& [name, value] : fields) package.addFormData(name, value);
      },
      post_path);
}

PostFields ArticleFields(const Article& article) {
  return {{u"columnid", article.column_id},     {u"issueid", article.issue_id},
          {u"objecttype", article.object_type}, {u"title", article.title},
          {u"content", article.content},        {u"author", article.author},
          {u"curpath", article.cur_path}};
}

}  // namespace velmaris
