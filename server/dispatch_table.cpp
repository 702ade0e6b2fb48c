#include "server/dispatch_table.h"

namespace velmaris::server {

namespace {

constexpr Type S = Type::kString;
constexpr Type I4 = Type::kInt32;

Param In(const char* name, Type type) {
  return {name, type};
}
Param Ref(const char* name, Type type) {
  return {name, type, true};
}
Param Optional(const char* name, Type type, int32_t default_number) {
  return {name, type, false, true, default_number};
}

Member Method(const char* name, com::DISPID id, std::vector<Param> params,
              Type result = Type::kNone) {
  return {name, id, Kind::kMethod, std::move(params), result};
}

Interface FileUploadInterface() {
  return {
      "_FileUpload",
      {
          {"NewFileName", 0x40030008, Kind::kPropertyGet, {}, S},
          {"NewFileName", 0x40030008, Kind::kPropertyPut, {In("rhs", S)}},
          Method("AddUploadFile", 0x60030000, {Ref("p_name", S), Ref("p_filename", S)}),
          Method("addFormData", 0x60030001, {Ref("p_FormDataName", S), Ref("p_FormDataValue", S)}),
          Method("UploadFile", 0x60030002, {}),
          Method("TestOK", 0x60030007, {}),
          Method("StartUpload", 0x60030008,
                 {In("sf", S), In("pUrl", S), In("localfile", S), In("contentid", I4)}),
          Method("GetFileSize", 0x6003000E, {In("p_filename", S)}, I4),
      }};
}

Interface MultiUploadInterface() {
  return {
      "_MultiUpload",
      {
          Method("AddUploadFile", 0x60030001, {Ref("p_name", S), Ref("p_filename", S)}),
          Method("addFormData", 0x60030002, {Ref("p_FormDataName", S), Ref("p_FormDataValue", S)}),
          Method("UploadFile", 0x60030003, {}),
          Method("StartUpload", 0x6003000B, {In("sf", S), In("pUrl", S)}),
      }};
}

// The importers take the column as text (only the text importer of a file takes a number).
std::vector<Param> ImporterParams(const char* text_name, bool by_ref, Type column = S) {
  return {{text_name, S, by_ref}, In("colID", column), In("UserName", S)};
}

Interface OfficeImportInterface() {
  return {
      "_OfficeImport",
      {
          Method("Init", 0x60030000,
                 {In("UploadUrl", S), In("PostUrl", S), In("strPath", S), In("pColumnid", I4),
                  In("pUserName", S), Optional("pIssueid", I4, 0), Optional("pObjectType", I4, 1)}),
          Method("addFormData", 0x60030002, {Ref("p_FormDataName", S), Ref("p_FormDataValue", S)}),
          Method("TestOK", 0x6003000C, {}),
          Method("StartUpload", 0x6003000D, {In("sf", S), In("localfile", S), In("contentid", I4)}),
          Method("ImportTxtFile", 0x60030017, ImporterParams("fileDoc", true, I4), I4),
          Method("ImportDocFile", 0x60030018, ImporterParams("fileDoc", true), I4),
          Method("ImportDocFileOnePage", 0x60030019, ImporterParams("fileDoc", false), I4),
          Method("ImportPPTFile", 0x6003001A, ImporterParams("fileDoc", true), I4),
          Method("ImportXlsFile", 0x6003001B, ImporterParams("fileDoc", true), I4),
          Method("ImportTxt", 0x6003001C, ImporterParams("varText", true), I4),
      }};
}

// The two picture controls share Init and addFormData; StartUpload sits at different ids.
Interface PictureInterface(const char* name, com::DISPID start_upload) {
  return {
      name,
      {
          Method("Init", 0x60030000,
                 {In("UploadUrl", S), In("PostUrl", S), In("strPath", S), In("pColumnid", I4),
                  In("pUserName", S), In("strWater", S), Optional("pIssueid", I4, 0),
                  Optional("pObjectType", I4, 1)}),
          Method("addFormData", 0x60030002, {Ref("p_FormDataName", S), Ref("p_FormDataValue", S)}),
          Method("StartUpload", start_upload, {In("localfile", S)}),
      }};
}

}  // namespace

const Member* Interface::Find(com::DISPID id, Kind kind) const {
  for (const auto& member : members) {
    if (member.id == id && member.kind == kind) return &member;
  }
  return nullptr;
}

bool Interface::Has(com::DISPID id) const {
  for (const auto& member : members) {
    if (member.id == id) return true;
  }
  return false;
}

const Interface& InterfaceOf(ClassId id) {
  // Built on first use, so tables are ready whatever order the library's statics start in.
  static const Interface file_upload = FileUploadInterface();
  static const Interface multi_upload = MultiUploadInterface();
  static const Interface office_import = OfficeImportInterface();
  static const Interface image_upload = PictureInterface("_ImageUpload", 0x60030009);
  static const Interface image_import = PictureInterface("_ImageImport", 0x60030008);
  switch (id) {
    case ClassId::kFileUpload:
      return file_upload;
    case ClassId::kMultiUpload:
      return multi_upload;
    case ClassId::kOfficeImport:
      return office_import;
    case ClassId::kImageUpload:
      return image_upload;
    case ClassId::kImageImport:
      return image_import;
  }
  return file_upload;
}

}  // namespace velmaris::server
