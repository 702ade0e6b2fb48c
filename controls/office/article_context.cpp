#include "controls/office/article_context.h"

#include "core/text.h"

namespace velmaris {

void ArticleContext::InitContext(UploadTransfer& transfer, const std::u16string& UploadUrl,
                                 const std::u16string& PostUrl, const std::u16string& strPath,
                                 int32_t pColumnid, const std::u16string& pUserName,
                                 int32_t pIssueid, int32_t pObjectType) {
  m_cur_path = strPath;
  transfer.ParseServerAddress(PostUrl);
  m_post_path = transfer.Path();
  transfer.ParseServerAddress(UploadUrl);
  m_column_id = pColumnid;
  m_user_name = pUserName;
  m_issue_id = DecimalText(pIssueid);
  m_object_type = DecimalText(pObjectType);
}

}  // namespace velmaris
