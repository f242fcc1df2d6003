// VariantChangeType: every conversion passes through one Number (an exact integer, an
// exact decimal or a binary real), so each type needs one reader and one writer.
#include <math.h>
#include <stdio.h>
#include <wchar.h>
#include <wctype.h>

#include <string>

#include "oleauto.h"

namespace {

typedef __int128 Int128;

struct Number {
  enum Kind { Integer, Decimal, Real } kind = Integer;
  Int128 mantissa = 0;  // Integer: the value; Decimal: the value times 10^scale
  int scale = 0;
  double real = 0;
};

constexpr int kMaxDecimalScale = 28;
const Int128 kDecimalLimit = (Int128(1) << 96);  // DECIMAL holds magnitudes below 2^96
constexpr long kDaysFrom0000To1899_12_30 = 693959;  // the civil-day number of DATE 0

Int128 PowerOfTen(int exponent) {
  Int128 value = 1;
  while (exponent-- > 0) value *= 10;
  return value;
}

// Integer division rounding half to even, as the OLE conversions round.
Int128 DivideRounded(Int128 value, Int128 divisor) {
  Int128 quotient = value / divisor;
  const Int128 remainder = value % divisor;
  const Int128 twice = (remainder < 0 ? -remainder : remainder) * 2;
  if (twice > divisor || (twice == divisor && (quotient & 1) != 0)) quotient += value < 0 ? -1 : 1;
  return quotient;
}

double ToDouble(const Number& number) {
  switch (number.kind) {
    case Number::Integer: return static_cast<double>(number.mantissa);
    case Number::Decimal: return static_cast<double>(static_cast<long double>(number.mantissa) / static_cast<long double>(PowerOfTen(number.scale)));
    default: return number.real;
  }
}

HRESULT ToInteger(const Number& number, Int128* value) {
  if (number.kind == Number::Integer) {
    *value = number.mantissa;
  } else if (number.kind == Number::Decimal) {
    *value = DivideRounded(number.mantissa, PowerOfTen(number.scale));
  } else {
    if (!isfinite(number.real) || fabs(number.real) > 1e38) return DISP_E_OVERFLOW;
    *value = static_cast<Int128>(nearbyint(number.real));
  }
  return S_OK;
}

// ---- text ----------------------------------------------------------------------------

std::wstring Trimmed(const wchar_t* text) {
  std::wstring value = text == nullptr ? std::wstring() : std::wstring(text);
  const size_t first = value.find_first_not_of(L" \t\r\n");
  if (first == std::wstring::npos) return std::wstring();
  return value.substr(first, value.find_last_not_of(L" \t\r\n") - first + 1);
}

bool ParseExact(const std::wstring& text, Number* number) {
  size_t at = 0;
  bool negative = false;
  if (at < text.size() && (text[at] == L'+' || text[at] == L'-')) negative = text[at++] == L'-';
  Int128 mantissa = 0;
  int scale = 0, digits = 0;
  bool point = false;
  for (; at < text.size(); ++at) {
    if (text[at] == L'.' && !point) {
      point = true;
    } else if (iswdigit(text[at])) {
      if (mantissa > PowerOfTen(36)) return false;
      mantissa = mantissa * 10 + (text[at] - L'0');
      ++digits;
      if (point) ++scale;
    } else {
      return false;
    }
  }
  if (digits == 0) return false;
  number->kind = scale == 0 ? Number::Integer : Number::Decimal;
  number->mantissa = negative ? -mantissa : mantissa;
  number->scale = scale;
  return true;
}

HRESULT ParseNumber(const wchar_t* source, Number* number) {
  const std::wstring text = Trimmed(source);
  if (text.empty()) return DISP_E_TYPEMISMATCH;
  if (ParseExact(text, number)) return S_OK;
  wchar_t* end = nullptr;
  const double real = wcstod(text.c_str(), &end);
  if (end == text.c_str() || *end != 0) return DISP_E_TYPEMISMATCH;
  if (!isfinite(real)) return DISP_E_OVERFLOW;
  number->kind = Number::Real;
  number->real = real;
  return S_OK;
}

long DaysFromCivil(long year, long month, long day) {
  year -= month <= 2;
  const long era = (year >= 0 ? year : year - 399) / 400;
  const long yearOfEra = year - era * 400;
  const long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra + 60;  // days since 0000-01-01 (proleptic Gregorian)
}

void CivilFromDays(long days, long* year, long* month, long* day) {
  days -= 60;
  const long era = (days >= 0 ? days : days - 146096) / 146097;
  const long dayOfEra = days - era * 146097;
  const long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const long shifted = (5 * dayOfYear + 2) / 153;
  *day = dayOfYear - (153 * shifted + 2) / 5 + 1;
  *month = shifted < 10 ? shifted + 3 : shifted - 9;
  *year = yearOfEra + era * 400 + (*month <= 2);
}

bool ParseDate(const wchar_t* source, DATE* date) {
  const std::wstring text = Trimmed(source);
  long year = 0, month = 0, day = 0, hour = 0, minute = 0;
  double second = 0;
  wchar_t rest = 0;
  const int dateFields = swscanf(text.c_str(), L"%ld-%ld-%ld %ld:%ld:%lf%lc", &year, &month, &day, &hour, &minute,
                                 &second, &rest);
  bool valid = (dateFields == 3 || dateFields == 6) && month >= 1 && month <= 12 && day >= 1 && day <= 31;
  if (!valid) {
    year = 1899, month = 12, day = 30;
    valid = swscanf(text.c_str(), L"%ld:%ld:%lf%lc", &hour, &minute, &second, &rest) == 3;
  }
  if (!valid || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second >= 60) return false;
  *date = static_cast<double>(DaysFromCivil(year, month, day) - kDaysFrom0000To1899_12_30) +
          (hour * 3600 + minute * 60 + second) / 86400.0;
  return true;
}

std::wstring DateText(DATE date) {
  const double wholeDays = floor(date);
  long seconds = lround((date - wholeDays) * 86400.0);
  long days = static_cast<long>(wholeDays) + seconds / 86400;
  seconds %= 86400;
  long year, month, day;
  CivilFromDays(days + kDaysFrom0000To1899_12_30, &year, &month, &day);
  wchar_t text[64];
  if (days == 0 && seconds != 0) {
    swprintf(text, 64, L"%02ld:%02ld:%02ld", seconds / 3600, seconds / 60 % 60, seconds % 60);
  } else if (seconds == 0) {
    swprintf(text, 64, L"%04ld-%02ld-%02ld", year, month, day);
  } else {
    swprintf(text, 64, L"%04ld-%02ld-%02ld %02ld:%02ld:%02ld", year, month, day, seconds / 3600, seconds / 60 % 60,
             seconds % 60);
  }
  return text;
}

std::wstring IntegerText(Int128 value) {
  std::wstring digits;
  const bool negative = value < 0;
  do {
    const int digit = static_cast<int>(value % 10);
    digits.insert(digits.begin(), static_cast<wchar_t>(L'0' + (digit < 0 ? -digit : digit)));
    value /= 10;
  } while (value != 0);
  return negative ? L"-" + digits : digits;
}

std::wstring NumberText(const Number& number) {
  if (number.kind == Number::Real) {
    wchar_t text[64];
    swprintf(text, 64, L"%.15G", number.real);
    return text;
  }
  std::wstring text = IntegerText(number.mantissa < 0 ? -number.mantissa : number.mantissa);
  if (number.kind == Number::Decimal && number.scale > 0) {
    if (text.size() <= static_cast<size_t>(number.scale)) text.insert(0, number.scale + 1 - text.size(), L'0');
    text.insert(text.size() - number.scale, 1, L'.');
    text.erase(text.find_last_not_of(L'0') + 1);
    if (text.back() == L'.') text.pop_back();
  }
  return number.mantissa < 0 ? L"-" + text : text;
}

// ---- reading a source ----------------------------------------------------------------

Number IntegerNumber(Int128 value) {
  Number number;
  number.mantissa = value;
  return number;
}

Number RealNumber(double value) {
  Number number;
  number.kind = Number::Real;
  number.real = value;
  return number;
}

Number DecimalNumber(const DECIMAL& value) {
  Number number;
  number.kind = Number::Decimal;
  number.mantissa = (Int128(value.Hi32) << 64) | value.Lo64;
  if (value.sign & DECIMAL_NEG) number.mantissa = -number.mantissa;
  number.scale = value.scale;
  return number;
}

// Reads the value of a non-byref source; VT_BSTR and VT_DATE are read by the caller.
HRESULT ReadNumber(const VARIANT& source, Number* number) {
  switch (source.vt) {
    case VT_EMPTY: *number = IntegerNumber(0); return S_OK;
    case VT_BOOL: *number = IntegerNumber(source.boolVal ? -1 : 0); return S_OK;
    case VT_I1: *number = IntegerNumber(source.cVal); return S_OK;
    case VT_UI1: *number = IntegerNumber(source.bVal); return S_OK;
    case VT_I2: *number = IntegerNumber(source.iVal); return S_OK;
    case VT_UI2: *number = IntegerNumber(source.uiVal); return S_OK;
    case VT_I4: case VT_INT: *number = IntegerNumber(source.lVal); return S_OK;
    case VT_UI4: case VT_UINT: *number = IntegerNumber(source.ulVal); return S_OK;
    case VT_I8: *number = IntegerNumber(source.llVal); return S_OK;
    case VT_UI8: *number = IntegerNumber(source.ullVal); return S_OK;
    case VT_R4: *number = RealNumber(source.fltVal); return S_OK;
    case VT_R8: case VT_DATE: *number = RealNumber(source.dblVal); return S_OK;
    case VT_CY: *number = IntegerNumber(source.cyVal.int64); number->kind = Number::Decimal; number->scale = 4; return S_OK;
    case VT_DECIMAL: *number = DecimalNumber(source.decVal); return S_OK;
    case VT_BSTR: return ParseNumber(source.bstrVal, number);
    case VT_NULL: return DISP_E_TYPEMISMATCH;
    default: return DISP_E_BADVARTYPE;
  }
}

// A VT_BYREF source read as the plain VARIANT it points at (no ownership taken).
HRESULT Dereferenced(const VARIANT& source, VARIANT* plain) {
  *plain = source;
  if ((source.vt & VT_BYREF) == 0) return S_OK;
  if (source.byref == nullptr) return E_INVALIDARG;
  plain->vt = source.vt & ~VT_BYREF;
  switch (plain->vt) {
    case VT_VARIANT: return Dereferenced(*source.pvarVal, plain);
    case VT_DECIMAL: plain->decVal = *source.pdecVal; plain->vt = VT_DECIMAL; return S_OK;
    case VT_BSTR: plain->bstrVal = *static_cast<BSTR*>(source.byref); return S_OK;
    case VT_I1: case VT_UI1: plain->bVal = *source.pbVal; return S_OK;
    case VT_I2: case VT_UI2: case VT_BOOL: plain->iVal = *static_cast<SHORT*>(source.byref); return S_OK;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4:
      plain->lVal = *static_cast<LONG*>(source.byref);
      return S_OK;
    case VT_I8: case VT_UI8: case VT_R8: case VT_DATE: case VT_CY:
      plain->llVal = *static_cast<LONGLONG*>(source.byref);
      return S_OK;
    default: return DISP_E_BADVARTYPE;
  }
}

// ---- writing a target ----------------------------------------------------------------

HRESULT WriteInteger(const Number& number, VARTYPE type, VARIANT* out) {
  Int128 value = 0;
  const HRESULT rounded = ToInteger(number, &value);
  if (FAILED(rounded)) return rounded;
  struct Range { VARTYPE type; Int128 low, high; };
  static const Range kRanges[] = {
      {VT_I1, -128, 127}, {VT_UI1, 0, 255}, {VT_I2, -32768, 32767}, {VT_UI2, 0, 65535},
      {VT_I4, INT32_MIN, INT32_MAX}, {VT_INT, INT32_MIN, INT32_MAX}, {VT_UI4, 0, UINT32_MAX},
      {VT_UINT, 0, UINT32_MAX}, {VT_I8, INT64_MIN, INT64_MAX}, {VT_UI8, 0, UINT64_MAX}};
  for (const Range& range : kRanges) {
    if (range.type != type) continue;
    if (value < range.low || value > range.high) return DISP_E_OVERFLOW;
    out->vt = type;
    out->ullVal = static_cast<ULONGLONG>(value);  // little-endian: the low bytes are the value
    return S_OK;
  }
  return DISP_E_BADVARTYPE;
}

HRESULT WriteDecimal(Number number, VARIANT* out) {
  if (number.kind == Number::Real) {
    if (!isfinite(number.real) || fabs(number.real) >= 7.9228162514264337593543950335e28) return DISP_E_OVERFLOW;
    wchar_t text[64];
    swprintf(text, 64, L"%.15f", number.real);  // fifteen places, then trimmed to fit below
    ParseExact(text, &number);
  }
  if (number.kind == Number::Integer) number.scale = 0;
  Int128 mantissa = number.mantissa;
  int scale = number.scale;
  while (scale > kMaxDecimalScale || ((mantissa < 0 ? -mantissa : mantissa) >= kDecimalLimit && scale > 0)) {
    mantissa = DivideRounded(mantissa, 10);
    --scale;
  }
  const Int128 magnitude = mantissa < 0 ? -mantissa : mantissa;
  if (magnitude >= kDecimalLimit) return DISP_E_OVERFLOW;
  DECIMAL value = {};
  value.scale = static_cast<BYTE>(scale);
  value.sign = mantissa < 0 ? DECIMAL_NEG : 0;
  value.Hi32 = static_cast<ULONG>(magnitude >> 64);
  value.Lo64 = static_cast<ULONGLONG>(magnitude);
  out->decVal = value;
  out->vt = VT_DECIMAL;
  return S_OK;
}

HRESULT WriteCurrency(const Number& number, VARIANT* out) {
  Number scaled = number;
  if (number.kind == Number::Real) {
    scaled.real = number.real * 10000.0;
  } else {
    const int scale = number.kind == Number::Decimal ? number.scale : 0;
    scaled.mantissa = scale <= 4 ? number.mantissa * PowerOfTen(4 - scale) : DivideRounded(number.mantissa, PowerOfTen(scale - 4));
    scaled.kind = Number::Integer;
  }
  Int128 value = 0;
  const HRESULT rounded = ToInteger(scaled, &value);
  if (FAILED(rounded)) return rounded;
  if (value < INT64_MIN || value > INT64_MAX) return DISP_E_OVERFLOW;
  out->vt = VT_CY;
  out->cyVal.int64 = static_cast<LONGLONG>(value);
  return S_OK;
}

HRESULT WriteText(const std::wstring& text, VARIANT* out) {
  BSTR value = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (value == nullptr) return E_OUTOFMEMORY;
  out->vt = VT_BSTR;
  out->bstrVal = value;
  return S_OK;
}

bool IsTextTrue(const std::wstring& text) { return wcscasecmp(text.c_str(), L"True") == 0; }
bool IsTextFalse(const std::wstring& text) { return wcscasecmp(text.c_str(), L"False") == 0; }

HRESULT ConvertToBool(const VARIANT& source, VARIANT* out) {
  out->vt = VT_BOOL;
  if (source.vt == VT_BSTR) {
    const std::wstring text = Trimmed(source.bstrVal);
    if (IsTextTrue(text) || IsTextFalse(text)) {
      out->boolVal = IsTextTrue(text) ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    }
  }
  Number number;
  const HRESULT read = ReadNumber(source, &number);
  if (FAILED(read)) return read;
  out->boolVal = ToDouble(number) != 0 || (number.kind != Number::Real && number.mantissa != 0) ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT ConvertToText(const VARIANT& source, USHORT flags, VARIANT* out) {
  if (source.vt == VT_DATE) return WriteText(DateText(source.date), out);
  if (source.vt == VT_BOOL && (flags & VARIANT_ALPHABOOL) != 0) return WriteText(source.boolVal ? L"True" : L"False", out);
  Number number;
  const HRESULT read = ReadNumber(source, &number);
  if (FAILED(read)) return read;
  if (source.vt == VT_EMPTY) return WriteText(L"", out);
  return WriteText(NumberText(number), out);
}

HRESULT ConvertToReal(const VARIANT& source, VARTYPE type, VARIANT* out) {
  if (type == VT_DATE && source.vt == VT_BSTR && ParseDate(source.bstrVal, &out->date)) {
    out->vt = VT_DATE;
    return S_OK;
  }
  Number number;
  const HRESULT read = ReadNumber(source, &number);
  if (FAILED(read)) return read;
  const double value = ToDouble(number);
  if (!isfinite(value)) return DISP_E_OVERFLOW;
  if (type == VT_R4) {
    if (fabs(value) > 3.402823466e38) return DISP_E_OVERFLOW;
    out->fltVal = static_cast<float>(value);
  } else {
    out->dblVal = value;
  }
  out->vt = type;
  return S_OK;
}

HRESULT Convert(const VARIANT& source, USHORT flags, VARTYPE type, VARIANT* out) {
  if (source.vt == VT_NULL) return type == VT_NULL ? (out->vt = VT_NULL, S_OK) : DISP_E_TYPEMISMATCH;
  switch (type) {
    case VT_EMPTY: out->vt = VT_EMPTY; return S_OK;
    case VT_NULL: return DISP_E_TYPEMISMATCH;
    case VT_BOOL: return ConvertToBool(source, out);
    case VT_BSTR: return ConvertToText(source, flags, out);
    case VT_R4: case VT_R8: case VT_DATE: return ConvertToReal(source, type, out);
    default: break;
  }
  Number number;
  const HRESULT read = ReadNumber(source, &number);
  if (FAILED(read)) return read;
  if (type == VT_DECIMAL) return WriteDecimal(number, out);
  if (type == VT_CY) return WriteCurrency(number, out);
  return WriteInteger(number, type, out);
}

}  // namespace

HRESULT WINAPI VariantChangeType(VARIANTARG* target, const VARIANTARG* source, USHORT flags, VARTYPE type) {
  if (target == nullptr || source == nullptr) return E_INVALIDARG;
  if (source->vt == type) return VariantCopy(target, source);
  VARIANT plain;
  HRESULT result = Dereferenced(*source, &plain);
  if (FAILED(result)) return result;
  if (plain.vt == type) return VariantCopy(target, &plain);
  VARIANT converted;
  VariantInit(&converted);
  result = Convert(plain, flags, type, &converted);
  if (FAILED(result)) return result;
  result = VariantClear(target);
  if (FAILED(result)) {
    VariantClear(&converted);
    return result;
  }
  *target = converted;
  return S_OK;
}

HRESULT WINAPI VariantChangeTypeEx(VARIANTARG* target, const VARIANTARG* source, LCID, USHORT flags, VARTYPE type) {
  return VariantChangeType(target, source, flags, type);
}
