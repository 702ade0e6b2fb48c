#include "controls/common/article_post.h"

#include "base/error.h"
#include "base/text.h"

namespace velmaris {

namespace {

constexpr char16_t kNoPostAddress[] = u"尚未设置文章的发布地址";
constexpr char16_t kPostFailed[] = u"文章发布失败：";

// Why a request was not taken, after what failed.
constexpr char16_t kStatusCame[] = u"服务器返回状态 ";
constexpr char16_t kNoReply[] = u"服务器没有应答";
constexpr char16_t kConnectionBroken[] = u"（连接已断开）";
constexpr char16_t kTimedOut[] = u"（等待超时）";
constexpr char16_t kNotConnected[] = u"（无法连接）";
constexpr char16_t kTooLarge[] = u"服务器的应答过长";

std::u16string WhyNotAccepted(const UploadTransfer& transfer) {
  switch (transfer.LastOutcome()) {
    case TransferOutcome::kErrorReply:
      return kStatusCame + DecimalText(transfer.LastStatus());
    case TransferOutcome::kTooLarge:
      return kTooLarge;
    case TransferOutcome::kNoReply:
      return std::u16string(kNoReply) + kConnectionBroken;
    case TransferOutcome::kTimedOut:
      return std::u16string(kNoReply) + kTimedOut;
    case TransferOutcome::kNotConnected:
      return std::u16string(kNoReply) + kNotConnected;
    case TransferOutcome::kNone:
    case TransferOutcome::kSuccess:
      break;
  }
  return kNoReply;
}

}  // namespace

std::u16string JoinPages(const std::vector<std::u16string>& pages) {
  std::u16string content;
  for (const auto& page : pages) {
    content += page;
    content += kPageSeparator;
  }
  return content;
}

void PostForm(UploadTransfer& transfer, std::u16string_view post_path, PostFields fields) {
  // Without a post address the request could only fail after the whole reply wait.
  if (post_path.empty()) Raise(err::kObjectError, u"Error", kNoPostAddress);
  transfer.Run(
      [&](CompondFile& package) {
        // Moved, not copied: an article's content may be hundreds of megabytes.
        for (auto& [name, value] : fields) package.addFormData(std::move(name), std::move(value));
      },
      post_path, HttpReply::Accept::kAny2xx3xx);
  RaiseUnlessAccepted(transfer, kPostFailed);
}

void RaiseUnlessAccepted(const UploadTransfer& transfer, std::u16string_view what) {
  if (transfer.LastOutcome() == TransferOutcome::kSuccess) return;
  Raise(err::kNotAccepted, kLibrarySource, std::u16string(what) + WhyNotAccepted(transfer));
}

PostFields ArticleFields(Article article) {
  PostFields fields;
  fields.reserve(7);
  fields.emplace_back(u"columnid", std::move(article.column_id));
  fields.emplace_back(u"issueid", std::move(article.issue_id));
  fields.emplace_back(u"objecttype", std::move(article.object_type));
  fields.emplace_back(u"title", std::move(article.title));
  fields.emplace_back(u"content", std::move(article.content));
  fields.emplace_back(u"author", std::move(article.author));
  fields.emplace_back(u"curpath", std::move(article.cur_path));
  return fields;
}

}  // namespace velmaris
