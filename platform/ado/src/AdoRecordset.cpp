// Recordset over a client cursor, with its Fields: every row was fetched when it opened.
#include <memory>

#include "AdoClasses.h"

namespace kcm::ado {

namespace {

const wchar_t kSource[] = L"ADODB.Recordset";

// The rows and the current position, shared by a Recordset and its Fields; the rows are
// dropped when the recordset closes, so fields of a closed recordset fail cleanly.
struct Cursor {
  std::shared_ptr<RowSet> rows;
  long position = 0;  // -1: before the first row (BOF); RowCount(): after the last (EOF)
  bool IsOpen() const { return rows != nullptr; }
  bool HasCurrentRow() const { return rows && position >= 0 && static_cast<size_t>(position) < rows->RowCount(); }
};

class Field final : public AdoObject<ADOField> {
 public:
  Field(std::shared_ptr<Cursor> cursor, size_t column) : AdoObject(IID_Field), cursor_(std::move(cursor)), column_(column) {}

  STDMETHODIMP get_Name(BSTR* name) override {
    if (name == nullptr) return E_POINTER;
    if (!cursor_->IsOpen()) return RaiseAdo(adErrObjectClosed, kSource);
    const std::wstring& text = Info().name;
    *name = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *name == nullptr ? E_OUTOFMEMORY : S_OK;
  }
  STDMETHODIMP get_Type(DataTypeEnum* type) override { return AnswerInfo(type, [](const ColumnInfo& info) { return info.type; }); }
  STDMETHODIMP get_DefinedSize(ADO_LONGPTR* size) override {
    return AnswerInfo(size, [](const ColumnInfo& info) { return static_cast<ADO_LONGPTR>(info.size); });
  }
  STDMETHODIMP get_Precision(BYTE* precision) override {
    return AnswerInfo(precision, [](const ColumnInfo& info) { return static_cast<BYTE>(std::min<SQLULEN>(info.size, 255)); });
  }
  STDMETHODIMP get_NumericScale(BYTE* scale) override {
    return AnswerInfo(scale, [](const ColumnInfo& info) { return static_cast<BYTE>(std::max<SQLSMALLINT>(info.digits, 0)); });
  }
  STDMETHODIMP get_ActualSize(ADO_LONGPTR* size) override;
  STDMETHODIMP get_Value(VARIANT* value) override {
    if (value == nullptr) return E_POINTER;
    VariantInit(value);
    const HRESULT current = CheckCurrentRow();
    if (FAILED(current)) return current;
    return VariantCopy(value, &cursor_->rows->Value(cursor_->position, column_));
  }

 private:
  const ColumnInfo& Info() const { return cursor_->rows->Columns()[column_]; }
  HRESULT CheckCurrentRow() const {
    if (!cursor_->IsOpen()) return RaiseAdo(adErrObjectClosed, kSource);
    if (!cursor_->HasCurrentRow()) return RaiseAdo(adErrNoCurrentRecord, kSource);
    return S_OK;
  }
  template <class Value, class Read>
  HRESULT AnswerInfo(Value* out, Read read) const {
    if (out == nullptr) return E_POINTER;
    if (!cursor_->IsOpen()) return RaiseAdo(adErrObjectClosed, kSource);
    *out = read(Info());
    return S_OK;
  }

  std::shared_ptr<Cursor> cursor_;
  const size_t column_;
};

STDMETHODIMP Field::get_ActualSize(ADO_LONGPTR* size) {
  if (size == nullptr) return E_POINTER;
  const HRESULT current = CheckCurrentRow();
  if (FAILED(current)) return current;
  const VARIANT& value = cursor_->rows->Value(cursor_->position, column_);
  const DataTypeEnum type = Info().type;
  const bool wide = type == adWChar || type == adVarWChar || type == adLongVarWChar;
  switch (value.vt) {
    case VT_NULL: *size = 0; break;
    case VT_BSTR: *size = static_cast<ADO_LONGPTR>(SysStringLen(value.bstrVal)) * (wide ? 2 : 1); break;
    case VT_ARRAY | VT_UI1: *size = static_cast<ADO_LONGPTR>(value.parray->rgsabound[0].cElements); break;
    case VT_I2: *size = 2; break;
    case VT_UI1: *size = 1; break;
    case VT_BOOL: *size = 2; break;
    case VT_I4: case VT_R4: *size = 4; break;
    case VT_DECIMAL: *size = sizeof(DECIMAL); break;
    default: *size = 8; break;
  }
  return S_OK;
}

class Fields final : public AdoObject<ADOFields> {
 public:
  explicit Fields(std::shared_ptr<Cursor> cursor) : AdoObject(IID_Fields), cursor_(std::move(cursor)) {
    for (size_t column = 0; column < cursor_->rows->Columns().size(); ++column) {
      items_.push_back(Ref<Field>(new Field(cursor_, column)));
    }
  }
  STDMETHODIMP get_Count(LONG* count) override {
    if (count == nullptr) return E_POINTER;
    *count = static_cast<LONG>(items_.size());
    return S_OK;
  }
  STDMETHODIMP get_Item(VARIANT index, ADOField** field) override {
    if (field == nullptr) return E_POINTER;
    *field = nullptr;
    if (!cursor_->IsOpen()) return RaiseAdo(adErrObjectClosed, kSource);
    const long at = IndexOf(index, items_.size(), &cursor_->rows->Names());
    if (at < 0) return RaiseAdo(adErrItemNotFound, L"ADODB.Fields");
    return items_[at].CopyTo(field);
  }

