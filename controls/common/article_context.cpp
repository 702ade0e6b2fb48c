#include "controls/common/article_context.h"

#include "base/text.h"

namespace velmaris {

void ArticleContext::InitContext(UploadTransfer& transfer, const std::u16string& UploadUrl,
                                 const std::u16string& PostUrl, const std::u16string& strPath,
                                 int32_t pColumnid, const std::u16string& pUserName,
                                 int32_t pIssueid, int32_t pObjectType) {
  // Of the post address only the path is used; a port it names is kept for an upload address
  // that names none, as with any two addresses read one after the other.
  // The folder and the post path are taken before the upload address is read: a bad one leaves
  // them set.
  m_cur_path = strPath;
  const ServerAddress post = ParseServerAddress(PostUrl, transfer.Address());
  m_post_path = post.path;
  transfer.SetAddress(ParseServerAddress(UploadUrl, post));
  m_column_id = pColumnid;
  m_user_name = pUserName;
  m_issue_id = DecimalText(pIssueid);
  m_object_type = DecimalText(pObjectType);
}

}  // namespace velmaris
