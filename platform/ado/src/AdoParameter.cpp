#include "AdoParameter.h"

#include <string.h>

#include <utility>

#include "AdoErrors.h"

namespace kcm::ado {

namespace {

const wchar_t kSource[] = L"ADODB.Parameter";
constexpr size_t kMaxSpares = 64;

template <class Value>
HRESULT Answer(Value* out, const Value& value) {
  if (out == nullptr) return E_POINTER;
  *out = value;
  return S_OK;
}

}  // namespace

void Parameter::Reset() {
  if (state_.value.vt == VT_BSTR && spareText_ == nullptr) {
    spareText_ = state_.value.bstrVal;
    state_.value.vt = VT_EMPTY;
  }
  if (IsPlainValue(state_.value)) {
    state_.value.vt = VT_EMPTY;
  } else {
    VariantClear(&state_.value);
  }
  state_.type = adEmpty;
  state_.direction = adParamInput;
  state_.size = 0;
  state_.precision = 0;
  state_.scale = 0;
}

HRESULT Parameter::SetValue(const VARIANT& value) {
  const bool reuse = value.vt == VT_BSTR && value.bstrVal != nullptr && spareText_ != nullptr &&
                     SysStringLen(spareText_) == SysStringLen(value.bstrVal);
  if (!reuse && IsPlainValue(value) && IsPlainValue(state_.value)) {
    state_.value = value;
    return S_OK;
  }
  if (!reuse) return VariantCopy(&state_.value, &value);
  VariantClear(&state_.value);
  memcpy(spareText_, value.bstrVal, SysStringByteLen(value.bstrVal));
  state_.value.vt = VT_BSTR;
  state_.value.bstrVal = std::exchange(spareText_, nullptr);
  return S_OK;
}

STDMETHODIMP Parameter::get_Name(BSTR* name) {
  if (name == nullptr) return E_POINTER;
  *name = SysAllocStringLen(state_.name.data(), static_cast<UINT>(state_.name.size()));
  return *name == nullptr ? E_OUTOFMEMORY : S_OK;
}

STDMETHODIMP Parameter::put_Name(BSTR name) {
  return Guarded([&] {
    state_.name = name == nullptr ? L"" : name;
    return S_OK;
  });
}

STDMETHODIMP Parameter::get_Value(VARIANT* value) {
  if (value == nullptr) return E_POINTER;
  VariantInit(value);
  return VariantCopy(value, &state_.value);
}

STDMETHODIMP Parameter::put_Value(VARIANT value) {
  const HRESULT result = SetValue(value);
  return FAILED(result) ? RaiseInvalidArgument(kSource) : S_OK;
}

STDMETHODIMP Parameter::get_Type(DataTypeEnum* type) { return Answer(type, state_.type); }
STDMETHODIMP Parameter::put_Type(DataTypeEnum type) { return Answer(&state_.type, type); }
STDMETHODIMP Parameter::get_Direction(ParameterDirectionEnum* direction) { return Answer(direction, state_.direction); }
STDMETHODIMP Parameter::put_Direction(ParameterDirectionEnum direction) {
  if (direction < adParamUnknown || direction > adParamReturnValue) return RaiseInvalidArgument(kSource);
  return Answer(&state_.direction, direction);
}
STDMETHODIMP Parameter::get_Size(ADO_LONGPTR* size) { return Answer(size, state_.size); }
STDMETHODIMP Parameter::put_Size(ADO_LONGPTR size) {
  if (size < 0) return RaiseInvalidArgument(kSource);
  return Answer(&state_.size, size);
}
STDMETHODIMP Parameter::get_Precision(BYTE* precision) { return Answer(precision, state_.precision); }
STDMETHODIMP Parameter::put_Precision(BYTE precision) { return Answer(&state_.precision, precision); }
STDMETHODIMP Parameter::get_NumericScale(BYTE* scale) { return Answer(scale, state_.scale); }
STDMETHODIMP Parameter::put_NumericScale(BYTE scale) { return Answer(&state_.scale, scale); }

STDMETHODIMP Parameters::get_Count(LONG* count) { return Answer(count, static_cast<LONG>(items_.size())); }

long Parameters::Find(const VARIANT& index) const {
  if (index.vt != VT_BSTR) return IndexOf(index, items_.size(), nullptr);
  std::vector<std::wstring> names;
  names.reserve(items_.size());
  for (const Ref<Parameter>& item : items_) names.push_back(item->State().name);
  return IndexOf(index, items_.size(), &names);
}

STDMETHODIMP Parameters::get_Item(VARIANT index, _Parameter** parameter) {
  if (parameter == nullptr) return E_POINTER;
  *parameter = nullptr;
  return Guarded([&] {
    const long at = Find(index);
    if (at < 0) return RaiseAdo(adErrItemNotFound, L"ADODB.Parameters");
    return items_[at].CopyTo(parameter);
  });
}

STDMETHODIMP Parameters::Append(IDispatch* object) {
  // Only our own parameters carry the state the command binds.
  void* own = nullptr;
  if (object == nullptr || FAILED(object->QueryInterface(kIID_OwnParameter, &own))) {
    return RaiseInvalidArgument(L"ADODB.Parameters");
  }
  Ref<Parameter> parameter(static_cast<Parameter*>(own));
  return Guarded([&] {
    items_.push_back(std::move(parameter));
    return S_OK;
  });
}

STDMETHODIMP Parameters::Delete(VARIANT index) {
  return Guarded([&] {
    const long at = Find(index);
    if (at < 0) return RaiseAdo(adErrItemNotFound, L"ADODB.Parameters");
    Ref<Parameter> removed = std::move(items_[at]);
    items_.erase(items_.begin() + at);
    if (removed->IsSoleReference() && spares_.size() < kMaxSpares) {
      removed->Reset();
      spares_.push_back(std::move(removed));
    }
    return S_OK;
  });
}

Ref<Parameter> Parameters::TakeSpare() {
  if (spares_.empty()) return Ref<Parameter>();
  Ref<Parameter> spare = std::move(spares_.back());
  spares_.pop_back();
  return spare;
}

STDMETHODIMP Parameters::Refresh() { return E_NOTIMPL; }

}  // namespace kcm::ado
