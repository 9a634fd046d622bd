// Self-registration: the class under its ProgID, its in-process server, the marks of an
// insertable ActiveX control with its toolbox bitmap and MiscStatus, and the type library
// with the interfaces it describes. Unregistering removes exactly that.
//
// The MSI packages (packaging/) write the same keys and values from their own registry
// table, as installers should rather than calling this; a test compares the two. So every
// entry here is one an installer's table can hold: the marks are keys without a value
// (an installer cannot write an empty default value), and the type library is registered
// under the module's path as given, not the form the system may make of it.
//
// The 32-bit and the 64-bit control share CLSID, ProgID and type library, and each width
// registers in its own registry view. On 64-bit Windows the class keys are kept apart per
// view, but the ProgID and the type library keys are one for both; so unregistering one
// width removes only its own type library entry (win32 or win64), and the ProgID only when
// the other view holds no class entry any more.
#include "control/com/registration.h"

#include <olectl.h>

#include <cwchar>
#include <string>
#include <utility>

#include "ZAXTarGzip_h.h"
#include "common/unique_handle.h"
#include "common/version.h"
#include "control/com/com_ptr.h"
#include "control/com/control_class.h"
#include "control/com/guarded.h"
#include "control/com/module.h"
#include "resources/resource_ids.h"

namespace zax::com {
namespace {

constexpr wchar_t kClassDescription[] = L"ZAXTarGzip Control";
constexpr WORD kTypeLibMajor = ZAX_VERSION_MAJOR;
constexpr WORD kTypeLibMinor = ZAX_VERSION_MINOR;
constexpr LCID kTypeLibLocale = 0x409;
#ifdef _WIN64
constexpr SYSKIND kOwnSysKind = SYS_WIN64;
constexpr const wchar_t* kOwnSysKindKey = L"win64";
// The view of the other width's class keys (KEY_WOW64_* are ignored where there is only
// one view, such as on 32-bit Windows, which then answers with this width's own view).
constexpr REGSAM kOtherView = KEY_WOW64_32KEY;
#else
constexpr SYSKIND kOwnSysKind = SYS_WIN32;
constexpr const wchar_t* kOwnSysKindKey = L"win32";
constexpr REGSAM kOtherView = KEY_WOW64_64KEY;
#endif

struct RegistryEntry {
  const wchar_t* key;    // under HKEY_CLASSES_ROOT; {CLSID} and {PROGID} are filled in
  const wchar_t* name;   // null: the key's default value
  const wchar_t* value;  // {CLSID}, {LIBID}, {PROGID}, {PATH}, {MISC}, {BITMAP} are filled in;
                         // null: the key alone
};

// The keys written, in order. Every key below the two roots goes when they go.
const RegistryEntry kEntries[] = {
    {L"{PROGID}", nullptr, kClassDescription},
    {L"{PROGID}\\CLSID", nullptr, L"{CLSID}"},
    {L"CLSID\\{CLSID}", nullptr, kClassDescription},
    {L"CLSID\\{CLSID}\\InprocServer32", nullptr, L"{PATH}"},
    {L"CLSID\\{CLSID}\\InprocServer32", L"ThreadingModel", L"Apartment"},
    {L"CLSID\\{CLSID}\\ProgID", nullptr, L"{PROGID}"},
    // The ProgID names no version, so it is the version-independent one as well.
    {L"CLSID\\{CLSID}\\VersionIndependentProgID", nullptr, L"{PROGID}"},
    {L"CLSID\\{CLSID}\\Control", nullptr, nullptr},
    {L"CLSID\\{CLSID}\\Insertable", nullptr, nullptr},
    {L"CLSID\\{CLSID}\\Programmable", nullptr, nullptr},
    {L"CLSID\\{CLSID}\\Implemented Categories\\{40FC6ED4-2438-11CF-A3DB-080036F12502}", nullptr,
     nullptr},
    {L"CLSID\\{CLSID}\\MiscStatus", nullptr, L"0"},
    {L"CLSID\\{CLSID}\\MiscStatus\\1", nullptr, L"{MISC}"},
    {L"CLSID\\{CLSID}\\ToolboxBitmap32", nullptr, L"{PATH}, {BITMAP}"},
    {L"CLSID\\{CLSID}\\TypeLib", nullptr, L"{LIBID}"},
    {L"CLSID\\{CLSID}\\Version", nullptr, ZAX_VERSION_WIDE},
};

const wchar_t kClassKey[] = L"CLSID\\{CLSID}";
const wchar_t kProgIdKey[] = L"{PROGID}";

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
  HKEY opened = nullptr;
  LONG status = RegCreateKeyExW(HKEY_CLASSES_ROOT, expand(entry.key, path).c_str(), 0, nullptr,
                                REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &opened, nullptr);
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
  const zax::UniqueRegistryKey key(opened);
  if (entry.value == nullptr) {
    // A key alone: an earlier build registered these with an empty default value, which
    // registering over it must not leave behind (an installer's rows cannot hold one).
    RegDeleteValueW(key.get(), entry.name);
    return S_OK;
  }
  const std::wstring value = expand(entry.value, path);
  status = RegSetValueExW(key.get(), entry.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  return HRESULT_FROM_WIN32(status);
}

// Every entry in order; stops at the first that cannot be written.
HRESULT writeEntries(const std::wstring& path) {
  for (const RegistryEntry& entry : kEntries) {
    if (FAILED(writeEntry(entry, path))) return SELFREG_E_CLASS;
  }
  return S_OK;
}

bool keyExists(const std::wstring& key, REGSAM view = 0) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ | view, &handle) != ERROR_SUCCESS) {
    return false;
  }
  const zax::UniqueRegistryKey opened(handle);
  return true;
}

