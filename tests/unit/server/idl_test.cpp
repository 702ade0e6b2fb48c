#include "server/idl.h"

#include <gtest/gtest.h>

#include "server/class_table.h"
#include "server/registry.h"

namespace velmaris::server {
namespace {

size_t Count(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

TEST(TypeLibrary, DeclaresEveryMemberAsTheTablesSay) {
  const std::string idl = TypeLibraryText();
  size_t members = 0;
  for (const auto& info : Classes()) {
    members += InterfaceOf(info.id).members.size();
    std::string clsid = registry::GuidText(info.clsid);
    EXPECT_NE(idl.find("uuid(" + clsid.substr(1, 36) + "),\n      control\n    ]\n    coclass " +
                       info.name + " {"),
              std::string::npos)
        << info.name;
    EXPECT_NE(idl.find(std::string("[default, source] dispinterface ") + info.events_name + ";"),
              std::string::npos)
        << info.name;
  }
  EXPECT_EQ(Count(idl, "[id(0x"), members);

  // Lines whose attributes come from the parameters: by-reference, optional with default,
  // property accessors, results.
  const char* lines[] = {
      "[id(0x40030008), propget]\n            BSTR NewFileName();",
      "[id(0x40030008), propput]\n            void NewFileName([in] BSTR rhs);",
      "void addFormData([in, out] BSTR* p_FormDataName, [in, out] BSTR* p_FormDataValue);",
      "[id(0x6003000e)]\n            long GetFileSize([in] BSTR p_filename);",
      "void Init([in] BSTR UploadUrl, [in] BSTR PostUrl, [in] BSTR strPath, [in] long pColumnid, "
      "[in] BSTR pUserName, [in, optional, defaultvalue(0)] long pIssueid, "
      "[in, optional, defaultvalue(1)] long pObjectType);",
      "long ImportTxtFile([in, out] BSTR* fileDoc, [in] long colID, [in] BSTR UserName);",
      "long ImportDocFileOnePage([in] BSTR fileDoc, [in] BSTR colID, [in] BSTR UserName);",
      "[id(0x60030009)]\n            void StartUpload([in] BSTR localfile);",
  };
  for (const char* line : lines) EXPECT_NE(idl.find(line), std::string::npos) << line;
  EXPECT_EQ(Count(idl, "{"), Count(idl, "}"));
}

}  // namespace
}  // namespace velmaris::server
