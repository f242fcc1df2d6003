// CADOError: the error object a database operation throws.
#include "KestroDataBase.h"

CADOError::CADOError() : m_errorType(0) {}

CADOError::~CADOError() = default;

bool CADOError::Ex_IsValid() { return true; }

bool CADOError::Ex_Release() {
  if (Ex_IsValid()) delete this;
  return true;
}

void* CADOError::Ex_QueryInterface(const GUID& iid, unsigned long version) {
  return QueryUnknownEx<IADOError>(this, IID_IADOError, iid, version);
}

const wchar_t* CADOError::GetErrorDescribe() { return m_description.c_str(); }

int CADOError::GetErrorType() { return m_errorType; }

void CADOError::SetError(int type, const std::wstring& description) {
  m_errorType = type;
  m_description = description;
}
