#include "controls/office/article_post.h"

#include "core/error.h"

namespace velmaris {

namespace {

constexpr char16_t kNoPostAddress[] = u"尚未设置文章的发布地址";

std::u16string AddressWithPath(const UploadTransfer& transfer, std::u16string_view path) {
  return u"http://" + transfer.Host() + u":" + transfer.Port() + std::u16string(path);
}

// Points the transfer at `post_path` on its current host and port for as long as it lives. The
// host never holds a ":" and the port is decimal text, so the address reads back exactly.
class PostPathScope {
 public:
  PostPathScope(UploadTransfer& transfer, std::u16string_view post_path)
      : m_transfer(transfer), m_upload_path(transfer.Path()) {
    m_transfer.ParseServerAddress(AddressWithPath(m_transfer, post_path));
  }
  ~PostPathScope() {
    try {
      m_transfer.ParseServerAddress(AddressWithPath(m_transfer, m_upload_path));
    } catch (...) {
      // Cannot fail: the address was read from the transfer moments ago.
    }
  }
  PostPathScope(const PostPathScope&) = delete;
  PostPathScope& operator=(const PostPathScope&) = delete;

 private:
  UploadTransfer& m_transfer;
  std::u16string m_upload_path;
};

}  // namespace

std::u16string JoinPages(const std::vector<std::u16string>& pages) {
  std::u16string content;
  for (const auto& page : pages) {
    content += page;
    content += kPageSeparator;
  }
  return content;
}

void PostForm(const PostChannel& channel, std::u16string_view post_path, const PostFields& fields) {
  // Without a post address the request could only fail after the whole reply wait.
  if (post_path.empty()) Raise(err::kObjectError, u"Error", kNoPostAddress);

  UploadTransfer& transfer = channel.transfer;
  channel.progress.SetValue(0);
  channel.loop.Pump();
  CompondFile& package = transfer.Package();
  package.RemoveAll();
  for (const auto& [name, value] : fields) package.addFormData(name, value);
  transfer.SetFinished(false);
  {
    PostPathScope scope(transfer, post_path);
    transfer.UploadFile();
  }
  transfer.WaitForReply();
  transfer.CloseConnection();
  channel.progress.SetValue(100);
  channel.loop.Pump();
}

PostFields ArticleFields(const Article& article) {
  return {{u"columnid", article.column_id},     {u"issueid", article.issue_id},
          {u"objecttype", article.object_type}, {u"title", article.title},
          {u"content", article.content},        {u"author", article.author},
          {u"curpath", article.cur_path}};
}

}  // namespace velmaris
