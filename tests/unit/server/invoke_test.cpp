#include "server/invoke.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/codepage.h"
#include "base/error.h"
#include "server/class_table.h"
#include "server/control_object.h"
#include "tests/support/temp_dir.h"
#include "tests/unit/server/dispatch_helpers.h"

namespace velmaris::server {
namespace {

using namespace com;
using testing::Arguments;
using testing::Excep;

constexpr DISPID kNewFileName = 0x40030008;
constexpr DISPID kAddUploadFile = 0x60030000;
constexpr DISPID kAddFormData = 0x60030001;
constexpr DISPID kTestOK = 0x60030007;
constexpr DISPID kStartUpload = 0x60030008;
constexpr DISPID kGetFileSize = 0x6003000E;
constexpr uint32_t kUntouched = 0xDEAD;

class FileUploadObject : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CreateControl(ClassId::kFileUpload, IID_IDispatch, reinterpret_cast<void**>(&object)),
              S_OK);
  }
  void TearDown() override {
    if (object != nullptr) object->Release();
  }

  HRESULT Run(DISPID id, uint16_t flags, Arguments& args, VARIANT* result = nullptr,
              EXCEPINFO* excep = nullptr, uint32_t* arg_err = nullptr) {
    return object->Invoke(id, IID_NULL, 0, flags, args.Params(), result, excep, arg_err);
  }
  std::u16string NewFileName() {
    Arguments none;
    Variant result;
    EXPECT_EQ(Run(kNewFileName, DISPATCH_PROPERTYGET, none, &result.Get()), S_OK);
    EXPECT_EQ(result.Get().vt, VT_BSTR);
    return BstrText(result.Get().bstrVal);
  }

  IDispatch* object = nullptr;
};

TEST_F(FileUploadObject, FlagsMustSuitTheMemberKind) {
  constexpr uint16_t kCall = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
  const struct {
    const char* what;
    DISPID id;
    uint16_t flags;
    HRESULT expected;
  } cases[] = {
      {"method called", kTestOK, DISPATCH_METHOD, S_OK},
      {"method called by a script engine", kTestOK, kCall, S_OK},
      {"method read as a property", kTestOK, DISPATCH_PROPERTYGET, DISP_E_MEMBERNOTFOUND},
      {"method assigned", kTestOK, DISPATCH_PROPERTYPUT, DISP_E_MEMBERNOTFOUND},
      {"property read", kNewFileName, DISPATCH_PROPERTYGET, S_OK},
      {"property read by a call", kNewFileName, kCall, S_OK},
      {"property called as a method", kNewFileName, DISPATCH_METHOD, DISP_E_MEMBERNOTFOUND},
      {"property assigned", kNewFileName, DISPATCH_PROPERTYPUT, S_OK},
      {"property set by reference", kNewFileName, DISPATCH_PROPERTYPUTREF, DISP_E_MEMBERNOTFOUND},
      {"no flags", kTestOK, 0, DISP_E_MEMBERNOTFOUND},
      {"id between members", 0x60030003, DISPATCH_METHOD, DISP_E_MEMBERNOTFOUND},
      {"default member", DISPID_VALUE, kCall, DISP_E_MEMBERNOTFOUND},
  };
  for (const auto& c : cases) {
    bool put = c.flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
    Arguments args = put ? Arguments({testing::Text(u"x")}, Arguments::Put()) : Arguments();
    EXPECT_EQ(Run(c.id, c.flags, args), c.expected) << c.what;
  }
  Arguments none;
  EXPECT_EQ(object->Invoke(kTestOK, IID_IDispatch, 0, DISPATCH_METHOD, none.Params(), nullptr,
                           nullptr, nullptr),
            DISP_E_UNKNOWNINTERFACE);
  VARIANT nothing = testing::I4(99);  // a method without result leaves VT_EMPTY
  EXPECT_EQ(
      object->Invoke(kTestOK, IID_NULL, 0, DISPATCH_METHOD, nullptr, &nothing, nullptr, nullptr),
      S_OK);
  EXPECT_EQ(nothing.vt, VT_EMPTY);
}

