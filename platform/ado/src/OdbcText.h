// Text between wchar_t (UTF-32 here) and the ODBC wide calls' SQLWCHAR (UTF-16).
#pragma once

#include "Odbc.h"

#include <string>

namespace kcm::ado {

typedef std::basic_string<SQLWCHAR> OdbcString;

OdbcString ToOdbc(const std::wstring& text);
// Writes at most 2 * length units; answers how many.
size_t ToOdbcBuffer(const wchar_t* text, size_t length, SQLWCHAR* out);
std::wstring FromOdbc(const SQLWCHAR* text, size_t length);
void AppendFromOdbc(const SQLWCHAR* text, size_t length, std::wstring* out);
// The text as a new BSTR (null when out of memory), without an intermediate string.
BSTR BstrFromOdbc(const SQLWCHAR* text, size_t length);
inline std::wstring FromOdbc(const OdbcString& text) { return FromOdbc(text.data(), text.size()); }

}  // namespace kcm::ado
