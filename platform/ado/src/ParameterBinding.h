// The parameters of one execution bound to the "?" markers of a prepared statement, and
// the output values read back afterwards.
#pragma once

#include <vector>

#include "AdoParameter.h"
#include "OdbcSession.h"

namespace kcm::ado {

class ParameterBinding {
 public:
  // Binds `parameters` in order to markers 1, 2, … Raises a value that does not
  // convert to the parameter's type.
  HRESULT Bind(OdbcStatement& statement, const std::vector<Parameter*>& parameters);
  // Stores the output, input-output and return values into their parameters.
  void ReadOutputs();

 private:
  struct Slot {
    Parameter* parameter = nullptr;
    SQLSMALLINT cType = SQL_C_WCHAR;
    SQLSMALLINT sqlType = SQL_WVARCHAR;
    SQLSMALLINT io = SQL_PARAM_INPUT;
    SQLULEN columnSize = 0;
    SQLSMALLINT digits = 0;
    std::vector<uint64_t> buffer;  // 8-byte aligned for the numeric C types
    SQLLEN length = 0;
  };

  HRESULT Prepare(Slot* slot);
  HRESULT FillInput(Slot* slot);
  void ReadOutput(Slot& slot);

  std::vector<Slot> slots_;
};

}  // namespace kcm::ado
