// What regsvr32 leaves in the registry, what it removes again, and the pictures that the
// registration points a development environment at.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/unique_handle.h"
#include "common/version.h"
#include "tests/control/com/automation.h"

namespace comtest {
namespace {

std::wstring guidText(const GUID& guid) {
  wchar_t text[40];
  StringFromGUID2(guid, text, 40);
  return text;
}

// The default value (name null) or a named value of a key, or nothing.
bool readValue(const std::wstring& key, const wchar_t* name, std::wstring& value) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
  const zax::UniqueRegistryKey opened(handle);
  wchar_t data[1024] = L"";
  DWORD size = sizeof(data) - sizeof(wchar_t);
  DWORD type = 0;
  const LONG status = RegQueryValueExW(handle, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  if (status != ERROR_SUCCESS && !(name == nullptr && status == ERROR_FILE_NOT_FOUND)) return false;
  value = status == ERROR_SUCCESS ? data : L"";
  return true;
}

// Whether a key holds a value of that name (null: its default value).
bool hasValue(const std::wstring& key, const wchar_t* name) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
  const zax::UniqueRegistryKey opened(handle);
  return RegQueryValueExW(handle, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool keyExists(const std::wstring& key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
  const zax::UniqueRegistryKey opened(handle);
  return true;
}

std::wstring lower(std::wstring text) {
  for (wchar_t& c : text) c = towlower(c);
  return text;
}

class RegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The identifiers come from the control's own type library, not from its headers.
    ITypeLib* lib = nullptr;
    ASSERT_EQ(LoadTypeLibEx(ocxPath().c_str(), REGKIND_NONE, &lib), S_OK);
    TLIBATTR* attr = nullptr;
    lib->GetLibAttr(&attr);
    libid = guidText(attr->guid);
    lib->ReleaseTLibAttr(attr);
    for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
      ITypeInfo* info = nullptr;
      lib->GetTypeInfo(i, &info);
      TYPEATTR* type = nullptr;
      info->GetTypeAttr(&type);
      if (type->typekind == TKIND_COCLASS) {
        clsid = guidText(type->guid);
      } else {
        interfaces.push_back(guidText(type->guid));
      }
      info->ReleaseTypeAttr(type);
      info->Release();
    }
    lib->Release();
    ASSERT_FALSE(clsid.empty());
    ASSERT_EQ(interfaces.size(), 2u);
  }

  std::wstring clsid, libid;
  std::vector<std::wstring> interfaces;
};

