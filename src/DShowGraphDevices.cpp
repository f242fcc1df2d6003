// CDShowGraphBase: finding capture devices through the system device enumerator, listing
// them, and the analog input selection of a device (crossbar routes, a capture card's
// private interface).
#include <QDomDocument>
#include <QFile>
#include <QString>

#include "DevicePins.h"
#include "GraphHelpers.h"
#include "KestroCrossbar.h"
#include "KestroDShowGraphBase.h"
#include "KestroSystemHelpers.h"
#include "SourcePath.h"
#include "objidl.h"
#include "ocidl.h"
#include "oleauto.h"

namespace {

constexpr int kFriendlyNameChars = 255;
constexpr int kAnsiNameBytes = 256;

// A capture card's own input selection, known only by its identifier and the one call
// made on it: the operation in its eighteenth slot, (code, 0, 0).
DEFINE_GUID(IID_ICaptureCardInputSelect, 0x60F58A81, 0xA387, 0x4922, 0xAA, 0xAC, 0x99, 0x8B, 0xD9, 0xFB, 0xE1, 0xAA);
constexpr size_t kCardInputSelectSlot = 17;
typedef HRESULT(STDMETHODCALLTYPE* CardInputSelectFunction)(IUnknown* self, long code, long reserved1, long reserved2);

void selectCardInput(IUnknown* card, long code) {
  void* const* vtable = *reinterpret_cast<void* const* const*>(card);
  reinterpret_cast<CardInputSelectFunction>(vtable[kCardInputSelectSlot])(card, code, 0, 0);
}

// The enumerator of a device category; S_FALSE with a null enumerator when it is empty.
HRESULT enumerateCategory(const GUID& category, IEnumMoniker** devices) {
  ICreateDevEnum* enumerator = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                reinterpret_cast<void**>(&enumerator));
  if (FAILED(hr)) return hr;
  hr = enumerator->CreateClassEnumerator(category, devices, 0);
  enumerator->Release();
  return hr;
}

const GUID& inputCategory(int isVideo) {
  return isVideo ? CLSID_VideoInputDeviceCategory : CLSID_AudioInputDeviceCategory;
}

// The device's "FriendlyName", at most kFriendlyNameChars characters.
HRESULT readFriendlyName(IMoniker* moniker, std::wstring* name) {
  IPropertyBag* bag = nullptr;
  HRESULT hr = moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(&bag));
  if (FAILED(hr)) return hr;
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = nullptr;
  hr = bag->Read(L"FriendlyName", &value, nullptr);
  if (SUCCEEDED(hr) && value.vt == VT_BSTR && value.bstrVal != nullptr) {
    *name = std::wstring(value.bstrVal).substr(0, kFriendlyNameChars);
  }
  VariantClear(&value);
  bag->Release();
  return hr;
}

std::wstring displayNameOf(IMoniker* moniker) {
  LPOLESTR text = nullptr;
  if (FAILED(moniker->GetDisplayName(nullptr, nullptr, &text)) || text == nullptr) return std::wstring();
  std::wstring name(text);
  CoTaskMemFree(text);
  return name;
}

// The name as it comes back from the ANSI code page (the locale's, UTF-8 here) in at
// most kAnsiNameBytes bytes with the terminator: long names lose their tail.
std::wstring ansiRoundTrip(const std::wstring& name) {
  QByteArray ansi = QString::fromStdWString(name).toLocal8Bit();
  if (ansi.size() >= kAnsiNameBytes) {
    ansi.truncate(kAnsiNameBytes - 1);
    while (!ansi.isEmpty() && (static_cast<unsigned char>(ansi.back()) & 0xC0) == 0x80) ansi.chop(1);  // no half characters
    if (!ansi.isEmpty() && (static_cast<unsigned char>(ansi.back()) & 0x80) != 0) ansi.chop(1);
  }
  return QString::fromLocal8Bit(ansi).toStdWString();
}

// <checkDisplayName value="…"/> under the document element of the settings file beside
// the library; 1 when the file, the element or the value is missing.
unsigned checkDisplayNameSetting() {
  const QString path =
      QString::fromStdWString(kcm_getModulePath(L"KestroCommonModule.dll")) + QStringLiteral("/KestroCommonModule.xml");
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return 1;
  QDomDocument document;
  if (!document.setContent(&file)) return 1;
  const QDomElement element = document.documentElement().firstChildElement(QStringLiteral("checkDisplayName"));
  if (element.isNull() || !element.hasAttribute(QStringLiteral("value"))) return 1;
  bool ok = false;
  const unsigned value = element.attribute(QStringLiteral("value")).toUInt(&ok);
  return ok ? value : 1;
}

}  // namespace

HRESULT CDShowGraphBase::createFilter(const GUID& category, const wchar_t* friendlyName, IBaseFilter** out) {
  if (friendlyName == nullptr || out == nullptr) return E_POINTER;
  *out = nullptr;
  IEnumMoniker* devices = nullptr;
  HRESULT hr = enumerateCategory(category, &devices);
  if (FAILED(hr)) return hr;
  hr = E_INVALIDARG;
  IMoniker* moniker = nullptr;
  while (hr == E_INVALIDARG && devices != nullptr && devices->Next(1, &moniker, nullptr) == S_OK) {
    std::wstring name;
    if (SUCCEEDED(readFriendlyName(moniker, &name)) &&
        QString::fromStdWString(name).compare(QString::fromWCharArray(friendlyName), Qt::CaseInsensitive) == 0) {
      hr = moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(out));
    }
    moniker->Release();
  }
  if (devices != nullptr) devices->Release();
  return hr;
}

