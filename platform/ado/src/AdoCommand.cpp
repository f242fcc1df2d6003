// Command: SQL text or a stored procedure with parameters, prepared once per text and
// connection and executed as often as asked.
#include <memory>

#include "AdoClasses.h"
#include "AdoParameter.h"
#include "OdbcText.h"
#include "ParameterBinding.h"

namespace kcm::ado {

namespace {

const wchar_t kSource[] = L"ADODB.Command";

bool HasName(const ParameterState& state, const wchar_t* name) {
  const wchar_t* own = state.name.c_str();
  for (; *own == *name; ++own, ++name) {
    if (*own == 0) return true;
  }
  return false;
}

class Command final : public AdoObject<_Command> {
 public:
  Command() : AdoObject(IID__Command), parameters_(new Parameters()) {}

  STDMETHODIMP get_ActiveConnection(_Connection** connection) override { return connection_.CopyTo(connection); }
  STDMETHODIMP putref_ActiveConnection(_Connection* connection) override {
    if (connection != nullptr) connection->AddRef();
    connection_ = Ref<_Connection>(connection);
    prepared_.reset();
    return S_OK;
  }
  STDMETHODIMP get_CommandText(BSTR* text) override {
    if (text == nullptr) return E_POINTER;
    *text = SysAllocStringLen(text_.data(), static_cast<UINT>(text_.size()));
    return *text == nullptr ? E_OUTOFMEMORY : S_OK;
  }
  STDMETHODIMP put_CommandText(BSTR text) override {
    return Guarded([&] {
      text_ = text == nullptr ? L"" : text;
      return S_OK;
    });
  }
  STDMETHODIMP get_CommandType(CommandTypeEnum* type) override {
    if (type == nullptr) return E_POINTER;
    *type = type_;
    return S_OK;
  }
  STDMETHODIMP put_CommandType(CommandTypeEnum type) override {
    type_ = type;
    return S_OK;
  }
  STDMETHODIMP CreateParameter(BSTR name, DataTypeEnum type, ParameterDirectionEnum direction, ADO_LONGPTR size,
                               VARIANT value, _Parameter** parameter) override;
  STDMETHODIMP get_Parameters(ADOParameters** parameters) override { return parameters_.CopyTo(parameters); }
  STDMETHODIMP Execute(VARIANT* recordsAffected, VARIANT* parameters, LONG options, _Recordset** recordset) override;

  HRESULT Run(bool wantRows, ExecutionResult* result);

 private:
  // The statement text for `parameters` (in binding order); valid until the next call.
  const std::wstring& Sql(const std::vector<Parameter*>& parameters, const OdbcSession& session);
  // The parameters in marker order, into order_.
  void OrderForBinding();
  HRESULT Prepare(const std::shared_ptr<OdbcSession>& session, const std::wstring& sql);
  HRESULT ExecutePrepared(bool wantRows, ExecutionResult* result);