 private:
  std::shared_ptr<Cursor> cursor_;
  std::vector<Ref<Field>> items_;
};

class Recordset final : public AdoObject<_Recordset> {
 public:
  Recordset() : AdoObject(IID__Recordset) {}

  STDMETHODIMP get_State(LONG* state) override {
    if (state == nullptr) return E_POINTER;
    *state = IsOpen() ? adStateOpen : adStateClosed;
    return S_OK;
  }
  STDMETHODIMP get_CursorLocation(CursorLocationEnum* location) override {
    if (location == nullptr) return E_POINTER;
    *location = cursorLocation_;
    return S_OK;
  }
  STDMETHODIMP put_CursorLocation(CursorLocationEnum location) override {
    if (IsOpen()) return RaiseAdo(adErrObjectOpen, kSource);
    if (location < adUseNone || location > adUseClient) return RaiseInvalidArgument(kSource);
    cursorLocation_ = location;
    return S_OK;
  }
  STDMETHODIMP putref_Source(IDispatch* command) override {
    if (IsOpen()) return RaiseAdo(adErrObjectOpen, kSource);
    if (command != nullptr) command->AddRef();
    sourceCommand_ = Ref<IDispatch>(command);
    sourceText_.clear();
    return S_OK;
  }
  STDMETHODIMP put_Source(BSTR text) override {
    if (IsOpen()) return RaiseAdo(adErrObjectOpen, kSource);
    return Guarded([&] {
      sourceText_ = text == nullptr ? L"" : text;
      sourceCommand_ = Ref<IDispatch>();
      return S_OK;
    });
  }
  STDMETHODIMP Open(VARIANT source, VARIANT connection, CursorTypeEnum, LockTypeEnum, LONG) override;
  STDMETHODIMP Close() override {
    if (!IsOpen()) return RaiseAdo(adErrObjectClosed, kSource);
    cursor_->rows.reset();
    cursor_.reset();
    fields_ = Ref<Fields>();
    pending_.clear();
    return S_OK;
  }
  STDMETHODIMP get_EOF(VARIANT_BOOL* atEnd) override {
    return AnswerPosition(atEnd, [](const Cursor& cursor) { return static_cast<size_t>(cursor.position) >= cursor.rows->RowCount(); });
  }
  STDMETHODIMP get_BOF(VARIANT_BOOL* atStart) override {
    return AnswerPosition(atStart, [](const Cursor& cursor) { return cursor.position < 0 || cursor.rows->RowCount() == 0; });
  }
  STDMETHODIMP MoveFirst() override { return MoveTo([](const Cursor&) { return 0L; }); }
  STDMETHODIMP MoveLast() override {
    return MoveTo([](const Cursor& cursor) { return static_cast<long>(cursor.rows->RowCount()) - 1; });
  }
  STDMETHODIMP MoveNext() override {
    if (!IsOpen()) return RaiseAdo(adErrObjectClosed, kSource);
    if (static_cast<size_t>(cursor_->position) >= cursor_->rows->RowCount()) return RaiseAdo(adErrNoCurrentRecord, kSource);
    ++cursor_->position;
    return S_OK;
  }
  STDMETHODIMP MovePrevious() override {
    if (!IsOpen()) return RaiseAdo(adErrObjectClosed, kSource);
    if (cursor_->position < 0 || cursor_->rows->RowCount() == 0) return RaiseAdo(adErrNoCurrentRecord, kSource);
    --cursor_->position;
    return S_OK;
  }
  STDMETHODIMP get_RecordCount(ADO_LONGPTR* count) override {
    if (count == nullptr) return E_POINTER;
    if (!IsOpen()) return RaiseAdo(adErrObjectClosed, kSource);
    *count = static_cast<ADO_LONGPTR>(cursor_->rows->RowCount());
    return S_OK;
  }
  STDMETHODIMP get_Fields(ADOFields** fields) override {
    if (fields == nullptr) return E_POINTER;
    *fields = nullptr;
    if (!IsOpen()) return RaiseAdo(adErrObjectClosed, kSource);
    return fields_.CopyTo(fields);
  }
  STDMETHODIMP NextRecordset(VARIANT* recordsAffected, _Recordset** next) override;

