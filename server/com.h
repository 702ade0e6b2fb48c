// The COM binary layout the library and its hosts share: IUnknown, IDispatch, IClassFactory,
// IObjectSafety, ITypeInfo, BSTR, VARIANT, DISPPARAMS, EXCEPINFO and the type descriptions, laid
// out as the system's ABI lays them out, so the same sources build the Windows in-process server
// for x86-64 and for 32-bit x86.
#pragma once

#include <cstddef>
#include <cstdint>

// 32-bit Windows calls COM methods and the system's OLE functions __stdcall (the callee pops its
// arguments); everywhere else there is one convention.
#if defined(_WIN32) && !defined(_WIN64)
#define VELMARIS_STDCALL __stdcall
#else
#define VELMARIS_STDCALL
#endif

namespace velmaris::com {

using HRESULT = int32_t;
using ULONG = uint32_t;
using DISPID = int32_t;
using LCID = uint32_t;
using VARTYPE = uint16_t;
using VARIANT_BOOL = int16_t;
using OLECHAR = char16_t;
// A length-prefixed UTF-16 string: four bytes of byte length precede the characters, and a
// terminating zero follows them. Allocated and freed only through the library's Sys* functions.
using BSTR = OLECHAR*;

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const GUID&;
using REFCLSID = const GUID&;

inline bool operator==(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i) {
    if (a.Data4[i] != b.Data4[i]) return false;
  }
  return true;
}

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
inline constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
inline constexpr HRESULT SELFREG_E_CLASS = static_cast<HRESULT>(0x80040201u);
inline constexpr HRESULT DISP_E_UNKNOWNINTERFACE = static_cast<HRESULT>(0x80020001u);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003u);
inline constexpr HRESULT DISP_E_PARAMNOTFOUND = static_cast<HRESULT>(0x80020004u);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = static_cast<HRESULT>(0x80020006u);
inline constexpr HRESULT DISP_E_NONAMEDARGS = static_cast<HRESULT>(0x80020007u);
inline constexpr HRESULT DISP_E_BADVARTYPE = static_cast<HRESULT>(0x80020008u);
inline constexpr HRESULT DISP_E_EXCEPTION = static_cast<HRESULT>(0x80020009u);
inline constexpr HRESULT DISP_E_OVERFLOW = static_cast<HRESULT>(0x8002000Au);
inline constexpr HRESULT DISP_E_BADINDEX = static_cast<HRESULT>(0x8002000Bu);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = static_cast<HRESULT>(0x8002000Eu);
inline constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = static_cast<HRESULT>(0x8002000Fu);
inline constexpr HRESULT TYPE_E_ELEMENTNOTFOUND = static_cast<HRESULT>(0x8002802Bu);

inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr DISPID DISPID_VALUE = 0;
inline constexpr DISPID DISPID_PROPERTYPUT = -3;

inline constexpr uint16_t DISPATCH_METHOD = 1;
inline constexpr uint16_t DISPATCH_PROPERTYGET = 2;
inline constexpr uint16_t DISPATCH_PROPERTYPUT = 4;
inline constexpr uint16_t DISPATCH_PROPERTYPUTREF = 8;

enum : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_VOID = 24,
  VT_HRESULT = 25,
  VT_PTR = 26,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
  VT_TYPEMASK = 0x0FFF,
};

inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

struct IUnknown;
struct IDispatch;

// Named outside VARIANT: an anonymous struct inside its anonymous union is not standard C++.
struct VariantRecord {
  void* pvRecord;
  void* pRecInfo;
};

