// Self-registration: the class under its ProgID, its in-process server, the marks of an
// insertable ActiveX control with its toolbox bitmap and MiscStatus, and the type library
// with the interfaces it describes. Unregistering removes exactly that.
#include <windows.h>
#include <olectl.h>

#include <string>

#include "ZAXTarGzip_h.h"
#include "control/com/control_object.h"
#include "control/com/module.h"
#include "resources/resource_ids.h"

namespace zax::com {
namespace {

constexpr wchar_t kClassDescription[] = L"ZAXTarGzip Control";
constexpr WORD kTypeLibMajor = 9;
constexpr WORD kTypeLibMinor = 0;
constexpr LCID kTypeLibLocale = 0x409;

struct RegistryEntry {
  const wchar_t* key;    // under HKEY_CLASSES_ROOT; {CLSID} and {PROGID} are filled in
  const wchar_t* name;   // null: the key's default value
  const wchar_t* value;  // {CLSID}, {LIBID}, {PROGID}, {PATH}, {MISC}, {BITMAP} are filled in
};

// The keys written, in order. Every key below the two roots goes when they go.
const RegistryEntry kEntries[] = {
    {L"{PROGID}", nullptr, kClassDescription},
    {L"{PROGID}\\CLSID", nullptr, L"{CLSID}"},
    {L"CLSID\\{CLSID}", nullptr, kClassDescription},
    {L"CLSID\\{CLSID}\\InprocServer32", nullptr, L"{PATH}"},
    {L"CLSID\\{CLSID}\\InprocServer32", L"ThreadingModel", L"Apartment"},
    {L"CLSID\\{CLSID}\\ProgID", nullptr, L"{PROGID}"},
    {L"CLSID\\{CLSID}\\Control", nullptr, L""},
    {L"CLSID\\{CLSID}\\Insertable", nullptr, L""},
    {L"CLSID\\{CLSID}\\Programmable", nullptr, L""},
    {L"CLSID\\{CLSID}\\Implemented Categories\\{40FC6ED4-2438-11CF-A3DB-080036F12502}", nullptr,
     L""},
    {L"CLSID\\{CLSID}\\MiscStatus", nullptr, L"0"},
    {L"CLSID\\{CLSID}\\MiscStatus\\1", nullptr, L"{MISC}"},
    {L"CLSID\\{CLSID}\\ToolboxBitmap32", nullptr, L"{PATH}, {BITMAP}"},
    {L"CLSID\\{CLSID}\\TypeLib", nullptr, L"{LIBID}"},
    {L"CLSID\\{CLSID}\\Version", nullptr, L"9.0"},
};

const wchar_t* const kRootKeys[] = {L"{PROGID}", L"CLSID\\{CLSID}"};

std::wstring guidText(const GUID& guid) {
  wchar_t text[40];
  StringFromGUID2(guid, text, 40);
  return text;
}

// Fills the placeholders of a key or value.
std::wstring expand(const wchar_t* pattern, const std::wstring& path) {
  const std::pair<std::wstring, std::wstring> fields[] = {
      {L"{CLSID}", guidText(CLSID_ZAXTarGzip)},
      {L"{LIBID}", guidText(LIBID_ZAXTarGzip200a)},
      {L"{PROGID}", kProgId},
      {L"{PATH}", path},
      {L"{MISC}", std::to_wstring(kMiscStatus)},
      {L"{BITMAP}", std::to_wstring(IDB_TOOLBOX)},
  };
  std::wstring text = pattern;
  for (const auto& [field, value] : fields) {
    for (size_t at = text.find(field); at != std::wstring::npos; at = text.find(field, at + value.size())) {
      text.replace(at, field.size(), value);
    }
  }
  return text;
}

HRESULT writeEntry(const RegistryEntry& entry, const std::wstring& path) {
  HKEY key = nullptr;
  LONG status = RegCreateKeyExW(HKEY_CLASSES_ROOT, expand(entry.key, path).c_str(), 0, nullptr,
                                REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
  const std::wstring value = expand(entry.value, path);
  status = RegSetValueExW(key, entry.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return HRESULT_FROM_WIN32(status);
}

// A key that is not there is already removed.
HRESULT removeKeys() {
  HRESULT result = S_OK;
  for (const wchar_t* root : kRootKeys) {
    const LONG status = RegDeleteTreeW(HKEY_CLASSES_ROOT, expand(root, L"").c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) result = HRESULT_FROM_WIN32(status);
  }
  return result;
}

HRESULT unregisterTypeLib() {
  // A library that is not registered is already unregistered (UnRegisterTypeLib would
  // call that a failure).
  const std::wstring key = L"TypeLib\\" + guidText(LIBID_ZAXTarGzip200a) + L"\\" +
                           std::to_wstring(kTypeLibMajor) + L"." + std::to_wstring(kTypeLibMinor);
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return S_OK;
  RegCloseKey(handle);
  return UnRegisterTypeLib(LIBID_ZAXTarGzip200a, kTypeLibMajor, kTypeLibMinor, kTypeLibLocale,
                           SYS_WIN32);
}

}  // namespace
}  // namespace zax::com

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  using namespace zax::com;
  const std::wstring path = modulePath();
  if (path.empty()) return SELFREG_E_CLASS;
  for (const RegistryEntry& entry : kEntries) {
    if (FAILED(writeEntry(entry, path))) {
      removeKeys();
      return SELFREG_E_CLASS;
    }
  }
  // Registers the library and, through it, the two interfaces it describes.
  ITypeLib* typeLib = nullptr;
  HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_REGISTER, &typeLib);
  if (FAILED(hr)) {
    removeKeys();
    return SELFREG_E_TYPELIB;
  }
  typeLib->Release();
  return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  using namespace zax::com;
  const HRESULT typeLibResult = unregisterTypeLib();
  const HRESULT keysResult = removeKeys();
  if (FAILED(keysResult)) return SELFREG_E_CLASS;
  if (FAILED(typeLibResult)) return SELFREG_E_TYPELIB;
  return S_OK;
}