TEST_F(FileUploadObject, ArgumentCountsAndMissingArguments) {
  auto t = [] { return testing::Text(u"a"); };
  const struct {
    const char* what;
    DISPID id;
    uint16_t flags;
    std::vector<VARIANT> args;
    std::vector<DISPID> named;
    HRESULT expected;
    uint32_t arg_err;
  } cases[] = {
      {"too few",
       kStartUpload,
       DISPATCH_METHOD,
       {t(), t(), t()},
       {},
       DISP_E_BADPARAMCOUNT,
       kUntouched},
      {"too many",
       kStartUpload,
       DISPATCH_METHOD,
       {t(), t(), t(), testing::I4(1), t()},
       {},
       DISP_E_BADPARAMCOUNT,
       kUntouched},
      {"argument without parameters",
       kTestOK,
       DISPATCH_METHOD,
       {t()},
       {},
       DISP_E_BADPARAMCOUNT,
       kUntouched},
      {"required argument omitted",
       kGetFileSize,
       DISPATCH_METHOD,
       {testing::Missing()},
       {},
       DISP_E_PARAMNOTOPTIONAL,
       0},
      {"put without its named value",
       kNewFileName,
       DISPATCH_PROPERTYPUT,
       {t()},
       {},
       DISP_E_PARAMNOTFOUND,
       kUntouched},
      {"put with an extra value",
       kNewFileName,
       DISPATCH_PROPERTYPUT,
       {t(), t()},
       Arguments::Put(),
       DISP_E_BADPARAMCOUNT,
       kUntouched},
      {"named argument that is no parameter",
       kGetFileSize,
       DISPATCH_METHOD,
       {t()},
       {7},
       DISP_E_PARAMNOTFOUND,
       0},
  };
  for (const auto& c : cases) {
    Arguments args(c.args, c.named);
    uint32_t arg_err = kUntouched;
    EXPECT_EQ(Run(c.id, c.flags, args, nullptr, nullptr, &arg_err), c.expected) << c.what;
    EXPECT_EQ(arg_err, c.arg_err) << c.what;
  }
}

TEST_F(FileUploadObject, CoercionFailureNamesTheArgumentInReverseOrder) {
  // StartUpload(sf, pUrl, localfile, contentid): rgvarg[3] is sf, rgvarg[0] is contentid.
  const struct {
    const char* what;
    VARIANT sf;
    VARIANT contentid;
    HRESULT expected;
    uint32_t arg_err;
  } cases[] = {
      {"text that is no number", testing::Text(u"a"), testing::Text(u"abc"), DISP_E_TYPEMISMATCH,
       0},
      {"number beyond 32 bits", testing::Text(u"a"), testing::Text(u"2147483648"), DISP_E_OVERFLOW,
       0},
      {"null as text", testing::OfType(VT_NULL), testing::I4(1), DISP_E_TYPEMISMATCH, 3},
      {"object as text", testing::OfType(VT_DISPATCH), testing::I4(1), DISP_E_TYPEMISMATCH, 3},
  };
  for (const auto& c : cases) {
    Arguments args{c.sf, testing::Text(u"ftp://never"), testing::Text(u"f"), c.contentid};
    uint32_t arg_err = kUntouched;
    EXPECT_EQ(Run(kStartUpload, DISPATCH_METHOD, args, nullptr, nullptr, &arg_err), c.expected)
        << c.what;
    EXPECT_EQ(arg_err, c.arg_err) << c.what;
  }
}