struct VARIANT {
  VARTYPE vt;
  uint16_t wReserved1;
  uint16_t wReserved2;
  uint16_t wReserved3;
  union {
    int64_t llVal;
    int32_t lVal;
    uint8_t bVal;
    int16_t iVal;
    float fltVal;
    double dblVal;
    VARIANT_BOOL boolVal;
    HRESULT scode;
    int64_t cyVal;
    double date;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    int8_t cVal;
    uint16_t uiVal;
    uint32_t ulVal;
    uint64_t ullVal;
    int32_t intVal;
    uint32_t uintVal;
    uint8_t* pbVal;
    int16_t* piVal;
    int32_t* plVal;
    int64_t* pllVal;
    float* pfltVal;
    double* pdblVal;
    VARIANT_BOOL* pboolVal;
    HRESULT* pscode;
    BSTR* pbstrVal;
    IUnknown** ppunkVal;
    IDispatch** ppdispVal;
    VARIANT* pvarVal;
    void* byref;
    VariantRecord record;
  };
};
using VARIANTARG = VARIANT;
static_assert(sizeof(VARIANT) == (sizeof(void*) == 8 ? 24 : 16),
              "VARIANT must keep its binary layout");

struct DISPPARAMS {
  VARIANTARG* rgvarg;  // arguments in reverse order
  DISPID* rgdispidNamedArgs;
  uint32_t cArgs;
  uint32_t cNamedArgs;
};

struct EXCEPINFO {
  uint16_t wCode;
  uint16_t wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  uint32_t dwHelpContext;
  void* pvReserved;
  HRESULT(VELMARIS_STDCALL* pfnDeferredFillIn)(EXCEPINFO*);
  HRESULT scode;
};

// Type descriptions, as ITypeInfo hands them out.
using MEMBERID = DISPID;
using HREFTYPE = uint32_t;
inline constexpr MEMBERID MEMBERID_NIL = -1;

enum TYPEKIND : int32_t {
  TKIND_ENUM,
  TKIND_RECORD,
  TKIND_MODULE,
  TKIND_INTERFACE,
  TKIND_DISPATCH,
  TKIND_COCLASS,
  TKIND_ALIAS,
  TKIND_UNION,
};
enum FUNCKIND : int32_t {
  FUNC_VIRTUAL,
  FUNC_PUREVIRTUAL,
  FUNC_NONVIRTUAL,
  FUNC_STATIC,
  FUNC_DISPATCH,
};
enum INVOKEKIND : int32_t {
  INVOKE_FUNC = 1,
  INVOKE_PROPERTYGET = 2,
  INVOKE_PROPERTYPUT = 4,
  INVOKE_PROPERTYPUTREF = 8,
};
enum CALLCONV : int32_t { CC_FASTCALL, CC_CDECL, CC_PASCAL, CC_MACPASCAL, CC_STDCALL };

inline constexpr uint16_t PARAMFLAG_FIN = 0x01;
inline constexpr uint16_t PARAMFLAG_FOUT = 0x02;
inline constexpr uint16_t PARAMFLAG_FOPT = 0x10;
inline constexpr uint16_t PARAMFLAG_FHASDEFAULT = 0x20;

inline constexpr uint16_t TYPEFLAG_FHIDDEN = 0x10;
inline constexpr uint16_t TYPEFLAG_FNONEXTENSIBLE = 0x80;
inline constexpr uint16_t TYPEFLAG_FDISPATCHABLE = 0x1000;

struct TYPEDESC {
  union {
    TYPEDESC* lptdesc;  // what a VT_PTR points to
    void* lpadesc;
    HREFTYPE hreftype;
  };
  VARTYPE vt;
};

struct IDLDESC {
  uintptr_t dwReserved;
  uint16_t wIDLFlags;
};

struct PARAMDESCEX {
  ULONG cBytes;
  VARIANTARG varDefaultValue;
};

struct PARAMDESC {
  PARAMDESCEX* pparamdescex;  // set only with PARAMFLAG_FHASDEFAULT
  uint16_t wParamFlags;
};

struct ELEMDESC {
  TYPEDESC tdesc;
  union {
    IDLDESC idldesc;
    PARAMDESC paramdesc;
  };
};

struct FUNCDESC {
  MEMBERID memid;
  HRESULT* lprgscode;
  ELEMDESC* lprgelemdescParam;
  FUNCKIND funckind;
  INVOKEKIND invkind;
  CALLCONV callconv;
  int16_t cParams;
  int16_t cParamsOpt;
  int16_t oVft;
  int16_t cScodes;
  ELEMDESC elemdescFunc;
  uint16_t wFuncFlags;
};

