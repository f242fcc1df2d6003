#include "ParameterBinding.h"

#include <string.h>

#include "AdoErrors.h"
#include "OdbcText.h"

namespace kcm::ado {

namespace {

constexpr SQLULEN kDefaultOutputCharacters = 8000;

struct TypeMapping {
  SQLSMALLINT sqlType;
  SQLSMALLINT cType;
};

// The ODBC types of an ADO type. Exact numbers, dates and texts travel as text, which
// every driver converts exactly.
TypeMapping MappingOf(DataTypeEnum type) {
  switch (type) {
    case adTinyInt: case adUnsignedTinyInt: return {SQL_TINYINT, SQL_C_SBIGINT};
    case adSmallInt: case adUnsignedSmallInt: return {SQL_SMALLINT, SQL_C_SBIGINT};
    case adInteger: case adUnsignedInt: return {SQL_INTEGER, SQL_C_SBIGINT};
    case adBigInt: case adUnsignedBigInt: return {SQL_BIGINT, SQL_C_SBIGINT};
    case adBoolean: return {SQL_BIT, SQL_C_BIT};
    case adSingle: return {SQL_REAL, SQL_C_DOUBLE};
    case adDouble: return {SQL_DOUBLE, SQL_C_DOUBLE};
    case adCurrency: case adDecimal: return {SQL_DECIMAL, SQL_C_WCHAR};
    case adNumeric: case adVarNumeric: return {SQL_NUMERIC, SQL_C_WCHAR};
    case adDate: case adDBTimeStamp: return {SQL_TYPE_TIMESTAMP, SQL_C_WCHAR};
    case adDBDate: return {SQL_TYPE_DATE, SQL_C_WCHAR};
    case adDBTime: return {SQL_TYPE_TIME, SQL_C_WCHAR};
    case adChar: return {SQL_CHAR, SQL_C_WCHAR};
    case adVarChar: return {SQL_VARCHAR, SQL_C_WCHAR};
    case adLongVarChar: return {SQL_LONGVARCHAR, SQL_C_WCHAR};
    case adWChar: return {SQL_WCHAR, SQL_C_WCHAR};
    case adLongVarWChar: return {SQL_WLONGVARCHAR, SQL_C_WCHAR};
    case adBinary: return {SQL_BINARY, SQL_C_BINARY};
    case adVarBinary: return {SQL_VARBINARY, SQL_C_BINARY};
    case adLongVarBinary: return {SQL_LONGVARBINARY, SQL_C_BINARY};
    case adGUID: return {SQL_GUID, SQL_C_WCHAR};
    default: return {SQL_WVARCHAR, SQL_C_WCHAR};
  }
}

// The ADO type a value of no declared type (adEmpty, adVariant) is sent as.
DataTypeEnum TypeOfValue(const VARIANT& value) {
  switch (value.vt & ~VT_BYREF) {
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_INT: return adInteger;
    case VT_UI4: case VT_UINT: case VT_I8: case VT_UI8: return adBigInt;
    case VT_R4: case VT_R8: return adDouble;
    case VT_BOOL: return adBoolean;
    case VT_CY: case VT_DECIMAL: return adDecimal;
    case VT_DATE: return adDBTimeStamp;
    case VT_ARRAY | VT_UI1: return adVarBinary;
    default: return adVarWChar;
  }
}

SQLSMALLINT IoTypeOf(ParameterDirectionEnum direction) {
  switch (direction) {
    case adParamOutput: case adParamReturnValue: return SQL_PARAM_OUTPUT;
    case adParamInputOutput: return SQL_PARAM_INPUT_OUTPUT;
    default: return SQL_PARAM_INPUT;
  }
}

// The usual values that need no conversion to their binding's type: 32-bit integers and
// doubles. False for everything else, which VariantChangeType converts.
bool TakeExactly(const VARIANT& value, VARTYPE wanted, VARIANT* out) {
  if (wanted == VT_I8 && (value.vt == VT_I4 || value.vt == VT_INT)) {
    out->vt = VT_I8;
    out->llVal = value.lVal;
    return true;
  }
  if (wanted == VT_R8 && value.vt == VT_R8) {
    out->vt = VT_R8;
    out->dblVal = value.dblVal;
    return true;
  }
  return false;
}

bool IsNullValue(const VARIANT& value) { return value.vt == VT_EMPTY || value.vt == VT_NULL || value.vt == VT_ERROR; }

HRESULT RaiseWrongType(HRESULT number) {
  ErrorRecord record;
  record.number = number;
  record.description = L"Application uses a value of the wrong type for the current operation.";
  record.source = L"ADODB.Parameter";
  return Raise(record);
}

}  // namespace

void ParameterBinding::Reset(Slot* slot, Parameter* parameter) {
  std::vector<uint64_t> buffer = std::move(slot->buffer);
  *slot = Slot();
  slot->parameter = parameter;
  slot->buffer = std::move(buffer);
  slot->buffer.clear();
}

HRESULT ParameterBinding::Bind(OdbcStatement& statement, const std::vector<Parameter*>& parameters) {
  if (statement.Handle() != boundStatement_) boundCount_ = 0;
  if (parameters.size() < boundCount_) SQLFreeStmt(statement.Handle(), SQL_RESET_PARAMS);
  boundStatement_ = statement.Handle();
  boundCount_ = parameters.size();
  if (slots_.size() < parameters.size()) slots_.resize(parameters.size());
  for (size_t i = 0; i < parameters.size(); ++i) {
    Slot& slot = slots_[i];
    Reset(&slot, parameters[i]);
    const HRESULT prepared = Prepare(&slot);
    if (FAILED(prepared)) return prepared;
    // Bound again before every execution: SQLite keeps the length of the first one otherwise.
    const SQLRETURN bound = SQLBindParameter(statement.Handle(), static_cast<SQLUSMALLINT>(i + 1), slot.io, slot.cType,
                                             slot.sqlType, slot.columnSize, slot.digits, slot.buffer.data(),
                                             static_cast<SQLLEN>(slot.buffer.size() * sizeof(uint64_t)), &slot.length);
    if (!SQL_SUCCEEDED(bound)) return statement.Fail(L"SQLBindParameter");
  }
  return S_OK;
}

HRESULT ParameterBinding::Prepare(Slot* slot) {
  const ParameterState& state = slot->parameter->State();
  const DataTypeEnum type = state.type == adEmpty || state.type == adVariant ? TypeOfValue(state.value) : state.type;
  const TypeMapping mapping = MappingOf(type);
  slot->sqlType = mapping.sqlType;
  slot->cType = mapping.cType;
  slot->io = IoTypeOf(state.direction);
  if (type == adDecimal || type == adNumeric || type == adCurrency) {
    slot->columnSize = state.precision != 0 ? state.precision : 28;
    slot->digits = state.scale;
  }
  const HRESULT filled = slot->io == SQL_PARAM_OUTPUT ? S_OK : FillInput(slot);
  if (FAILED(filled)) return filled;
  if (slot->io == SQL_PARAM_OUTPUT) slot->length = SQL_NULL_DATA;
  // Room for what an output may bring back.
  if (slot->io != SQL_PARAM_INPUT) {
    size_t bytes = 8;
    if (slot->cType == SQL_C_WCHAR || slot->cType == SQL_C_BINARY) {
      const SQLULEN characters = state.size > 0 ? static_cast<SQLULEN>(state.size) : kDefaultOutputCharacters;
      bytes = std::max<size_t>(slot->buffer.size() * sizeof(uint64_t), (characters + 1) * sizeof(SQLWCHAR));
      if (slot->columnSize == 0 || slot->columnSize < characters) slot->columnSize = characters;
    }
    slot->buffer.resize(std::max(slot->buffer.size(), (bytes + 7) / 8));
  }
  if (slot->buffer.empty()) slot->buffer.resize(1);
  if (slot->columnSize == 0) slot->columnSize = slot->cType == SQL_C_WCHAR || slot->cType == SQL_C_BINARY ? 1 : 0;
  return S_OK;
}

HRESULT ParameterBinding::FillInput(Slot* slot) {
  const VARIANT& value = slot->parameter->State().value;
  if (IsNullValue(value)) {
    slot->length = SQL_NULL_DATA;
    return S_OK;
  }
  if (slot->cType == SQL_C_BINARY) {
    if (value.vt != (VT_ARRAY | VT_UI1) || value.parray == nullptr) return RaiseWrongType(DISP_E_TYPEMISMATCH);
    const size_t bytes = value.parray->rgsabound[0].cElements;
    slot->buffer.resize(bytes / 8 + 1);
    memcpy(slot->buffer.data(), value.parray->pvData, bytes);
    slot->length = static_cast<SQLLEN>(bytes);
    slot->columnSize = std::max<SQLULEN>(bytes, 1);
    return S_OK;
  }
  const VARTYPE wanted = slot->cType == SQL_C_SBIGINT ? VT_I8 : slot->cType == SQL_C_DOUBLE ? VT_R8 : slot->cType == SQL_C_BIT ? VT_BOOL : VT_BSTR;
  VARIANT converted = {};  // VT_EMPTY
  const bool isText = value.vt == VT_BSTR && wanted == VT_BSTR;
  const HRESULT changed = isText || TakeExactly(value, wanted, &converted) ? S_OK : VariantChangeType(&converted, &value, 0, wanted);
  if (FAILED(changed)) return RaiseWrongType(changed);
  if (wanted == VT_BSTR) {
    const BSTR source = isText ? value.bstrVal : converted.bstrVal;
    const size_t characters = SysStringLen(source);
    // UTF-16 needs at most two units per character.
    slot->buffer.resize((characters * 2 * sizeof(SQLWCHAR)) / 8 + 1);
    SQLWCHAR* target = reinterpret_cast<SQLWCHAR*>(slot->buffer.data());
    const size_t units = ToOdbcBuffer(source, characters, target);
    if (converted.vt != VT_EMPTY) VariantClear(&converted);
    slot->length = static_cast<SQLLEN>(units * sizeof(SQLWCHAR));
    if (slot->columnSize == 0) slot->columnSize = std::max<SQLULEN>(units, 1);
    return S_OK;
  }
  slot->buffer.assign(1, 0);
  if (wanted == VT_BOOL) {
    *reinterpret_cast<unsigned char*>(slot->buffer.data()) = converted.boolVal ? 1 : 0;
  } else {
    memcpy(slot->buffer.data(), &converted.llVal, 8);
  }
  slot->length = 0;
  return S_OK;
}

void ParameterBinding::ReadOutputs() {
  for (size_t i = 0; i < boundCount_; ++i) {
    if (slots_[i].io != SQL_PARAM_INPUT) ReadOutput(slots_[i]);
  }
}

void ParameterBinding::ReadOutput(Slot& slot) {
  ParameterState& state = slot.parameter->State();
  VARIANT value;
  VariantInit(&value);
  if (slot.length == SQL_NULL_DATA) {
    value.vt = VT_NULL;
  } else if (slot.cType == SQL_C_SBIGINT) {
    value.vt = VT_I8;
    memcpy(&value.llVal, slot.buffer.data(), 8);
    const VARTYPE narrow = slot.sqlType == SQL_BIGINT ? VT_I8 : slot.sqlType == SQL_SMALLINT ? VT_I2 : slot.sqlType == SQL_TINYINT ? VT_UI1 : VT_I4;
    VariantChangeType(&value, &value, 0, narrow);
  } else if (slot.cType == SQL_C_DOUBLE) {
    value.vt = VT_R8;
    memcpy(&value.dblVal, slot.buffer.data(), 8);
  } else if (slot.cType == SQL_C_BIT) {
    value.vt = VT_BOOL;
    value.boolVal = *reinterpret_cast<unsigned char*>(slot.buffer.data()) ? VARIANT_TRUE : VARIANT_FALSE;
  } else if (slot.cType == SQL_C_BINARY) {
    const size_t bytes = std::min<size_t>(static_cast<size_t>(std::max<SQLLEN>(slot.length, 0)), slot.buffer.size() * 8);
    value.parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes));
    if (value.parray != nullptr) {
      memcpy(value.parray->pvData, slot.buffer.data(), bytes);
      value.vt = VT_ARRAY | VT_UI1;
    }
  } else {
    const size_t capacity = slot.buffer.size() * 8 / sizeof(SQLWCHAR) - 1;
    const size_t characters = std::min<size_t>(static_cast<size_t>(std::max<SQLLEN>(slot.length, 0)) / sizeof(SQLWCHAR), capacity);
    const std::wstring text = FromOdbc(reinterpret_cast<const SQLWCHAR*>(slot.buffer.data()), characters);
    value.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (value.bstrVal != nullptr) value.vt = VT_BSTR;
    if (slot.sqlType == SQL_DECIMAL || slot.sqlType == SQL_NUMERIC) VariantChangeType(&value, &value, 0, VT_DECIMAL);
    if (slot.sqlType == SQL_TYPE_TIMESTAMP || slot.sqlType == SQL_TYPE_DATE || slot.sqlType == SQL_TYPE_TIME) {
      VariantChangeType(&value, &value, 0, VT_DATE);
    }
  }
  VariantClear(&state.value);
  state.value = value;
}

}  // namespace kcm::ado