  Ref<_Connection> connection_;
  std::wstring text_;
  CommandTypeEnum type_ = adCmdUnknown;
  Ref<Parameters> parameters_;
  std::unique_ptr<OdbcStatement> prepared_;  // for preparedSql_ on its session
  std::wstring preparedSql_;
  // The columns of preparedSql_'s result when a SQLite statement was prepared (its one
  // statement keeps its shape), else -1: unknown until executed.
  SQLSMALLINT preparedColumns_ = -1;
  // Kept from one execution to the next so that repeated executions reuse their memory.
  std::vector<Parameter*> order_;
  std::wstring callSql_;
  ParameterBinding binding_;
};

STDMETHODIMP Command::CreateParameter(BSTR name, DataTypeEnum type, ParameterDirectionEnum direction,
                                      ADO_LONGPTR size, VARIANT value, _Parameter** parameter) {
  if (parameter == nullptr) return E_POINTER;
  *parameter = nullptr;
  if (direction < adParamUnknown || direction > adParamReturnValue || size < 0) return RaiseInvalidArgument(kSource);
  return Guarded([&] {
    Ref<Parameter> made = parameters_->TakeSpare();
    if (!made) made = Ref<Parameter>(new Parameter());
    ParameterState& state = made->State();
    const wchar_t* wanted = name == nullptr ? L"" : name;
    if (!HasName(state, wanted)) state.name = wanted;  // a reused parameter often has it
    state.type = type;
    state.direction = direction;
    state.size = size;
    // A missing optional value (VT_ERROR) leaves the parameter without one.
    if (value.vt != VT_ERROR && FAILED(made->SetValue(value))) return RaiseInvalidArgument(kSource);
    return made.MoveTo(parameter);
  });
}

// The return value binds to the first marker of "{? = call …}"; the rest keep their order.
void Command::OrderForBinding() {
  order_.clear();
  for (const Ref<Parameter>& item : parameters_->Items()) {
    if (item->State().direction == adParamReturnValue && type_ == adCmdStoredProc) order_.insert(order_.begin(), item.get());
    else order_.push_back(item.get());
  }
}

const std::wstring& Command::Sql(const std::vector<Parameter*>& parameters, const OdbcSession& session) {
  if (type_ == adCmdTable || type_ == adCmdTableDirect) return callSql_ = L"SELECT * FROM " + text_;
  if (type_ != adCmdStoredProc) return text_;
  const bool hasReturn = !parameters.empty() && parameters.front()->State().direction == adParamReturnValue;
  std::wstring markers;
  for (size_t i = hasReturn ? 1 : 0; i < parameters.size(); ++i) markers += markers.empty() ? L"?" : L", ?";
  if (hasReturn) return callSql_ = L"{? = call " + text_ + L"(" + markers + L")}";
  // PostgreSQL runs procedures only through CALL; the escape would make them a SELECT.
  if (session.IsPostgreSql()) return callSql_ = L"CALL " + text_ + L"(" + markers + L")";
  return callSql_ = L"{call " + text_ + L"(" + markers + L")}";
}

HRESULT Command::Prepare(const std::shared_ptr<OdbcSession>& session, const std::wstring& sql) {
  if (prepared_ && prepared_->SharedSession() == session && prepared_->Handle() != SQL_NULL_HSTMT && preparedSql_ == sql) {
    return S_OK;
  }
  prepared_.reset(new OdbcStatement(session));
  HRESULT result = prepared_->Allocate();
  if (FAILED(result)) return result;
  OdbcString text = ToOdbc(sql);
  if (!SQL_SUCCEEDED(SQLPrepareW(prepared_->Handle(), text.data(), static_cast<SQLINTEGER>(text.size())))) {
    result = prepared_->Fail(L"SQLPrepare");
    prepared_.reset();
    return result;
  }
  preparedSql_ = sql;
  preparedColumns_ = -1;
  SQLSMALLINT columns = 0;
  if (session->IsSqlite() && SQL_SUCCEEDED(SQLNumResultCols(prepared_->Handle(), &columns))) preparedColumns_ = columns;
  return S_OK;
}

HRESULT Command::Run(bool wantRows, ExecutionResult* result) {
  std::shared_ptr<OdbcSession> session;
  HRESULT outcome = SessionOf(connection_.get(), &session);
  if (FAILED(outcome)) return outcome;
  OrderForBinding();
  const std::wstring& sql = Sql(order_, *session);
  if (order_.empty() && type_ != adCmdStoredProc) return ExecuteText(session, sql, wantRows, result);
  outcome = Prepare(session, sql);
  if (FAILED(outcome)) return outcome;
  return ExecutePrepared(wantRows, result);
}

// The bindings stay on the statement between executions (each execution binds every
// marker again); a failed execution closes whatever cursor it left.
HRESULT Command::ExecutePrepared(bool wantRows, ExecutionResult* result) {
  HRESULT outcome = binding_.Bind(*prepared_, order_);
  if (SUCCEEDED(outcome)) {
    const SQLRETURN executed = SQLExecute(prepared_->Handle());
    // A row-less SQLite statement leaves nothing to collect unless its count is wanted.
    const bool nothingToCollect = preparedColumns_ == 0 && !result->countRecords;
    if (executed != SQL_NO_DATA && !SQL_SUCCEEDED(executed)) {
      outcome = prepared_->Fail(L"SQLExecute");
    } else if (executed != SQL_NO_DATA && !nothingToCollect) {
      outcome = CollectResults(*prepared_, wantRows, result);
    }
  }
  if (SUCCEEDED(outcome)) {
    binding_.ReadOutputs();
  } else {
    SQLFreeStmt(prepared_->Handle(), SQL_CLOSE);
  }
  return outcome;
}

STDMETHODIMP Command::Execute(VARIANT* recordsAffected, VARIANT* parameters, LONG options, _Recordset** recordset) {
  if (recordset != nullptr) *recordset = nullptr;
  if (parameters != nullptr && parameters->vt != VT_ERROR && parameters->vt != VT_EMPTY) {
    return RaiseInvalidArgument(kSource);
  }
  return Guarded([&] {
    const bool wantRows = recordset != nullptr && (options == adOptionUnspecified || (options & adExecuteNoRecords) == 0);
    ExecutionResult result;
    result.countRecords = wantRows || recordsAffected != nullptr;
    HRESULT outcome = Run(wantRows, &result);
    if (FAILED(outcome)) return outcome;
    if (recordsAffected != nullptr) {
      VariantClear(recordsAffected);
      recordsAffected->vt = VT_I4;
      recordsAffected->lVal = result.recordsAffected;
    }
    return wantRows ? CreateRecordsetOver(std::move(result), recordset) : S_OK;
  });
}

}  // namespace

HRESULT RunCommand(IUnknown* object, bool wantRows, ExecutionResult* result) {
  Command* command = dynamic_cast<Command*>(object);
  if (command == nullptr) return RaiseInvalidArgument(kSource);
  return command->Run(wantRows, result);
}

HRESULT CreateCommand(IUnknown*, REFIID iid, void** object) {
  return Guarded([&] { return HandOutNew(new Command(), iid, object); });
}

HRESULT CreateParameter(IUnknown*, REFIID iid, void** object) {
  return Guarded([&] { return HandOutNew(new Parameter(), iid, object); });
}

}  // namespace kcm::ado
