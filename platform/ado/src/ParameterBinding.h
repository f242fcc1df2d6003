// The parameters of one execution bound to the "?" markers of a prepared statement, and
// the output values read back afterwards. A command keeps one binding for all its
// executions, so the value buffers are reused rather than made again for every row.
#pragma once

#include <vector>

#include "AdoParameter.h"
#include "OdbcSession.h"

namespace kcm::ado {

class ParameterBinding {
 public:
  // Binds `parameters` in order to markers 1, 2, … Raises a value that does not
  // convert to the parameter's type. Markers bound by an earlier call and not now are
  // unbound, so the driver never reads a buffer that no parameter fills.
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
  // Forgets the previous parameter's settings; the buffer keeps its room.
  static void Reset(Slot* slot, Parameter* parameter);

  HRESULT Prepare(Slot* slot);
  HRESULT FillInput(Slot* slot);
  void ReadOutput(Slot& slot);

  std::vector<Slot> slots_;
  SQLHSTMT boundStatement_ = SQL_NULL_HSTMT;
  size_t boundCount_ = 0;  // markers of boundStatement_ that point into slots_
};

}  // namespace kcm::ado
