// Argument coercion at the dispatch boundary on every kind of variant a caller can pass: each
// type, by value and by reference (through chains of referenced variants, null and circular
// ones included), with odd high bits, BSTRs of odd byte lengths and objects. Each coercion must
// answer with one of its documented results; a by-value copy must coerce exactly as the original;
// integers must survive their own text; references to objects must balance.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "server/bstr.h"
#include "server/coerce.h"

namespace {

using namespace velmaris::com;
using velmaris::fuzz::Check;

// An object that only counts its references.
struct CountedObject final : IUnknown {
  int32_t refs = 1;
  HRESULT QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return static_cast<ULONG>(++refs); }
  ULONG Release() override { return static_cast<ULONG>(--refs); }
};

constexpr VARTYPE kTypes[] = {VT_EMPTY,   VT_NULL,    VT_I2,   VT_I4,       VT_R4,    VT_R8,
                              VT_CY,      VT_DATE,    VT_BSTR, VT_DISPATCH, VT_ERROR, VT_BOOL,
                              VT_VARIANT, VT_UNKNOWN, VT_I1,   VT_UI1,      VT_UI2,   VT_UI4,
                              VT_I8,      VT_UI8,     VT_INT,  VT_UINT};
constexpr VARTYPE kFlags[] = {0, VT_BYREF, VT_ARRAY, VT_ARRAY | VT_BYREF, 0x1000, 0x8000};

// Builds variants from the fuzzer's bytes; owns everything they point at.
class Builder {
 public:
  explicit Builder(FuzzedDataProvider& input) : m_input(input) {}
  ~Builder() {
    for (BSTR text : m_bstrs) FreeBstr(text);
  }
  Builder(const Builder&) = delete;
  Builder& operator=(const Builder&) = delete;

  VARIANT& Make(int depth) {
    VARIANT& v = m_variants.emplace_back();
    InitVariant(&v);
    const size_t pick = m_input.ConsumeIntegralInRange<size_t>(0, std::size(kTypes));
    const VARTYPE base =
        pick < std::size(kTypes)
            ? kTypes[pick]
            : static_cast<VARTYPE>(m_input.ConsumeIntegral<uint16_t>() & VT_TYPEMASK);
    const VARTYPE flag = kFlags[m_input.ConsumeIntegralInRange<size_t>(0, std::size(kFlags) - 1)];
    v.vt = static_cast<VARTYPE>(base | flag);
    if ((flag & VT_BYREF) == 0) {
      Fill(v, base);
    } else if (m_input.ConsumeIntegralInRange(0, 7) == 0) {
      v.byref = nullptr;
    } else if (base == VT_VARIANT) {
      const int target = m_input.ConsumeIntegralInRange(0, 3);
      v.pvarVal = target == 0 || depth >= 12 ? &v : &Make(depth + 1);
    } else {
      v.byref = Cell(base);
    }
    return v;
  }

  CountedObject object;

 private:
  BSTR MakeBstr() {
    if (m_input.ConsumeIntegralInRange(0, 15) == 0) return nullptr;
    // Byte lengths as a caller may allocate them: odd ones leave half a character at the end.
    const std::string bytes =
        m_input.ConsumeBytesAsString(m_input.ConsumeIntegralInRange<size_t>(0, 96));
    auto* block = static_cast<char*>(std::malloc(sizeof(uint32_t) + bytes.size() + 2));
    const auto length = static_cast<uint32_t>(bytes.size());
    std::memcpy(block, &length, sizeof length);
    std::memcpy(block + sizeof length, bytes.data(), bytes.size());
    block[sizeof length + bytes.size()] = 0;
    block[sizeof length + bytes.size() + 1] = 0;
    BSTR text = reinterpret_cast<BSTR>(block + sizeof length);
    m_bstrs.push_back(text);
    return text;
  }

  IUnknown* MakeObject() { return m_input.ConsumeBool() ? &object : nullptr; }

  void Fill(VARIANT& v, VARTYPE base) {
    if (base == VT_BSTR) {
      v.bstrVal = MakeBstr();
    } else if (base == VT_DISPATCH || base == VT_UNKNOWN) {
      v.punkVal = MakeObject();
    } else {
      v.ullVal = m_input.ConsumeIntegral<uint64_t>();
    }
  }

  void* Cell(VARTYPE base) {
    Value& cell = m_cells.emplace_back();
    if (base == VT_BSTR) {
      cell.text = MakeBstr();
    } else if (base == VT_DISPATCH || base == VT_UNKNOWN) {
      cell.object = MakeObject();
    } else {
      cell.bits = m_input.ConsumeIntegral<uint64_t>();
    }
    return &cell;
  }

  union Value {
    uint64_t bits;
    BSTR text;
    IUnknown* object;
  };

  FuzzedDataProvider& m_input;
  std::deque<VARIANT> m_variants;  // stable addresses for references
  std::deque<Value> m_cells;
  std::vector<BSTR> m_bstrs;
};

bool IsInteger(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_I8:
    case VT_UI8:
      return true;
    default:
      return false;
  }
}

struct Answers {
  bool missing = false;
  HRESULT number_result = S_OK, text_result = S_OK, flag_result = S_OK;
  int32_t number = 0;
  std::u16string text;
  bool flag = false;

  bool operator==(const Answers&) const = default;
};

Answers Coerce(const VARIANT& v) {
  Answers a;
  a.missing = IsMissing(v);
  a.number_result = ToInt32(v, a.number);
  a.text_result = ToText(v, a.text);
  a.flag_result = ToBool(v, a.flag);
  for (HRESULT hr : {a.number_result, a.text_result, a.flag_result}) {
    Check(hr == S_OK || hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW,
          "coercion answered outside its results");
  }
  if (a.number_result != S_OK) a.number = 0;
  if (a.text_result != S_OK) a.text.clear();
  if (a.flag_result != S_OK) a.flag = false;
  return a;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  Builder builder(input);
  const VARIANT& argument = builder.Make(0);
  const Answers answers = Coerce(argument);

  {
    Variant copy;
    const HRESULT copied = ToVariant(argument, copy);
    Check(copied == S_OK || copied == DISP_E_TYPEMISMATCH || copied == DISP_E_BADVARTYPE,
          "copy answered outside its results");
    if (copied == S_OK) {
      Check((copy.Get().vt & VT_BYREF) == 0, "the copy still refers to the caller's value");
      Check(Coerce(copy.Get()) == answers, "the copy coerces differently from the argument");
    }
  }
  Check(builder.object.refs == 1, "object references do not balance");

  VARIANT view;
  if (Dereference(argument, view) == S_OK && IsInteger(view.vt) && answers.number_result == S_OK) {
    Check(answers.text_result == S_OK, "an integer without text");
    Check(answers.flag_result == S_OK && answers.flag == (answers.number != 0),
          "an integer's truth differs from its value");
    const Variant text(answers.text);
    int32_t again = 0;
    Check(ToInt32(text.Get(), again) == S_OK && again == answers.number,
          "an integer does not survive its text");
  }
  return 0;
}