  HRESULT OpenOn(ExecutionResult&& result) {
    if (result.rowSets.empty()) return S_OK;
    cursor_ = std::make_shared<Cursor>();
    cursor_->rows = std::move(result.rowSets.front());
    result.rowSets.erase(result.rowSets.begin());
    pending_ = std::move(result.rowSets);
    recordsAffected_ = result.recordsAffected;
    fields_ = Ref<Fields>(new Fields(cursor_));
    return S_OK;
  }

 private:
  bool IsOpen() const { return cursor_ && cursor_->IsOpen(); }
  template <class Test>
  HRESULT AnswerPosition(VARIANT_BOOL* out, Test test) const {
    if (out == nullptr) return E_POINTER;
    if (!IsOpen()) return RaiseAdo(adErrObjectClosed, kSource);
    *out = test(*cursor_) ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  template <class Target>
  HRESULT MoveTo(Target target) {
    if (!IsOpen()) return RaiseAdo(adErrObjectClosed, kSource);
    if (cursor_->rows->RowCount() == 0) return RaiseAdo(adErrNoCurrentRecord, kSource);
    cursor_->position = target(*cursor_);
    return S_OK;
  }
  HRESULT Run(const VARIANT& source, const VARIANT& connection, ExecutionResult* result);

  CursorLocationEnum cursorLocation_ = adUseServer;
  Ref<IDispatch> sourceCommand_;
  std::wstring sourceText_;
  std::shared_ptr<Cursor> cursor_;
  Ref<Fields> fields_;
  std::vector<std::shared_ptr<RowSet>> pending_;
  LONG recordsAffected_ = -1;
};

bool IsMissing(const VARIANT& value) { return value.vt == VT_ERROR || value.vt == VT_EMPTY || value.vt == VT_NULL; }

HRESULT Recordset::Run(const VARIANT& source, const VARIANT& connection, ExecutionResult* result) {
  IUnknown* command = sourceCommand_.get();
  std::wstring text = sourceText_;
  if (source.vt == VT_DISPATCH || source.vt == VT_UNKNOWN) {
    command = source.punkVal;
  } else if (source.vt == VT_BSTR) {
    command = nullptr;
    text = source.bstrVal == nullptr ? L"" : source.bstrVal;
  } else if (!IsMissing(source)) {
    return RaiseInvalidArgument(kSource);
  }
  if (command != nullptr) return RunCommand(command, true, result);
  if (connection.vt != VT_DISPATCH && connection.vt != VT_UNKNOWN) return RaiseAdo(adErrInvalidConnection, kSource);
  std::shared_ptr<OdbcSession> session;
  const HRESULT found = SessionOf(connection.punkVal, &session);
  if (FAILED(found)) return found;
  return ExecuteText(session, text, true, result);
}

STDMETHODIMP Recordset::Open(VARIANT source, VARIANT connection, CursorTypeEnum, LockTypeEnum, LONG) {
  if (IsOpen()) return RaiseAdo(adErrObjectOpen, kSource);
  return Guarded([&] {
    ExecutionResult result;
    const HRESULT outcome = Run(source, connection, &result);
    if (FAILED(outcome)) return outcome;
    return OpenOn(std::move(result));
  });
}

STDMETHODIMP Recordset::NextRecordset(VARIANT* recordsAffected, _Recordset** next) {
  if (next == nullptr) return E_POINTER;
  *next = nullptr;
  if (!IsOpen()) return RaiseAdo(adErrObjectClosed, kSource);
  if (recordsAffected != nullptr) {
    VariantClear(recordsAffected);
    recordsAffected->vt = VT_I4;
    recordsAffected->lVal = recordsAffected_;
  }
  if (pending_.empty()) return S_OK;
  return Guarded([&] {
    ExecutionResult rest;
    rest.rowSets = std::move(pending_);
    pending_.clear();
    return CreateRecordsetOver(std::move(rest), next);
  });
}

}  // namespace

HRESULT CreateRecordsetOver(ExecutionResult&& result, _Recordset** recordset) {
  if (recordset == nullptr) return E_POINTER;
  Ref<Recordset> made(new Recordset());
  const HRESULT opened = made->OpenOn(std::move(result));
  if (FAILED(opened)) return opened;
  return made.CopyTo(recordset);
}

HRESULT CreateRecordset(IUnknown*, REFIID iid, void** object) {
  return Guarded([&] { return HandOutNew(new Recordset(), iid, object); });
}

}  // namespace kcm::ado
