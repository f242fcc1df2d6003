// CDataBase: one ADO connection, its command and its recordset, the reconnect policy,
// and the CreateDataBase factory.
#include <time.h>

#include "AdoCall.h"
#include "DataBaseNames.h"
#include "KestroAdo.h"
#include "KestroCrashReport.h"
#include "KestroDataBase.h"
#include "KestroLog.h"
#include "SourcePath.h"
#include "ole2.h"
#include "processthreadsapi.h"

using Kestro::ado::Check;
using Kestro::ado::Held;
using Kestro::ado::Require;
using Kestro::ado::Variant;
using Kestro::database::CachedName;
using Kestro::database::NameIndex;

namespace {

const char kSourcePath[] = KCM_SOURCE_PATH("DataBase");
constexpr uint32_t kReconnectLimit = 10;
constexpr uint32_t kReconnectInterval = 10;  // seconds
constexpr LONG kConnectionError = static_cast<LONG>(0x80004005);

uint32_t Now() { return static_cast<uint32_t>(time(nullptr)); }

template <class Interface>
Interface* CreateAdoObject(REFCLSID clsid, REFIID iid) {
  IUnknown* unknown = nullptr;
  Check(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&unknown)));
  Interface* object = nullptr;
  HRESULT result = OleRun(unknown);
  if (SUCCEEDED(result)) result = unknown->QueryInterface(iid, reinterpret_cast<void**>(&object));
  unknown->Release();
  Check(result);
  return object;
}

template <class Interface>
void ReleaseObject(Interface** object) {
  if (*object != nullptr) (*object)->Release();
  *object = nullptr;
}

std::wstring DescriptionOf(const _com_error& error) {
  const _bstr_t description = error.Description();
  if (description.length() != 0) return static_cast<const wchar_t*>(description);
  return error.ErrorMessage();
}

}  // namespace

CDataBase::CDataBase()
    : m_reconnectCount(0),
      m_lastReconnectTime(0),
      m_reconnectLimit(kReconnectLimit),
      m_reconnectInterval(kReconnectInterval),
      m_command(nullptr),
      m_recordset(nullptr),
      m_connection(nullptr) {
  KcmAdoRegisterClasses();
  try {
    m_command = CreateAdoObject<_Command>(CLSID_Command, IID__Command);
    m_recordset = CreateAdoObject<_Recordset>(CLSID_Recordset, IID__Recordset);
    m_connection = CreateAdoObject<_Connection>(CLSID_Connection, IID__Connection);
    Check(m_command->put_CommandType(adCmdStoredProc));
  } catch (...) {
    ReleaseObject(&m_command);
    ReleaseObject(&m_recordset);
    ReleaseObject(&m_connection);
    throw;
  }
}

CDataBase::~CDataBase() {
  try {
    CloseConnection();
  } catch (...) {
    // The host is done with the object; a failed close leaves nothing to report to.
  }
  ReleaseObject(&m_command);
  ReleaseObject(&m_recordset);
  ReleaseObject(&m_connection);
}

bool CDataBase::Ex_IsValid() { return true; }

bool CDataBase::Ex_Release() {
  if (Ex_IsValid()) delete this;
  return true;
}

void* CDataBase::Ex_QueryInterface(const GUID& iid, unsigned long version) {
  return QueryUnknownEx<IDataBase>(this, IID_IDataBase, iid, version);
}

void CDataBase::ThrowError(const _com_error& error, int type) {
  m_lastError = DescriptionOf(error);
  m_error.SetError(type, m_lastError);
  throw static_cast<IADOError*>(&m_error);
}

bool CDataBase::OnExecutionFailure(_com_error& error) {
  if (IsConnectionError()) return TryConnectAgain(false, &error);
  ThrowError(error, 2);
}

bool CDataBase::OpenConnection() {
  CloseConnection();
  try {
    const _bstr_t connectionString(m_connectionString.c_str());
    const _bstr_t empty(L"");
    if (FAILED(Require(m_connection)->Open(connectionString, empty, empty, adConnectUnspecified))) {
      Check(m_connection->Open(connectionString, empty, empty, adConnectUnspecified));
    }
    Check(m_connection->put_CursorLocation(adUseClient));
    Check(Require(m_command)->putref_ActiveConnection(m_connection));
  } catch (_com_error& error) {
    ThrowError(error, 2);
  }
  m_reconnectCount = 0;
  m_lastReconnectTime = 0;
  return true;
}

bool CDataBase::CloseRecordset() {
  try {
    if (IsRecordsetOpened() && FAILED(m_recordset->Close())) Check(m_recordset->Close());
  } catch (_com_error& error) {
    ThrowError(error, 2);
  }
  return true;
}

bool CDataBase::CloseConnection() {
  CloseRecordset();
  try {
    LONG state = adStateClosed;
    Check(Require(m_connection)->get_State(&state));
    if (state != adStateClosed && FAILED(m_connection->Close())) Check(m_connection->Close());
  } catch (_com_error& error) {
    ThrowError(error, 2);
  }
  return true;
}

