// Parameter and the Parameters collection of a Command.
#pragma once

#include <string>
#include <vector>

#include "AdoObject.h"

namespace kcm::ado {

// Whether `value` owns nothing (no text, array, interface or reference): then copying
// or dropping it needs no call into the VARIANT functions.
inline bool IsPlainValue(const VARIANT& value) {
  switch (value.vt) {
    case VT_EMPTY: case VT_NULL: case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4:
    case VT_INT: case VT_UINT: case VT_I8: case VT_UI8: case VT_R4: case VT_R8: case VT_BOOL: case VT_DATE:
    case VT_CY: case VT_DECIMAL:
      return true;
    default:
      return false;
  }
}

struct ParameterState {
  std::wstring name;
  DataTypeEnum type = adEmpty;
  ParameterDirectionEnum direction = adParamInput;
  ADO_LONGPTR size = 0;
  BYTE precision = 0;
  BYTE scale = 0;
  VARIANT value = {};  // owned
};

// Asked of a parameter, answers our own Parameter object: how a collection recognises the
// parameters it can bind, without a run-time type check on every append.
constexpr GUID kIID_OwnParameter = {0x197fab7a, 0x23cf, 0x4c88, {0x8d, 0x56, 0xb6, 0xb1, 0x6b, 0xf4, 0xab, 0x69}};

class Parameter final : public AdoObject<_Parameter> {
 public:
  Parameter() : AdoObject(IID__Parameter) {}
  ~Parameter() override {
    VariantClear(&state_.value);
    SysFreeString(spareText_);
  }

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr || iid != kIID_OwnParameter) return AdoObject::QueryInterface(iid, object);
    AddRef();
    *object = this;
    return S_OK;
  }

  STDMETHODIMP get_Name(BSTR* name) override;
  STDMETHODIMP put_Name(BSTR name) override;
  STDMETHODIMP get_Value(VARIANT* value) override;
  STDMETHODIMP put_Value(VARIANT value) override;
  STDMETHODIMP get_Type(DataTypeEnum* type) override;
  STDMETHODIMP put_Type(DataTypeEnum type) override;
  STDMETHODIMP get_Direction(ParameterDirectionEnum* direction) override;
  STDMETHODIMP put_Direction(ParameterDirectionEnum direction) override;
  STDMETHODIMP get_Size(ADO_LONGPTR* size) override;
  STDMETHODIMP put_Size(ADO_LONGPTR size) override;
  STDMETHODIMP get_Precision(BYTE* precision) override;
  STDMETHODIMP put_Precision(BYTE precision) override;
  STDMETHODIMP get_NumericScale(BYTE* scale) override;
  STDMETHODIMP put_NumericScale(BYTE scale) override;

  ParameterState& State() { return state_; }
  // Copies `value` in, into the room of the text value a reset left when the new text
  // has its length.
  HRESULT SetValue(const VARIANT& value);
  // Back to a new parameter's state but for the name, which whoever takes the parameter
  // sets; a text value's room is kept for SetValue.
  void Reset();

 private:
  ParameterState state_;
  BSTR spareText_ = nullptr;
};

class Parameters final : public AdoObject<ADOParameters> {
 public:
  Parameters() : AdoObject(IID_Parameters) {}

  STDMETHODIMP get_Count(LONG* count) override;
  STDMETHODIMP get_Item(VARIANT index, _Parameter** parameter) override;
  STDMETHODIMP Append(IDispatch* parameter) override;
  STDMETHODIMP Delete(VARIANT index) override;
  STDMETHODIMP Refresh() override;

  const std::vector<Ref<Parameter>>& Items() const { return items_; }
  // A deleted parameter nobody else held, reset, or none: hosts that clear and add the
  // same parameters for every execution reuse them instead of making new ones.
  Ref<Parameter> TakeSpare();

 private:
  long Find(const VARIANT& index) const;
  std::vector<Ref<Parameter>> items_;
  std::vector<Ref<Parameter>> spares_;
};

}  // namespace kcm::ado
