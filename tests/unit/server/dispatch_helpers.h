// Helpers for calling IDispatch as a script engine does: arguments written in script order and
// passed in reverse, variants made and freed in one place.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "server/bstr.h"
#include "server/com.h"

namespace velmaris::server::testing {

inline com::VARIANT OfType(com::VARTYPE vt) {
  com::VARIANT v;
  com::InitVariant(&v);
  v.vt = vt;
  return v;
}

inline com::VARIANT Text(std::u16string_view text) {
  com::VARIANT v = OfType(com::VT_BSTR);
  v.bstrVal = com::AllocBstr(text);
  return v;
}

inline com::VARIANT I4(int32_t value) {
  return com::Variant(value).Detach();
}
inline com::VARIANT Bool(bool value) {
  return com::Variant(value).Detach();
}

inline com::VARIANT R8(double value) {
  com::VARIANT v = OfType(com::VT_R8);
  v.dblVal = value;
  return v;
}

inline com::VARIANT Missing() {
  com::VARIANT v = OfType(com::VT_ERROR);
  v.scode = com::DISP_E_PARAMNOTFOUND;
  return v;
}

// Arguments in script order; rgvarg holds them reversed. Owns the variants it was given.
class Arguments {
 public:
  // `named` names the last arguments written (the first entries of rgvarg), in rgvarg order.
  Arguments(std::vector<com::VARIANT> script_order = {}, std::vector<com::DISPID> named = {})
      : m_args(script_order.rbegin(), script_order.rend()), m_named(std::move(named)) {}
  Arguments(std::initializer_list<com::VARIANT> script_order)
      : Arguments(std::vector<com::VARIANT>(script_order)) {}
  ~Arguments() {
    for (auto& v : m_args) com::ClearVariant(&v);
  }
  Arguments(const Arguments&) = delete;
  Arguments& operator=(const Arguments&) = delete;

  // The value of a property put: the one named argument DISPID_PROPERTYPUT.
  static std::vector<com::DISPID> Put() { return {com::DISPID_PROPERTYPUT}; }

  com::DISPPARAMS* Params() {
    m_params = {m_args.data(), m_named.empty() ? nullptr : m_named.data(),
                static_cast<uint32_t>(m_args.size()), static_cast<uint32_t>(m_named.size())};
    return &m_params;
  }

 private:
  std::vector<com::VARIANT> m_args;
  std::vector<com::DISPID> m_named;
  com::DISPPARAMS m_params{};
};

// EXCEPINFO that frees its strings.
struct Excep : com::EXCEPINFO {
  Excep() : com::EXCEPINFO{} {}
  ~Excep() {
    com::FreeBstr(bstrSource);
    com::FreeBstr(bstrDescription);
    com::FreeBstr(bstrHelpFile);
  }
  Excep(const Excep&) = delete;
  Excep& operator=(const Excep&) = delete;
  std::u16string Source() const { return com::BstrText(bstrSource); }
  std::u16string Description() const { return com::BstrText(bstrDescription); }
};

}  // namespace velmaris::server::testing