bool CDataBase::TryConnectAgain(bool force, _com_error* error) {
  bool reconnect = force;
  if (!force) {
    const uint32_t now = Now();
    reconnect = m_lastReconnectTime + m_reconnectInterval > now || m_reconnectCount > m_reconnectLimit;
  }
  ++m_reconnectCount;
  m_lastReconnectTime = Now();
  if (reconnect) return OpenConnection();
  if (error != nullptr) ThrowError(*error, 1);
  return false;
}

bool CDataBase::IsConnectionError() {
  try {
    if (m_connection == nullptr) return true;
    LONG state = adStateClosed;
    Check(m_connection->get_State(&state));
    if (state == adStateClosed) return true;
    Held<ADOErrors> errors;
    Check(m_connection->get_Errors(errors.Out()));
    LONG count = 0;
    Check(errors->get_Count(&count));
    for (LONG i = 0; i < count; ++i) {
      Held<ADOError> entry;
      Check(errors->get_Item(Variant(i).get(), entry.Out()));
      LONG number = 0;
      Check(entry->get_Number(&number));
      if (number == kConnectionError) return true;
    }
    return false;
  } catch (_com_error& error) {
    ThrowError(error, 2);
  }
}

bool CDataBase::IsRecordsetOpened() {
  if (m_recordset == nullptr) return false;
  try {
    LONG state = adStateClosed;
    Check(m_recordset->get_State(&state));
    return state != adStateClosed;
  } catch (_com_error& error) {
    ThrowError(error, 2);
  }
}

void CDataBase::MoveToNext() {
  try {
    Check(Require(m_recordset)->MoveNext());
  } catch (_com_error& error) {
    ThrowError(error, 2);
  }
}

void CDataBase::MoveToFirst() {
  try {
    Check(Require(m_recordset)->MoveFirst());
  } catch (_com_error& error) {
    ThrowError(error, 2);
  }
}

bool CDataBase::IsRecordsetEnd() {
  try {
    VARIANT_BOOL atEnd = VARIANT_FALSE;
    Check(Require(m_recordset)->get_EOF(&atEnd));
    return atEnd != VARIANT_FALSE;
  } catch (_com_error& error) {
    ThrowError(error, 2);
  }
}

long CDataBase::GetRecordCount() {
  if (m_recordset == nullptr) return 0;
  try {
    ADO_LONGPTR count = 0;
    Check(m_recordset->get_RecordCount(&count));
    return static_cast<long>(count);
  } catch (_com_error& error) {
    ThrowError(error, 2);
  }
}

long CDataBase::GetFieldSize(const wchar_t* name) {
  try {
    Held<ADOFields> fields;
    Check(Require(m_recordset)->get_Fields(fields.Out()));
    Held<ADOField> field;
    Check(fields->get_Item(NameIndex(name), field.Out()));
    ADO_LONGPTR size = 0;
    Check(field->get_ActualSize(&size));
    return static_cast<long>(size);
  } catch (_com_error& error) {
    ThrowError(error, 2);
  }
}

bool CDataBase::NextRecordset() {
  try {
    _Recordset* next = nullptr;
    Check(Require(m_recordset)->NextRecordset(nullptr, &next));
    // Without a next result a new, closed recordset takes the place, so that later
    // statements still have one to open.
    if (next == nullptr) next = CreateAdoObject<_Recordset>(CLSID_Recordset, IID__Recordset);
    m_recordset->Release();
    m_recordset = next;
  } catch (_com_error& error) {
    ThrowError(error, 2);
  }
  return IsRecordsetOpened();
}

void CDataBase::SetProcedureName(const wchar_t* name) {
  try {
    Check(Require(m_command)->put_CommandText(_bstr_t(name == nullptr ? L"" : name)));
    Check(m_command->put_CommandType(adCmdStoredProc));
  } catch (_com_error& error) {
    ThrowError(error, 2);
  }
}

void CDataBase::SetCommandText(const wchar_t* sql) {
  try {
    Check(Require(m_command)->put_CommandText(_bstr_t(sql == nullptr ? L"" : sql)));
    Check(m_command->put_CommandType(adCmdText));
  } catch (_com_error& error) {
    ThrowError(error, 2);
  }
}

void CDataBase::AddParameter(const wchar_t* name, long direction, long type, long size, const VARIANT& value) {
  try {
    Held<_Parameter> parameter;
    Check(Require(m_command)->CreateParameter(CachedName(name), static_cast<DataTypeEnum>(type),
                                              static_cast<ParameterDirectionEnum>(direction), size, value,
                                              parameter.Out()));
    Held<ADOParameters> parameters;
    Check(m_command->get_Parameters(parameters.Out()));
    Check(parameters->Append(parameter.get()));
  } catch (_com_error& error) {
    ThrowError(error, 2);
  }
}