struct TYPEATTR {
  GUID guid;
  LCID lcid;
  uint32_t dwReserved;
  MEMBERID memidConstructor;
  MEMBERID memidDestructor;
  OLECHAR* lpstrSchema;
  ULONG cbSizeInstance;
  TYPEKIND typekind;
  uint16_t cFuncs;
  uint16_t cVars;
  uint16_t cImplTypes;
  uint16_t cbSizeVft;
  uint16_t cbAlignment;
  uint16_t wTypeFlags;
  uint16_t wMajorVerNum;
  uint16_t wMinorVerNum;
  TYPEDESC tdescAlias;
  IDLDESC idldescType;
};

inline constexpr bool k64BitLayout = sizeof(void*) == 8;
static_assert(sizeof(TYPEDESC) == (k64BitLayout ? 16 : 8) &&
                  sizeof(ELEMDESC) == (k64BitLayout ? 32 : 16),
              "type descriptions keep their layout");
static_assert(sizeof(FUNCDESC) == (k64BitLayout ? 88 : 52) &&
                  offsetof(FUNCDESC, elemdescFunc) == (k64BitLayout ? 48 : 32),
              "FUNCDESC must keep its binary layout");
static_assert(sizeof(TYPEATTR) == (k64BitLayout ? 96 : 76) &&
                  offsetof(TYPEATTR, cFuncs) == (k64BitLayout ? 48 : 44),
              "TYPEATTR must keep its binary layout");

struct VARDESC;
struct ITypeComp;
struct ITypeLib;
struct ITypeInfo;

// Interfaces: pure virtual, no virtual destructor, so each object starts with a pointer to a
// table of function pointers in declaration order, exactly as COM lays it out.
struct IUnknown {
  virtual HRESULT VELMARIS_STDCALL QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG VELMARIS_STDCALL AddRef() = 0;
  virtual ULONG VELMARIS_STDCALL Release() = 0;

 protected:
  ~IUnknown() = default;
};

struct IDispatch : IUnknown {
  virtual HRESULT VELMARIS_STDCALL GetTypeInfoCount(uint32_t* count) = 0;
  virtual HRESULT VELMARIS_STDCALL GetTypeInfo(uint32_t index, LCID lcid, ITypeInfo** info) = 0;
  virtual HRESULT VELMARIS_STDCALL GetIDsOfNames(REFIID riid, OLECHAR** names, uint32_t count,
                                                 LCID lcid, DISPID* ids) = 0;
  virtual HRESULT VELMARIS_STDCALL Invoke(DISPID id, REFIID riid, LCID lcid, uint16_t flags,
                                          DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                                          uint32_t* arg_err) = 0;

 protected:
  ~IDispatch() = default;
};

