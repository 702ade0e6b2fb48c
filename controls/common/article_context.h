// What Init gives the importing and picture controls: where their articles go and in whose
// name. OfficeImport, ImageUpload and ImageImport read these fields alike.
#pragma once

#include <cstdint>
#include <string>

#include "core/upload_transfer.h"

namespace velmaris {

class ArticleContext {
 public:
  const std::u16string& PostPath() const { return m_post_path; }
  const std::u16string& CurPath() const { return m_cur_path; }
  int32_t ColumnId() const { return m_column_id; }
  const std::u16string& IssueId() const { return m_issue_id; }
  const std::u16string& UserName() const { return m_user_name; }
  const std::u16string& ObjectType() const { return m_object_type; }

 protected:
  // Parses the post address first and the upload address last, so host and port are always the
  // upload address's and of the post address only its path survives. A bad address fails with
  // the transfer's error.
  void InitContext(UploadTransfer& transfer, const std::u16string& UploadUrl,
                   const std::u16string& PostUrl, const std::u16string& strPath, int32_t pColumnid,
                   const std::u16string& pUserName, int32_t pIssueid, int32_t pObjectType);

  std::u16string m_post_path;
  std::u16string m_cur_path;
  int32_t m_column_id = 0;
  std::u16string m_issue_id;
  std::u16string m_user_name;
  std::u16string m_object_type;
};

}  // namespace velmaris