void CDataBase::AddDecimalParameter(const wchar_t* name, long direction, const DECIMAL& value,
                                    unsigned char precision, unsigned char scale) {
  try {
    VARIANT decimal;
    decimal.decVal = value;
    decimal.vt = VT_DECIMAL;
    Held<_Parameter> parameter;
    Check(Require(m_command)->CreateParameter(CachedName(name), adDecimal, static_cast<ParameterDirectionEnum>(direction),
                                              sizeof(DECIMAL), decimal, parameter.Out()));
    Check(parameter->put_Precision(precision));
    Check(parameter->put_NumericScale(scale));
    Held<ADOParameters> parameters;
    Check(m_command->get_Parameters(parameters.Out()));
    Check(parameters->Append(parameter.get()));
  } catch (_com_error& error) {
    ThrowError(error, 2);
  }
}

void CDataBase::ClearParameters() {
  try {
    Held<ADOParameters> parameters;
    Check(Require(m_command)->get_Parameters(parameters.Out()));
    LONG count = 0;
    Check(parameters->get_Count(&count));
    for (LONG i = count - 1; i >= 0; --i) Check(parameters->Delete(Variant(i).get()));
  } catch (_com_error& error) {
    ThrowError(error, 2);
  }
}

void CDataBase::GetParameterValue(const wchar_t* name, VARIANT* value) {
  try {
    Check(VariantClear(Require(value)));
    Held<ADOParameters> parameters;
    Check(Require(m_command)->get_Parameters(parameters.Out()));
    Held<_Parameter> parameter;
    Check(parameters->get_Item(NameIndex(name), parameter.Out()));
    Variant current;
    Check(parameter->get_Value(current.Out()));
    Check(VariantCopy(value, &current.get()));
  } catch (_com_error& error) {
    ThrowError(error, 2);
  }
}

long CDataBase::GetReturnValue() {
  try {
    Held<ADOParameters> parameters;
    Check(Require(m_command)->get_Parameters(parameters.Out()));
    LONG count = 0;
    Check(parameters->get_Count(&count));
    for (LONG i = 0; i < count; ++i) {
      Held<_Parameter> parameter;
      Check(parameters->get_Item(Variant(i).get(), parameter.Out()));
      ParameterDirectionEnum direction = adParamInput;
      Check(parameter->get_Direction(&direction));
      if (direction != adParamReturnValue) continue;
      Variant value;
      Check(parameter->get_Value(value.Out()));
      if (value.get().vt == VT_EMPTY || value.get().vt == VT_NULL) return 0;
      Check(VariantChangeType(&value.get(), &value.get(), 0, VT_I4));
      return value.get().lVal;
    }
    return 0;
  } catch (_com_error& error) {
    ThrowError(error, 2);
  }
}

bool CDataBase::ExecuteStatement(const wchar_t* sql, bool withRecordset) {
  try {
    const _bstr_t statement(sql == nullptr ? L"" : sql);
    if (!withRecordset) {
      Check(Require(m_connection)->put_CursorLocation(adUseClient));
      Check(m_connection->Execute(statement, nullptr, adExecuteNoRecords, nullptr));
      return true;
    }
    Check(Require(m_recordset)->put_CursorLocation(adUseClient));
    VARIANT source;
    source.vt = VT_BSTR;
    source.bstrVal = statement.GetBSTR();
    VARIANT connection;
    connection.vt = VT_DISPATCH;
    connection.pdispVal = Require(m_connection);
    if (FAILED(m_recordset->Open(source, connection, adOpenForwardOnly, adLockReadOnly, adCmdText))) {
      Check(m_recordset->Open(source, connection, adOpenForwardOnly, adLockReadOnly, adCmdText));
    }
    return true;
  } catch (_com_error& error) {
    return OnExecutionFailure(error);
  }
}

bool CDataBase::ExecuteProcedure(bool withRecordset) {
  CloseRecordset();
  try {
    if (!withRecordset) {
      Check(Require(m_connection)->put_CursorLocation(adUseClient));
      Check(Require(m_command)->Execute(nullptr, nullptr, adExecuteNoRecords, nullptr));
      return true;
    }
    Check(Require(m_recordset)->putref_Source(Require(m_command)));
    Check(m_recordset->put_CursorLocation(adUseClient));
    VARIANT missing;
    Variant::Missing(&missing);
    if (FAILED(m_recordset->Open(missing, missing, adOpenForwardOnly, adLockReadOnly, adCmdUnspecified))) {
      Check(m_recordset->Open(missing, missing, adOpenForwardOnly, adLockReadOnly, adCmdUnspecified));
    }
    return true;
  } catch (_com_error& error) {
    return OnExecutionFailure(error);
  }
}

void* CreateDataBase(const GUID& iid, unsigned long version) {
  se_translator translation;
  CDataBase* object = nullptr;
  try {
    object = new CDataBase();
    void* answer = object->Ex_QueryInterface(iid, version);
    if (answer == nullptr) throw std::wstring(L"interface or version not supported");
    return answer;
  } catch (se_translator::access_violation& fault) {
    ZT_Dump_Access_violation(kSourcePath, __LINE__, fault);
  } catch (se_translator::no_memory& fault) {
    ZT_Dump_Se_translator(kSourcePath, __LINE__, fault);
  }
  KCM_RETHROW_THREAD_CANCEL
  catch (...) {
    kcm_logExpression(kSourcePath, __LINE__, "Unknow Exception", KcmLogCritical, true);
  }
  delete object;
  return nullptr;
}