// A key that is not there is already removed.
HRESULT removeTree(const wchar_t* pattern) {
  const LONG status = RegDeleteTreeW(HKEY_CLASSES_ROOT, expand(pattern, L"").c_str());
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(status);
}

// This width's class, then the ProgID unless the other width's class still needs it.
HRESULT removeKeys() {
  const HRESULT classResult = removeTree(kClassKey);
  if (keyExists(expand(kClassKey, L""), kOtherView)) return classResult;
  const HRESULT progIdResult = removeTree(kProgIdKey);
  return FAILED(classResult) ? classResult : progIdResult;
}

HRESULT unregisterTypeLib() {
  // Only this width's entry: UnRegisterTypeLib removes the version key only when no entry
  // of the other width is left in it. A library that this width has not registered is
  // already unregistered (UnRegisterTypeLib would call that a failure).
  wchar_t entry[64];
  swprintf(entry, 64, L"\\%u.%u\\%lx\\%ls", kTypeLibMajor, kTypeLibMinor,
           static_cast<unsigned long>(kTypeLibLocale), kOwnSysKindKey);
  const std::wstring key = L"TypeLib\\" + guidText(LIBID_ZAXTarGzip200a) + entry;
  if (!keyExists(key)) return S_OK;
  return UnRegisterTypeLib(LIBID_ZAXTarGzip200a, kTypeLibMajor, kTypeLibMinor, kTypeLibLocale,
                           kOwnSysKind);
}

}  // namespace

HRESULT registerServer() {
  const std::wstring path = modulePath();
  if (path.empty()) return SELFREG_E_CLASS;
  // Writing that stops part way, failed or thrown out of, takes back what it wrote.
  const HRESULT written = guarded([&] { return writeEntries(path); }, SELFREG_E_CLASS);
  if (FAILED(written)) {
    removeKeys();
    return written;
  }
  // Registers the library and, through it, the two interfaces it describes: under the
  // module's path as it stands (LoadTypeLibEx would register a form of its own, Wine's
  // with a \\?\ in front), its folder as the help folder, as an installer writes it.
  ComPtr<ITypeLib> typeLib;
  std::wstring fullPath = path;
  std::wstring folder = path.substr(0, path.find_last_of(L'\\') + 1);
  if (FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, typeLib.put())) ||
      FAILED(RegisterTypeLib(typeLib.get(), fullPath.data(), folder.data()))) {
    removeKeys();
    return SELFREG_E_TYPELIB;
  }
  return S_OK;
}

HRESULT unregisterServer() {
  const HRESULT typeLibResult = unregisterTypeLib();
  const HRESULT keysResult = removeKeys();
  if (FAILED(keysResult)) return SELFREG_E_CLASS;
  if (FAILED(typeLibResult)) return SELFREG_E_TYPELIB;
  return S_OK;
}

}  // namespace zax::com
