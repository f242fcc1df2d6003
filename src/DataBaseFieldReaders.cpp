// The typed readers of CDataBase: a field of the current row, converted to the out type.
// An empty or NULL value stores 0, false or an empty string.
#include <wchar.h>

#include "AdoCall.h"
#include "DataBaseNames.h"
#include "KestroDataBase.h"

using Kestro::ado::Check;
using Kestro::ado::Held;
using Kestro::ado::Require;
using Kestro::ado::Variant;
using Kestro::database::NameIndex;

namespace {

bool IsNothing(const VARIANT& value) { return value.vt == VT_EMPTY || value.vt == VT_NULL; }

// The integer a converted VARIANT of an integer type holds.
long long SignedValue(const VARIANT& value) {
  switch (value.vt) {
    case VT_I1: return value.cVal;
    case VT_UI1: return value.bVal;
    case VT_I2: return value.iVal;
    case VT_UI2: return value.uiVal;
    case VT_I4: case VT_INT: return value.lVal;
    case VT_UI4: case VT_UINT: return value.ulVal;
    default: return value.llVal;
  }
}

}  // namespace

void CDataBase::ReadField(const wchar_t* name, VARIANT* value) {
  Held<ADOFields> fields;
  Check(Require(m_recordset)->get_Fields(fields.Out()));
  Held<ADOField> field;
  Check(fields->get_Item(NameIndex(name), field.Out()));
  Check(field->get_Value(value));
}

bool CDataBase::ReadConverted(const wchar_t* name, VARTYPE type, VARIANT* value) {
  try {
    ReadField(name, value);
    if (IsNothing(*value)) return false;
    if (value->vt != type) Check(VariantChangeType(value, value, 0, type));
    return true;
  } catch (_com_error& error) {
    ThrowError(error, 2);
  }
}

template <class Value>
bool CDataBase::ReadInteger(const wchar_t* name, VARTYPE type, Value* value) {
  Variant converted;
  *value = ReadConverted(name, type, converted.Out()) ? static_cast<Value>(SignedValue(converted.get())) : 0;
  return true;
}

bool CDataBase::GetFieldValue(const wchar_t* name, std::wstring& value) {
  Variant converted;
  if (!ReadConverted(name, VT_BSTR, converted.Out())) {
    value.clear();
    return true;
  }
  value.assign(converted.get().bstrVal, SysStringLen(converted.get().bstrVal));
  return true;
}

bool CDataBase::GetFieldValue(const wchar_t* name, wchar_t* value, int size) {
  std::wstring text;
  GetFieldValue(name, text);
  if (value == nullptr || size <= 0) return true;
  const size_t kept = std::min(text.size(), static_cast<size_t>(size - 1));
  wmemcpy(value, text.data(), kept);
  value[kept] = 0;
  return true;
}

bool CDataBase::GetFieldValue(const wchar_t* name, bool& value) {
  Variant converted;
  value = ReadConverted(name, VT_BOOL, converted.Out()) && converted.get().boolVal != VARIANT_FALSE;
  return true;
}

bool CDataBase::GetFieldValue(const wchar_t* name, double& value) {
  Variant converted;
  value = ReadConverted(name, VT_R8, converted.Out()) ? converted.get().dblVal : 0;
  return true;
}

bool CDataBase::GetFieldValue(const wchar_t* name, unsigned long& value) { return ReadInteger(name, VT_UI4, &value); }
bool CDataBase::GetFieldValue(const wchar_t* name, long long& value) { return ReadInteger(name, VT_I8, &value); }
bool CDataBase::GetFieldValue(const wchar_t* name, int& value) { return ReadInteger(name, VT_I4, &value); }
bool CDataBase::GetFieldValue(const wchar_t* name, unsigned int& value) { return ReadInteger(name, VT_UI4, &value); }
bool CDataBase::GetFieldValue(const wchar_t* name, long& value) { return ReadInteger(name, VT_I4, &value); }
bool CDataBase::GetFieldValue(const wchar_t* name, short& value) { return ReadInteger(name, VT_I2, &value); }
bool CDataBase::GetFieldValue(const wchar_t* name, unsigned short& value) { return ReadInteger(name, VT_UI2, &value); }

bool CDataBase::GetFieldValue(const wchar_t* name, unsigned long long& value) {
  Variant converted;
  value = ReadConverted(name, VT_UI8, converted.Out()) ? converted.get().ullVal : 0;
  return true;
}

bool CDataBase::GetFieldValue(const wchar_t* name, ULONG* value) {
  if (value == nullptr) ThrowError(_com_error(E_POINTER), 2);
  return ReadInteger(name, VT_UI4, value);
}

// The byte reader takes the low byte of any integer and 1 or 0 of a boolean, rather than
// refusing values above 255.
bool CDataBase::GetFieldValue(const wchar_t* name, unsigned char& value) {
  try {
    Variant raw;
    ReadField(name, raw.Out());
    const VARIANT& field = raw.get();
    switch (field.vt) {
      case VT_EMPTY: case VT_NULL: value = 0; return true;
      case VT_BOOL: value = field.boolVal != VARIANT_FALSE ? 1 : 0; return true;
      case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4: case VT_INT: case VT_UINT:
      case VT_I8: case VT_UI8:
        value = static_cast<unsigned char>(SignedValue(field) & 0xFF);
        return true;
      default: {
        Variant converted;
        Check(VariantChangeType(converted.Out(), &field, 0, VT_UI1));
        value = converted.get().bVal;
        return true;
      }
    }
  } catch (_com_error& error) {
    ThrowError(error, 2);
  }
}