TEST_F(RegistrationTest, RegisteringWritesTheControlAndUnregisteringRemovesIt) {
  const std::wstring cls = L"CLSID\\" + clsid;
  std::wstring value;

  ASSERT_TRUE(readValue(std::wstring(kProgId) + L"\\CLSID", nullptr, value));
  EXPECT_EQ(value, clsid);
  ASSERT_TRUE(readValue(cls + L"\\InprocServer32", nullptr, value));
  EXPECT_EQ(lower(value), lower(ocxPath()));
  ASSERT_TRUE(readValue(cls + L"\\InprocServer32", L"ThreadingModel", value));
  EXPECT_EQ(value, L"Apartment");
  ASSERT_TRUE(readValue(cls + L"\\ProgID", nullptr, value));
  EXPECT_EQ(value, kProgId);
  ASSERT_TRUE(readValue(cls + L"\\VersionIndependentProgID", nullptr, value));
  EXPECT_EQ(value, kProgId);
  ASSERT_TRUE(readValue(cls + L"\\TypeLib", nullptr, value));
  EXPECT_EQ(value, libid);
  ASSERT_TRUE(readValue(cls + L"\\Version", nullptr, value));
  EXPECT_EQ(value, ZAX_VERSION_WIDE);
  ASSERT_TRUE(readValue(cls + L"\\ToolboxBitmap32", nullptr, value));
  EXPECT_EQ(lower(value), lower(ocxPath() + L", 1"));
  for (const wchar_t* mark : {L"\\Control", L"\\Insertable", L"\\Programmable",
                              L"\\Implemented Categories\\{40FC6ED4-2438-11CF-A3DB-080036F12502}"}) {
    EXPECT_TRUE(keyExists(cls + mark)) << mark;
    // The key alone, as an installer's registry table writes it.
    EXPECT_FALSE(hasValue(cls + mark, nullptr)) << mark;
  }
  // MiscStatus says what the control answers to IOleObject::GetMiscStatus.
  ASSERT_TRUE(readValue(cls + L"\\MiscStatus\\1", nullptr, value));
  Control control;
  ASSERT_TRUE(control.ok());
  IOleObject* object = nullptr;
  ASSERT_EQ(control.dispatch()->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&object)), S_OK);
  DWORD status = 0;
  object->GetMiscStatus(DVASPECT_CONTENT, &status);
  object->Release();
  control.release();
  EXPECT_EQ(value, std::to_wstring(status));
  EXPECT_TRUE(status & OLEMISC_SETCLIENTSITEFIRST);
  EXPECT_TRUE(keyExists(L"TypeLib\\" + libid + L"\\" ZAX_VERSION_WIDE));
  // The library is registered under the module's path as it stands, as an installer writes it.
  const wchar_t* kind = sizeof(void*) == 8 ? L"win64" : L"win32";
  ASSERT_TRUE(readValue(L"TypeLib\\" + libid + L"\\" ZAX_VERSION_WIDE L"\\409\\" + kind, nullptr, value));
  EXPECT_EQ(lower(value), lower(ocxPath()));
  for (const std::wstring& iid : interfaces) EXPECT_TRUE(keyExists(L"Interface\\" + iid)) << iid;

  CoFreeUnusedLibraries();
  ASSERT_EQ(runProcess(L"regsvr32.exe /s /u \"" + ocxPath() + L"\"", 60000), 0u);
  EXPECT_FALSE(keyExists(kProgId));
  EXPECT_FALSE(keyExists(cls));
  EXPECT_FALSE(keyExists(L"TypeLib\\" + libid));
  for (const std::wstring& iid : interfaces) EXPECT_FALSE(keyExists(L"Interface\\" + iid)) << iid;
  // Unregistering what is not registered is no failure.
  EXPECT_EQ(runProcess(L"regsvr32.exe /s /u \"" + ocxPath() + L"\"", 60000), 0u);

  // The other tests need it registered.
  ASSERT_EQ(runProcess(L"regsvr32.exe /s \"" + ocxPath() + L"\"", 60000), 0u);
  EXPECT_TRUE(keyExists(cls + L"\\InprocServer32"));
}

TEST_F(RegistrationTest, ModuleCarriesItsToolboxBitmapAndIcon) {
  HMODULE module = LoadLibraryExW(ocxPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  // ToolboxBitmap32 names bitmap 1.
  HBITMAP bitmap = static_cast<HBITMAP>(LoadImageW(module, MAKEINTRESOURCEW(1), IMAGE_BITMAP, 0, 0, 0));
  ASSERT_NE(bitmap, nullptr);
  BITMAP info{};
  GetObjectW(bitmap, sizeof(info), &info);
  EXPECT_EQ(info.bmWidth, 16);
  EXPECT_EQ(info.bmHeight, 15);
  DeleteObject(bitmap);

  HICON icon = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(1), IMAGE_ICON, 32, 32, 0));
  ASSERT_NE(icon, nullptr);
  ICONINFO iconInfo{};
  ASSERT_TRUE(GetIconInfo(icon, &iconInfo));
  BITMAP mask{};
  GetObjectW(iconInfo.hbmMask, sizeof(mask), &mask);
  EXPECT_EQ(mask.bmWidth, 32);
  DeleteObject(iconInfo.hbmMask);
  if (iconInfo.hbmColor != nullptr) DeleteObject(iconInfo.hbmColor);
  DestroyIcon(icon);
  FreeLibrary(module);
}

}  // namespace
}  // namespace comtest
