// Parameter and the Parameters collection of a Command.
#pragma once

#include <string>
#include <vector>

#include "AdoObject.h"

namespace kcm::ado {

struct ParameterState {
  std::wstring name;
  DataTypeEnum type = adEmpty;
  ParameterDirectionEnum direction = adParamInput;
  ADO_LONGPTR size = 0;
  BYTE precision = 0;
  BYTE scale = 0;
  VARIANT value = {};  // owned
};

class Parameter final : public AdoObject<_Parameter> {
 public:
  Parameter() : AdoObject(IID__Parameter) {}
  ~Parameter() override { VariantClear(&state_.value); }

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

 private:
  ParameterState state_;
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

 private:
  long Find(const VARIANT& index) const;
  std::vector<Ref<Parameter>> items_;
};

}  // namespace kcm::ado