TEST_F(FileUploadObject, NewFileNamePutThenGet) {
  Arguments put({testing::Text(u"新文件.doc")}, Arguments::Put());
  ASSERT_EQ(Run(kNewFileName, DISPATCH_PROPERTYPUT, put), S_OK);
  EXPECT_EQ(NewFileName(), u"新文件.doc");
  Arguments number({testing::I4(-12)}, Arguments::Put());
  ASSERT_EQ(Run(kNewFileName, DISPATCH_PROPERTYPUT, number), S_OK);
  EXPECT_EQ(NewFileName(), u"-12");

  Arguments null({testing::OfType(VT_NULL)}, Arguments::Put());
  uint32_t arg_err = kUntouched;
  EXPECT_EQ(Run(kNewFileName, DISPATCH_PROPERTYPUT, null, nullptr, nullptr, &arg_err),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(arg_err, 0u);
  EXPECT_EQ(NewFileName(), u"-12");  // a failed put changes nothing
}

TEST_F(FileUploadObject, ByReferenceArgumentsAreReadNotWrittenBack) {
  BSTR name = AllocBstr(u"field");
  BSTR value = AllocBstr(u"值");
  const BSTR name_before = name;
  VARIANT by_ref_bstr = testing::OfType(VT_BYREF | VT_BSTR);
  by_ref_bstr.pbstrVal = &name;
  VARIANT inner = testing::OfType(VT_BYREF | VT_BSTR);
  inner.pbstrVal = &value;
  VARIANT by_ref_variant = testing::OfType(VT_BYREF | VT_VARIANT);
  by_ref_variant.pvarVal = &inner;
  {
    Arguments args{by_ref_bstr, by_ref_variant};
    EXPECT_EQ(Run(kAddFormData, DISPATCH_METHOD, args), S_OK);
  }
  EXPECT_EQ(name, name_before);
  EXPECT_EQ(BstrText(name), u"field");
  EXPECT_EQ(BstrText(value), u"值");
  EXPECT_EQ(inner.vt, VT_BYREF | VT_BSTR);

  // The field went in under the caller's name: a second one with that name is a duplicate.
  Arguments again{testing::Text(u"FIELD"), testing::Text(u"x")};
  EXPECT_EQ(Run(kAddFormData, DISPATCH_METHOD, again), DISP_E_EXCEPTION);
  FreeBstr(name);
  FreeBstr(value);
}

TEST_F(FileUploadObject, ResultsAndRaisedErrors) {
  velmaris::testing::TempDir files;
  std::u16string file = codepage::FromUtf8(files.Write("a.txt", "12345").string());
  std::u16string missing = codepage::FromUtf8((files.Path() / "none.txt").string());
  Arguments first{testing::Text(u"a.txt"), testing::Text(file)};
  ASSERT_EQ(Run(kAddUploadFile, DISPATCH_METHOD, first), S_OK);
  Arguments field{testing::Text(u"f"), testing::Text(u"1")};
  ASSERT_EQ(Run(kAddFormData, DISPATCH_METHOD, field), S_OK);
  Arguments size_args{testing::Text(file)};
  Variant size;
  ASSERT_EQ(Run(kGetFileSize, DISPATCH_METHOD | DISPATCH_PROPERTYGET, size_args, &size.Get()),
            S_OK);
  EXPECT_EQ(size.Get().vt, VT_I4);
  EXPECT_EQ(size.Get().lVal, 5);

  using testing::Text;
  const struct {
    const char* what;
    DISPID id;
    std::vector<VARIANT> args;
    uint32_t scode;
    std::u16string source;  // empty: not checked
    std::u16string description;
  } cases[] = {
      {"same file twice",
       kAddUploadFile,
       {Text(u"b"), Text(file)},
       0x800A270F,
       u"CompondFile:AddUploadFile Method",
       DefaultDescription(err::kPackage)},
      {"same field twice",
       kAddFormData,
       {Text(u"F"), Text(u"2")},
       0x800A01C9,
       kLibrarySource,
       DefaultDescription(err::kDuplicateKey)},
      {"address without http://",
       kStartUpload,
       {Text(u"a"), Text(u"ftp://h/"), Text(file), testing::I4(1)},
       0x80040000,
       u"Error",
       u"错误的URL"},
      {"size of a missing file", kGetFileSize, {Text(missing)}, 0x800A0035, u"", u""},
  };
  for (const auto& c : cases) {
    Arguments args(c.args);
    Excep excep;
    excep.wCode = 7;
    EXPECT_EQ(Run(c.id, DISPATCH_METHOD, args, nullptr, &excep), DISP_E_EXCEPTION) << c.what;
    EXPECT_EQ(static_cast<uint32_t>(excep.scode), c.scode) << c.what;
    EXPECT_EQ(excep.wCode, 0) << c.what;
    EXPECT_EQ(excep.bstrHelpFile, nullptr) << c.what;
    if (!c.source.empty()) {
      EXPECT_EQ(excep.Source(), c.source) << c.what;
      EXPECT_EQ(excep.Description(), c.description) << c.what;
    } else {
      EXPECT_FALSE(excep.Description().empty()) << c.what;
    }
  }
  // Without EXCEPINFO the call still fails the same way.
  Arguments twice{testing::Text(u"f"), testing::Text(u"3")};
  EXPECT_EQ(Run(kAddFormData, DISPATCH_METHOD, twice), DISP_E_EXCEPTION);
}

TEST_F(FileUploadObject, NamesIgnoreCase) {
  const struct {
    std::vector<std::u16string> names;
    HRESULT expected;
    std::vector<DISPID> ids;
  } cases[] = {
      {{u"testok"}, S_OK, {kTestOK}},
      {{u"NEWFILENAME"}, S_OK, {kNewFileName}},
      {{u"AddFormData"}, S_OK, {kAddFormData}},
      {{u"StartUpload", u"CONTENTID", u"purl"}, S_OK, {kStartUpload, 3, 1}},
      {{u"StartUpload", u"bogus"}, DISP_E_UNKNOWNNAME, {kStartUpload, DISPID_UNKNOWN}},
      {{u"TestOK2"}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN}},
      {{u"TestO"}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN}},
      {{u"nosuch", u"sf"}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN, DISPID_UNKNOWN}},
  };
  for (const auto& c : cases) {
    std::vector<OLECHAR*> names;
    for (const auto& name : c.names) names.push_back(const_cast<OLECHAR*>(name.c_str()));
    std::vector<DISPID> ids(names.size(), 12345);
    EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names.data(), static_cast<uint32_t>(names.size()), 0,
                                    ids.data()),
              c.expected)
        << codepage::ToUtf8(c.names[0]);
    EXPECT_EQ(ids, c.ids) << codepage::ToUtf8(c.names[0]);
  }
  OLECHAR* name = const_cast<OLECHAR*>(u"TestOK");
  DISPID id = 0;
  EXPECT_EQ(object->GetIDsOfNames(IID_IDispatch, &name, 1, 0, &id), DISP_E_UNKNOWNINTERFACE);
}

