#include "ConnectionString.h"

#include <wchar.h>
#include <wctype.h>

#include <map>

#include "AdoErrors.h"

namespace kcm::ado {

namespace {

const wchar_t kSource[] = L"ADODB.Connection";

struct CaseInsensitiveLess {
  bool operator()(const std::wstring& a, const std::wstring& b) const { return wcscasecmp(a.c_str(), b.c_str()) < 0; }
};
typedef std::map<std::wstring, std::wstring, CaseInsensitiveLess> Settings;

std::wstring Trim(const std::wstring& text) {
  const size_t first = text.find_first_not_of(L" \t\r\n");
  if (first == std::wstring::npos) return std::wstring();
  return text.substr(first, text.find_last_not_of(L" \t\r\n") - first + 1);
}

// One "value" that may be quoted with " or '; `at` is left after the closing quote.
std::wstring QuotedValue(const std::wstring& text, size_t* at) {
  const wchar_t quote = text[*at];
  std::wstring value;
  for (++*at; *at < text.size(); ++*at) {
    if (text[*at] != quote) {
      value += text[*at];
    } else if (*at + 1 < text.size() && text[*at + 1] == quote) {
      value += quote;  // a doubled quote stands for itself
      ++*at;
    } else {
      ++*at;
      break;
    }
  }
  return value;
}

bool Parse(const std::wstring& text, Settings* settings) {
  size_t at = 0;
  while (at < text.size()) {
    const size_t equals = text.find(L'=', at);
    const size_t semicolon = text.find(L';', at);
    if (equals == std::wstring::npos || (semicolon != std::wstring::npos && semicolon < equals)) {
      if (!Trim(text.substr(at, semicolon == std::wstring::npos ? std::wstring::npos : semicolon - at)).empty()) {
        return false;
      }
      if (semicolon == std::wstring::npos) break;
      at = semicolon + 1;
      continue;
    }
    const std::wstring key = Trim(text.substr(at, equals - at));
    if (key.empty()) return false;
    at = text.find_first_not_of(L" \t", equals + 1);
    std::wstring value;
    if (at != std::wstring::npos && (text[at] == L'"' || text[at] == L'\'')) {
      value = QuotedValue(text, &at);
      const size_t end = text.find(L';', at);
      if (!Trim(text.substr(at, end == std::wstring::npos ? std::wstring::npos : end - at)).empty()) return false;
      at = end == std::wstring::npos ? text.size() : end + 1;
    } else {
      const size_t end = at == std::wstring::npos ? std::wstring::npos : text.find(L';', at);
      value = at == std::wstring::npos ? std::wstring() : Trim(text.substr(at, end == std::wstring::npos ? std::wstring::npos : end - at));
      at = end == std::wstring::npos ? text.size() : end + 1;
    }
    (*settings)[key] = value;
  }
  return true;
}

std::wstring Setting(const Settings& settings, const wchar_t* key) {
  const auto found = settings.find(key);
  return found == settings.end() ? std::wstring() : found->second;
}

// An ODBC attribute; values holding separators go in braces.
std::wstring OdbcPair(const wchar_t* key, const std::wstring& value) {
  if (value.find_first_of(L";{}=") == std::wstring::npos && Trim(value) == value) return std::wstring(key) + L"=" + value + L";";
  std::wstring braced;
  for (wchar_t character : value) braced += character == L'}' ? std::wstring(L"}}") : std::wstring(1, character);
  return std::wstring(key) + L"={" + braced + L"};";
}

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix) {
  return wcsncasecmp(text.c_str(), prefix, wcslen(prefix)) == 0;
}

void TranslateFileDatabase(const Settings& settings, OdbcConnectionTarget* target) {
  // A file database must exist, as a Jet file must; an empty file is an empty database.
  target->odbcString = L"Driver=SQLite3;" + OdbcPair(L"Database", Setting(settings, L"Data Source")) + L"NoCreat=1;";
}

void TranslateSqlServer(const Settings& settings, OdbcConnectionTarget* target) {
  std::wstring server = Setting(settings, L"Data Source");
  std::wstring port;
  const size_t comma = server.rfind(L',');
  if (comma != std::wstring::npos) {
    port = Trim(server.substr(comma + 1));
    server = Trim(server.substr(0, comma));
  }
  // With a port the instance name is not needed to find the server, as SQLOLEDB does.
  const size_t backslash = server.find(L'\\');
  if (backslash != std::wstring::npos && !port.empty() && port != L"0") server.erase(backslash);
  std::wstring text = L"Driver=FreeTDS;" + OdbcPair(L"Server", server);
  if (!port.empty() && port != L"0") text += OdbcPair(L"Port", port);
  text += L"TDS_Version=7.4;";
  const std::wstring database = Setting(settings, L"Initial Catalog");
  if (!database.empty()) text += OdbcPair(L"Database", database);
  text += OdbcPair(L"UID", Setting(settings, L"User ID")) + OdbcPair(L"PWD", Setting(settings, L"Password"));
  target->odbcString = text;
  const std::wstring timeout = Setting(settings, L"Connect Timeout");
  if (!timeout.empty()) target->loginTimeout = static_cast<LONG>(wcstol(timeout.c_str(), nullptr, 10));
}

// The string without its Provider pair, for MSDASQL.
std::wstring WithoutProvider(const Settings& settings) {
  std::wstring text;
  for (const auto& [key, value] : settings) {
    if (wcscasecmp(key.c_str(), L"Provider") != 0) text += OdbcPair(key.c_str(), value);
  }
  return text;
}

}  // namespace

HRESULT TranslateConnectionString(const std::wstring& text, OdbcConnectionTarget* target) {
  Settings settings;
  const bool parsed = Parse(text, &settings);
  const std::wstring provider = Setting(settings, L"Provider");
  if (provider.empty()) {
    // Not an OLE DB string: the driver manager judges it. psqlODBC's server-side prepare
    // cannot describe the parameters of a call escape, so it is off unless asked for.
    target->odbcString = text;
    const std::wstring driver = Setting(settings, L"Driver");
    if (driver.find(L"PostgreSQL") != std::wstring::npos && Setting(settings, L"UseServerSidePrepare").empty()) {
      if (!text.empty() && text.back() != L';') target->odbcString += L';';
      target->odbcString += L"UseServerSidePrepare=0;";
    }
    target->provider = L"MSDASQL";
    return S_OK;
  }
  if (!parsed) return RaiseInvalidArgument(kSource);
  target->provider = provider;
  if (StartsWithNoCase(provider, L"Microsoft.Jet.OLEDB") || StartsWithNoCase(provider, L"Microsoft.ACE.OLEDB")) {
    TranslateFileDatabase(settings, target);
  } else if (StartsWithNoCase(provider, L"SQLOLEDB") || StartsWithNoCase(provider, L"SQLNCLI") ||
             StartsWithNoCase(provider, L"MSOLEDBSQL")) {
    TranslateSqlServer(settings, target);
  } else if (StartsWithNoCase(provider, L"MSDASQL")) {
    target->odbcString = WithoutProvider(settings);
  } else {
    return RaiseAdo(adErrProviderNotFound, kSource);
  }
  return S_OK;
}

}  // namespace kcm::ado
