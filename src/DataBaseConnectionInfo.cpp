// The connection strings of CDataBase: Jet file, SQL Server by instance or by port, or
// any ODBC string.
#include <wchar.h>

#include "KestroDataBase.h"

namespace {

constexpr size_t kConnectionStringCapacity = 1024;

const wchar_t* Text(const wchar_t* text) { return text == nullptr ? L"" : text; }

}  // namespace

bool CDataBase::SetJetConnectionInfo(const wchar_t* file) {
  wchar_t text[kConnectionStringCapacity];
  swprintf(text, kConnectionStringCapacity, L"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%ls", Text(file));
  m_connectionString = text;
  return true;
}

bool CDataBase::SetSQLConnectionInfo(const wchar_t* server, const wchar_t* instance, unsigned short port,
                                     const wchar_t* database, const wchar_t* user, const wchar_t* password) {
  // The tabs and spaces in the middle go to the provider as they stand.
  static const wchar_t kHead[] =
      L"Provider=SQLOLEDB.1;Password=%ls;Persist Security Info=True;\t\t\t\t\t\t\t\t\t  "
      L"User ID=%ls;Initial Catalog=%ls;Connect Timeout=5;";
  wchar_t format[kConnectionStringCapacity];
  const bool hasInstance = instance != nullptr && instance[0] != 0;
  swprintf(format, kConnectionStringCapacity, L"%ls%ls", kHead,
           hasInstance ? L"Data Source=%ls\\%ls,%ld;" : L"Data Source=%ls,%ld;");
  wchar_t text[kConnectionStringCapacity];
  if (hasInstance) {
    swprintf(text, kConnectionStringCapacity, format, Text(password), Text(user), Text(database), Text(server), instance,
             static_cast<long>(port));
  } else {
    swprintf(text, kConnectionStringCapacity, format, Text(password), Text(user), Text(database), Text(server),
             static_cast<long>(port));
  }
  m_connectionString = text;
  return true;
}

bool CDataBase::SetConnectionString(const wchar_t* connectionString) {
  m_connectionString = Text(connectionString);
  return true;
}
