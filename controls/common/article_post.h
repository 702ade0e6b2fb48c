// Posting text fields to the post address: the article post of the importers, and the same
// request for any other field set (the picture batches post theirs this way). The post goes to
// the host and port of the upload address with the path of the post address, as one multipart
// request with no file part. A post the server did not take fails, so no caller reports it as
// done.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/upload_transfer.h"

namespace velmaris {

// Written after every page of an article's content, the last one included.
inline constexpr char16_t kPageSeparator[] = u"----abcdefghijklmnopqrstuvwxyz----";

// Each page followed by the page separator.
std::u16string JoinPages(const std::vector<std::u16string>& pages);

// Field names and values in the order they are sent.
using PostFields = std::vector<std::pair<std::u16string, std::u16string>>;

// Empties the package, fills it with `fields` and sends it through the control's transfer to
// `post_path` on the upload host: progress 0, upload, wait for the reply, close, progress 100. The
// transfer keeps its own (upload) path. An empty post path (no post address given yet) raises
// 0x80040000 before anything is sent. Any 2xx or 3xx reply is success (a content server may
// answer a saved article with a redirect); another status, no reply, a broken connection or the
// time-out raise kNotAccepted.
void PostForm(UploadTransfer& transfer, std::u16string_view post_path, PostFields fields);

// Raises kNotAccepted unless the transfer's last request was answered with success. The
// description is `what` followed by the status that came back, or by why no reply came.
void RaiseUnlessAccepted(const UploadTransfer& transfer, std::u16string_view what);

struct Article {
  std::u16string column_id;
  std::u16string issue_id;
  std::u16string object_type;
  std::u16string title;
  std::u16string content;  // pages joined by JoinPages
  std::u16string author;
  std::u16string cur_path;
};

// "columnid", "issueid", "objecttype", "title", "content", "author", "curpath", in this order,
// the values moved out of `article`.
PostFields ArticleFields(Article article);

// Takes the article by value: a caller that moves its content in keeps no copy of it.
inline void PostArticle(UploadTransfer& transfer, std::u16string_view post_path, Article article) {
  PostForm(transfer, post_path, ArticleFields(std::move(article)));
}

}  // namespace velmaris