// Slots in the order of the system's own declaration; a caller may hold any of them.
struct ITypeInfo : IUnknown {
  virtual HRESULT VELMARIS_STDCALL GetTypeAttr(TYPEATTR** attr) = 0;
  virtual HRESULT VELMARIS_STDCALL GetTypeComp(ITypeComp** comp) = 0;
  virtual HRESULT VELMARIS_STDCALL GetFuncDesc(uint32_t index, FUNCDESC** desc) = 0;
  virtual HRESULT VELMARIS_STDCALL GetVarDesc(uint32_t index, VARDESC** desc) = 0;
  virtual HRESULT VELMARIS_STDCALL GetNames(MEMBERID id, BSTR* names, uint32_t max_names,
                                            uint32_t* count) = 0;
  virtual HRESULT VELMARIS_STDCALL GetRefTypeOfImplType(uint32_t index, HREFTYPE* type) = 0;
  virtual HRESULT VELMARIS_STDCALL GetImplTypeFlags(uint32_t index, int32_t* flags) = 0;
  virtual HRESULT VELMARIS_STDCALL GetIDsOfNames(OLECHAR** names, uint32_t count,
                                                 MEMBERID* ids) = 0;
  virtual HRESULT VELMARIS_STDCALL Invoke(void* instance, MEMBERID id, uint16_t flags,
                                          DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                                          uint32_t* arg_err) = 0;
  virtual HRESULT VELMARIS_STDCALL GetDocumentation(MEMBERID id, BSTR* name, BSTR* doc,
                                                    uint32_t* help_context, BSTR* help_file) = 0;
  virtual HRESULT VELMARIS_STDCALL GetDllEntry(MEMBERID id, INVOKEKIND kind, BSTR* dll, BSTR* name,
                                               uint16_t* ordinal) = 0;
  virtual HRESULT VELMARIS_STDCALL GetRefTypeInfo(HREFTYPE type, ITypeInfo** info) = 0;
  virtual HRESULT VELMARIS_STDCALL AddressOfMember(MEMBERID id, INVOKEKIND kind,
                                                   void** address) = 0;
  virtual HRESULT VELMARIS_STDCALL CreateInstance(IUnknown* outer, REFIID riid, void** object) = 0;
  virtual HRESULT VELMARIS_STDCALL GetMops(MEMBERID id, BSTR* mops) = 0;
  virtual HRESULT VELMARIS_STDCALL GetContainingTypeLib(ITypeLib** lib, uint32_t* index) = 0;
  virtual void VELMARIS_STDCALL ReleaseTypeAttr(TYPEATTR* attr) = 0;
  virtual void VELMARIS_STDCALL ReleaseFuncDesc(FUNCDESC* desc) = 0;
  virtual void VELMARIS_STDCALL ReleaseVarDesc(VARDESC* desc) = 0;

 protected:
  ~ITypeInfo() = default;
};

struct IClassFactory : IUnknown {
  virtual HRESULT VELMARIS_STDCALL CreateInstance(IUnknown* outer, REFIID riid, void** object) = 0;
  virtual HRESULT VELMARIS_STDCALL LockServer(int32_t lock) = 0;

 protected:
  ~IClassFactory() = default;
};

struct IObjectSafety : IUnknown {
  virtual HRESULT VELMARIS_STDCALL GetInterfaceSafetyOptions(const IID* riid, uint32_t* supported,
                                                             uint32_t* enabled) = 0;
  virtual HRESULT VELMARIS_STDCALL SetInterfaceSafetyOptions(const IID* riid, uint32_t mask,
                                                             uint32_t enabled) = 0;

 protected:
  ~IObjectSafety() = default;
};

// {00000000-0000-0000-C000-000000000046}
inline constexpr GUID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// {00020400-0000-0000-C000-000000000046}
inline constexpr GUID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// {00020401-0000-0000-C000-000000000046}
inline constexpr GUID IID_ITypeInfo = {0x00020401, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// {00000001-0000-0000-C000-000000000046}
inline constexpr GUID IID_IClassFactory = {
    0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// {CB5BDC81-93C1-11CF-8F20-00805F2CD064}
inline constexpr GUID IID_IObjectSafety = {
    0xCB5BDC81, 0x93C1, 0x11CF, {0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64}};
// {A6EF9860-C720-11D0-9337-00A0C90DCAA9}
inline constexpr GUID IID_IDispatchEx = {
    0xA6EF9860, 0xC720, 0x11D0, {0x93, 0x37, 0x00, 0xA0, 0xC9, 0x0D, 0xCA, 0xA9}};
// {0000010A-0000-0000-C000-000000000046}
inline constexpr GUID IID_IPersistStorage = {
    0x0000010A, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// {00000109-0000-0000-C000-000000000046}
inline constexpr GUID IID_IPersistStream = {
    0x00000109, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// {37D84F60-42CB-11CE-8135-00AA004BB851}
inline constexpr GUID IID_IPersistPropertyBag = {
    0x37D84F60, 0x42CB, 0x11CE, {0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}};
inline constexpr GUID IID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

}  // namespace velmaris::com