// Optional parameters, defaults and named arguments, on a member of the tables that has them.
TEST(ReadArguments, OptionalDefaultsAndNamedArguments) {
  using testing::I4;
  using testing::Missing;
  using testing::Text;
  const Member& init = *InterfaceOf(ClassId::kOfficeImport).Find(0x60030000, Kind::kMethod);
  // UploadUrl, PostUrl, strPath, pColumnid, pUserName, then what each case adds.
  auto with = [](std::vector<VARIANT> tail) {
    std::vector<VARIANT> all{Text(u"http://u/"), Text(u"http://p/"), Text(u"d"), Text(u"7"),
                             Text(u"me")};
    all.insert(all.end(), tail.begin(), tail.end());
    return all;
  };
  const struct {
    const char* what;
    std::vector<VARIANT> args;
    std::vector<DISPID> named;
    HRESULT expected;
    int32_t issue;
    int32_t object_type;
  } cases[] = {
      {"both optionals omitted", with({}), {}, S_OK, 0, 1},
      {"one optional given", with({I4(4)}), {}, S_OK, 4, 1},
      {"optional passed as missing", with({Missing(), Text(u"3")}), {}, S_OK, 0, 3},
      {"second optional by name", with({I4(9)}), {6}, S_OK, 0, 9},
      {"optional named twice", with({I4(1), I4(2)}), {6, 6}, DISP_E_PARAMNOTFOUND, 0, 0},
      {"required passed as missing",
       {Text(u"u"), Missing(), Text(u"d"), I4(7), Text(u"me")},
       {},
       DISP_E_PARAMNOTOPTIONAL,
       0,
       0},
  };
  for (const auto& c : cases) {
    Arguments arguments(c.args, c.named);
    std::vector<Call::Arg> args;
    EXPECT_EQ(ReadArguments(init, *arguments.Params(), args, nullptr), c.expected) << c.what;
    if (c.expected == S_OK) {
      Call call(std::move(args));
      EXPECT_EQ(call.Str(0), u"http://u/") << c.what;
      EXPECT_EQ(call.Int(3), 7) << c.what;
      EXPECT_EQ(call.Int(5), c.issue) << c.what;
      EXPECT_EQ(call.Int(6), c.object_type) << c.what;
    }
  }
}

}  // namespace
}  // namespace velmaris::server
