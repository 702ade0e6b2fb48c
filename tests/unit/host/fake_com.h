// A stand-in for the control library in the host's own tests: BSTRs and VARIANTs managed the way
// the library manages them, and a small dispatch object with a known member table.
#pragma once

#include <duktape.h>

#include <string>
#include <vector>

#include "host/com_api.h"

namespace velmaris::host::testing {

// String and variant functions only; host services stay null.
const ComApi& FakeApi();
// BSTRs allocated through FakeApi() and not yet freed.
int LiveStrings();

// Members (names matched without regard to case), described by its type information as well:
//   Name     1  property get/put, string
//   Concat   2  method (a, b) -> a + b as strings; proves argument order
//   Fail     3  method raising scode 0x800A01C9, source "Src", description "重复"
//   Child    4  property get -> a new FakeControl
//   Echo     5  method (x) -> x; also records the type of each argument
//   Legacy   6  method raising with wCode 53 and no scode or description
class FakeControl final : public com::IDispatch {
 public:
  FakeControl();
  static int Live();

  com::HRESULT QueryInterface(com::REFIID riid, void** object) override;
  com::ULONG AddRef() override;
  com::ULONG Release() override;
  com::HRESULT GetTypeInfoCount(uint32_t* count) override;
  com::HRESULT GetTypeInfo(uint32_t, com::LCID, com::ITypeInfo** info) override;
  com::HRESULT GetIDsOfNames(com::REFIID, com::OLECHAR** names, uint32_t count, com::LCID,
                             com::DISPID* ids) override;
  com::HRESULT Invoke(com::DISPID id, com::REFIID, com::LCID, uint16_t flags,
                      com::DISPPARAMS* params, com::VARIANT* result, com::EXCEPINFO* excep,
                      uint32_t* arg_err) override;

  std::vector<com::VARTYPE> echo_types;  // types of Echo's last arguments, in call order
  int invokes = 0;                       // calls of Invoke so far

 private:
  ~FakeControl();
  com::ULONG m_refs = 1;
  std::u16string m_name;
};

// A fresh engine with `o` bound to a FakeControl (the engine holds its only reference).
duk_context* NewEngineWithControl(FakeControl** control = nullptr);
// Evaluates `code` and returns the result as UTF-8 text, or "throw: " and the error's text.
std::string Eval(duk_context* ctx, const std::string& code);

}  // namespace velmaris::host::testing