HRESULT CDShowGraphBase::createDeviceFilter(int isVideo, wchar_t* friendlyName, wchar_t* displayName,
                                            IBaseFilter** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  IEnumMoniker* devices = nullptr;
  HRESULT hr = enumerateCategory(inputCategory(isVideo), &devices);
  if (FAILED(hr)) return hr;
  if (devices == nullptr) return E_FAIL;
  const std::wstring wantedName = friendlyName != nullptr ? friendlyName : L"";
  const std::wstring wantedDisplayName = displayName != nullptr ? displayName : L"";
  hr = E_FAIL;
  IMoniker* moniker = nullptr;
  bool searching = true;
  while (searching && devices->Next(1, &moniker, nullptr) == S_OK) {
    std::wstring name;
    const HRESULT read = readFriendlyName(moniker, &name);
    if (FAILED(read)) {
      hr = read;  // a device that can't describe itself ends the search
      searching = false;
    } else if (ansiRoundTrip(name) == wantedName &&
               (checkDisplayNameSetting() == 0 || displayNameOf(moniker) == wantedDisplayName)) {
      hr = moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(out));
      searching = false;
    }
    moniker->Release();
  }
  devices->Release();
  return hr;
}

HRESULT CDShowGraphBase::enumDShowDeviceList(bool video, std::vector<std::pair<std::wstring, std::wstring>>& list) {
  list.emplace_back(L"None", L"None");
  ICreateDevEnum* enumerator = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                reinterpret_cast<void**>(&enumerator));
  if (hr == CO_E_NOTINITIALIZED && SUCCEEDED(CoInitialize(nullptr))) {
    hr = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                          reinterpret_cast<void**>(&enumerator));
  }
  if (FAILED(hr)) return hr;
  IEnumMoniker* devices = nullptr;
  hr = enumerator->CreateClassEnumerator(inputCategory(video), &devices, 0);
  enumerator->Release();
  if (FAILED(hr)) return hr;
  if (devices == nullptr) return S_OK;  // an empty category: the list holds "None" alone
  IMoniker* moniker = nullptr;
  while (devices->Next(1, &moniker, nullptr) == S_OK) {
    std::wstring name;
    if (SUCCEEDED(readFriendlyName(moniker, &name))) list.emplace_back(ansiRoundTrip(name), displayNameOf(moniker));
    moniker->Release();
  }
  devices->Release();
  return S_OK;
}

HRESULT CDShowGraphBase::getCrossBar(IBaseFilter* device, CCrossbar** out) {
  if (device == nullptr || out == nullptr) return E_POINTER;
  *out = nullptr;
  HRESULT result = E_FAIL;
  visitPins(device, PINDIR_INPUT, [&](IPin* pin) {
    IKsPropertySet* properties = nullptr;
    if (FAILED(pin->QueryInterface(IID_IKsPropertySet, reinterpret_cast<void**>(&properties)))) return false;
    GUID category = GUID_NULL;
    DWORD returned = 0;
    const HRESULT read = properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category,
                                         sizeof(category), &returned);
    properties->Release();
    if (FAILED(read) || category != PIN_CATEGORY_ANALOGVIDEOIN) return false;
    HRESULT built = S_OK;
    CCrossbar* crossbar = new CCrossbar(pin, &built);
    if (FAILED(built)) {
      delete crossbar;
      result = built;
      return false;
    }
    *out = crossbar;
    result = S_OK;
    return true;
  });
  return result;
}

HRESULT CDShowGraphBase::configPhysicalType(CCrossbar* crossbar, long physicalType) {
  long count = 0;
  if (crossbar == nullptr || FAILED(crossbar->GetInputCount(&count))) return S_OK;
  for (long index = 0; index < count; ++index) {
    long type = 0;
    if (SUCCEEDED(crossbar->GetInputType(index, &type)) && type == physicalType) {
      crossbar->SetInputIndex(index);
      break;
    }
  }
  return S_OK;
}

HRESULT CDShowGraphBase::configPhysicalType_3rdParty(IBaseFilter* device, long physicalType) {
  long code = -1;
  switch (physicalType) {
    case PhysConn_Video_Composite: code = 2; break;
    case PhysConn_Video_SVideo: code = 3; break;
    case PhysConn_Video_RGB: code = 0; break;
    case PhysConn_Video_YRYBY: code = 1; break;
    case PhysConn_Video_SerialDigital: code = 4; break;
    default: return S_OK;
  }
  IUnknown* card = nullptr;
  if (device == nullptr || FAILED(device->QueryInterface(IID_ICaptureCardInputSelect, reinterpret_cast<void**>(&card)))) {
    return S_OK;
  }
  selectCardInput(card, code);
  card->Release();
  return S_OK;
}
