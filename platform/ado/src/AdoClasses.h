// What the ADO classes ask of one another beyond their interfaces.
#pragma once

#include <memory>

#include "RowSet.h"

namespace kcm::ado {

// The open session of one of our Connections; adErrInvalidConnection (raised) otherwise.
HRESULT SessionOf(IUnknown* connection, std::shared_ptr<OdbcSession>* session);
// Runs one of our Commands as Command.Execute does, keeping rows when `wantRows`.
HRESULT RunCommand(IUnknown* command, bool wantRows, ExecutionResult* result);
// A Recordset over `result`: open on its first row set, closed when it has none.
HRESULT CreateRecordsetOver(ExecutionResult&& result, _Recordset** recordset);

HRESULT CreateConnection(IUnknown* outer, REFIID iid, void** object);
HRESULT CreateCommand(IUnknown* outer, REFIID iid, void** object);
HRESULT CreateRecordset(IUnknown* outer, REFIID iid, void** object);
HRESULT CreateParameter(IUnknown* outer, REFIID iid, void** object);

// Hands a new object out as `iid`, dropping the creation reference.
template <class Object>
HRESULT HandOutNew(Object* object, REFIID iid, void** out) {
  if (object == nullptr) return E_OUTOFMEMORY;
  const HRESULT result = object->QueryInterface(iid, out);
  object->Release();
  return result;
}

}  // namespace kcm::ado
