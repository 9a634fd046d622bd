// The type library as a development environment reads it back: found through the class's
// registration, with its types, members, dispatch ids, parameters and flags as published.
#include <windows.h>
#include <oleauto.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/control/com/automation.h"

namespace comtest {
namespace {

using ::testing::ElementsAreArray;

constexpr USHORT kIn = PARAMFLAG_FIN;
constexpr USHORT kInOut = PARAMFLAG_FIN | PARAMFLAG_FOUT;
constexpr USHORT kRetval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;

// VT_PTR | VT_BSTR stands for "pointer to BSTR" in these tables.
constexpr VARTYPE kBstr = VT_BSTR;
constexpr VARTYPE kBstrRef = VT_PTR | VT_BSTR;
constexpr VARTYPE kLongRef = VT_PTR | VT_I4;
constexpr VARTYPE kBoolRef = VT_PTR | VT_BOOL;
constexpr VARTYPE kVariantRef = VT_PTR | VT_VARIANT;

struct Param {
  const wchar_t* name;
  VARTYPE type;
  USHORT flags;
};

struct Member {
  const wchar_t* name;
  MEMBERID id;
  INVOKEKIND kind;
  std::vector<Param> params;
};

// _ZAXTarGzip in interface order.
const Member kMembers[] = {
    {L"ZAXListTarFile", 0x60030002, INVOKE_FUNC, {{L"TarFile", kBstr, kIn}, {nullptr, kVariantRef, kRetval}}},
    {L"ZAXUncompress", 0x60030003, INVOKE_FUNC,
     {{L"TarFile", kBstr, kIn}, {L"DestinationDir", kBstr, kIn}, {L"FilesSelection", kBstr, kIn},
      {nullptr, kVariantRef, kRetval}}},
    {L"ControlName", 0x60030007, INVOKE_FUNC, {{nullptr, kBstrRef, kRetval}}},
    {L"ZAXBrowseForFolder", 0x60030008, INVOKE_FUNC,
     {{L"Title", kBstrRef, kInOut}, {L"InitDir", kBstrRef, kInOut}, {nullptr, kBstrRef, kRetval}}},
    {L"GetCPUSpeed", 0x6003000A, INVOKE_FUNC, {{nullptr, kBstrRef, kRetval}}},
    {L"GetCPUVendor", 0x6003000B, INVOKE_FUNC, {{nullptr, kBstrRef, kRetval}}},
    {L"GetCPUBrandString", 0x6003000C, INVOKE_FUNC, {{nullptr, kBstrRef, kRetval}}},
    // A type library keeps no name for the value of a property put (WaitFlag in the IDL).
    {L"WaitExecution", 0x68030001, INVOKE_PROPERTYPUT, {{nullptr, kBoolRef, kInOut}}},
    {L"PauseExecution", 0x6003000D, INVOKE_FUNC, {{nullptr, kVariantRef, kRetval}}},
    {L"ResumeExecution", 0x6003000E, INVOKE_FUNC, {{nullptr, kVariantRef, kRetval}}},
    {L"CancelExecution", 0x6003000F, INVOKE_FUNC, {{nullptr, kVariantRef, kRetval}}},
    {L"About", 0x60030010, INVOKE_FUNC, {{nullptr, kVariantRef, kRetval}}},
    {L"GetLastError", 0x68030000, INVOKE_PROPERTYGET, {{nullptr, kLongRef, kRetval}}},
    // Appended after the published members, with ids of their own.
    {L"NumberOfFailedMembers", 0x68030002, INVOKE_PROPERTYGET, {{nullptr, kLongRef, kRetval}}},
    {L"GetFailedMember", 0x60030011, INVOKE_FUNC,
     {{L"Index", VT_I4, kIn}, {L"Name", kBstrRef, kInOut}, {L"Reason", kBstrRef, kInOut},
      {nullptr, kBoolRef, kRetval}}},
};

// __ZAXTarGzip, the events.
const Member kEvents[] = {
    {L"ErrorCode", 1, INVOKE_FUNC, {{L"ErrorNumber", kLongRef, kInOut}, {L"ErrorDescription", kBstrRef, kInOut}}},
    {L"Finished", 2, INVOKE_FUNC, {}},
    {L"Progress", 3, INVOKE_FUNC, {{L"ProgressValue", VT_I4, kIn}}},
    {L"TarFileInformation", 4, INVOKE_FUNC,
     {{L"IsDirectory", kLongRef, kInOut}, {L"Year", kLongRef, kInOut}, {L"Month", kLongRef, kInOut},
      {L"Day", kLongRef, kInOut}, {L"Hour", kLongRef, kInOut}, {L"Minute", kLongRef, kInOut},
      {L"Second", kLongRef, kInOut}, {L"filename", kBstrRef, kInOut}, {L"Size", kLongRef, kInOut},
      {L"NumberOfFiles", kLongRef, kInOut}, {L"NumberOfDirectories", kLongRef, kInOut}}},
};

VARTYPE flatType(const TYPEDESC& type) {
  if (type.vt == VT_PTR) return VT_PTR | type.lptdesc->vt;
  return type.vt;
}

std::wstring nameOf(ITypeInfo* info, MEMBERID id = MEMBERID_NIL) {
  BSTR name = nullptr;
  info->GetDocumentation(id, &name, nullptr, nullptr, nullptr);
  std::wstring out = name != nullptr ? name : L"";
  SysFreeString(name);
  return out;
}

// Renders a member as "Name id kind (param:type:flags ...)" so that a mismatch shows whole.
std::wstring render(const Member& m) {
  std::wstring out = std::wstring(m.name) + L" " + std::to_wstring(m.id) + L" " + std::to_wstring(m.kind) + L" (";
  for (const Param& p : m.params) {
    out += std::wstring(p.name != nullptr ? p.name : L"") + L":" + std::to_wstring(p.type) + L":" +
           std::to_wstring(p.flags) + L" ";
  }
  return out + L")";
}

std::vector<std::wstring> renderAll(ITypeInfo* info, UINT count) {
  std::vector<std::wstring> out;
  for (UINT i = 0; i < count; ++i) {
    FUNCDESC* f = nullptr;
    if (FAILED(info->GetFuncDesc(i, &f))) break;
    BSTR names[16] = {};
    UINT got = 0;
    info->GetNames(f->memid, names, 16, &got);
    Member m{names[0], f->memid, f->invkind, {}};
    std::vector<std::wstring> keep(names, names + got);
    for (SHORT p = 0; p < f->cParams; ++p) {
      const ELEMDESC& e = f->lprgelemdescParam[p];
      // A retval parameter has no name of its own for GetNames to give.
      const wchar_t* name = (p + 1 < static_cast<SHORT>(got)) ? keep[p + 1].c_str() : nullptr;
      if (e.paramdesc.wParamFlags & PARAMFLAG_FRETVAL) name = nullptr;
      m.params.push_back({name, flatType(e.tdesc), e.paramdesc.wParamFlags});
    }
    out.push_back(render(m));
    for (UINT n = 0; n < got; ++n) SysFreeString(names[n]);
    info->ReleaseFuncDesc(f);
  }
  return out;
}

std::vector<std::wstring> renderExpected(const Member* members, size_t count) {
  std::vector<std::wstring> out;
  for (size_t i = 0; i < count; ++i) out.push_back(render(members[i]));
  return out;
}

class TypeLibTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A host finds the library through the class it registered under the ProgID.
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(kProgId, &clsid), S_OK);
    wchar_t clsidText[40];
    StringFromGUID2(clsid, clsidText, 40);
    wchar_t libidText[64] = L"";
    LONG size = sizeof(libidText);
    const std::wstring key = std::wstring(L"CLSID\\") + clsidText + L"\\TypeLib";
    ASSERT_EQ(RegQueryValueW(HKEY_CLASSES_ROOT, key.c_str(), libidText, &size), ERROR_SUCCESS);
    GUID libid;
    ASSERT_EQ(CLSIDFromString(libidText, &libid), S_OK);
    ASSERT_EQ(LoadRegTypeLib(libid, 9, 0, 0x409, &lib), S_OK);
    ASSERT_EQ(lib->GetTypeInfoOfGuid(clsid, &coclass), S_OK);
  }
  void TearDown() override {
    if (coclass != nullptr) coclass->Release();
    if (lib != nullptr) lib->Release();
  }

  // The type the coclass names at implementation index i, and its flags there.
  ITypeInfo* implemented(UINT i, INT* flags) {
    HREFTYPE ref = 0;
    ITypeInfo* info = nullptr;
    EXPECT_EQ(coclass->GetRefTypeOfImplType(i, &ref), S_OK);
    EXPECT_EQ(coclass->GetImplTypeFlags(i, flags), S_OK);
    EXPECT_EQ(coclass->GetRefTypeInfo(ref, &info), S_OK);
    return info;
  }

  ITypeLib* lib = nullptr;
  ITypeInfo* coclass = nullptr;
};

TEST_F(TypeLibTest, LibraryIsZAXTarGzip200aVersion9ForAControl) {
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(lib->GetLibAttr(&attr), S_OK);
  EXPECT_EQ(attr->wMajorVerNum, 9);
  EXPECT_EQ(attr->wMinorVerNum, 0);
  EXPECT_EQ(attr->lcid, 0x409u);
  EXPECT_TRUE(attr->wLibFlags & LIBFLAG_FCONTROL);
  lib->ReleaseTLibAttr(attr);

  BSTR name = nullptr;
  ASSERT_EQ(lib->GetDocumentation(-1, &name, nullptr, nullptr, nullptr), S_OK);
  EXPECT_STREQ(name, L"ZAXTarGzip200a");
  SysFreeString(name);
  EXPECT_EQ(lib->GetTypeInfoCount(), 3u);
}

TEST_F(TypeLibTest, ControlClassJoinsTheInterfaceAndTheEvents) {
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(coclass->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(nameOf(coclass), L"ZAXTarGzip");
  EXPECT_EQ(attr->typekind, TKIND_COCLASS);
  EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FCONTROL);
  EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FCANCREATE);
  EXPECT_EQ(attr->wMajorVerNum, 1);
  EXPECT_EQ(attr->wMinorVerNum, 0);
  ASSERT_EQ(attr->cImplTypes, 2);
  coclass->ReleaseTypeAttr(attr);

  INT flags = 0;
  ITypeInfo* incoming = implemented(0, &flags);
  ASSERT_NE(incoming, nullptr);
  EXPECT_EQ(nameOf(incoming), L"_ZAXTarGzip");
  EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
  incoming->Release();

  ITypeInfo* outgoing = implemented(1, &flags);
  ASSERT_NE(outgoing, nullptr);
  EXPECT_EQ(nameOf(outgoing), L"__ZAXTarGzip");
  EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE);
  outgoing->Release();
}

TEST_F(TypeLibTest, DualInterfaceHasThePublishedMembersInOrderAndTheNewOnesAfterThem) {
  INT flags = 0;
  ITypeInfo* dispatch = implemented(0, &flags);
  ASSERT_NE(dispatch, nullptr);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(dispatch->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
  const WORD expectedFlags = TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE;
  EXPECT_EQ(attr->wTypeFlags & expectedFlags, expectedFlags) << attr->wTypeFlags;
  EXPECT_EQ(attr->wMajorVerNum, 1);
  EXPECT_EQ(attr->wMinorVerNum, 0);
  dispatch->ReleaseTypeAttr(attr);

  // The vtable side lists exactly the published members, in their order, then the
  // appended ones.
  HREFTYPE ref = 0;
  ASSERT_EQ(dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref), S_OK);
  ITypeInfo* vtable = nullptr;
  ASSERT_EQ(dispatch->GetRefTypeInfo(ref, &vtable), S_OK);
  ASSERT_EQ(vtable->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
  EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FOLEAUTOMATION) << attr->wTypeFlags;
  const UINT count = attr->cFuncs;
  vtable->ReleaseTypeAttr(attr);
  EXPECT_THAT(renderAll(vtable, count), ElementsAreArray(renderExpected(kMembers, std::size(kMembers))));
  vtable->Release();

  dispatch->Release();
}

TEST_F(TypeLibTest, WaitExecutionIsWriteOnlyAndGetLastErrorReadOnly) {
  Control control;
  ASSERT_TRUE(control.ok());
  EXPECT_EQ(control.put(L"WaitExecution", false).hr, S_OK);
  EXPECT_EQ(control.get(L"WaitExecution").hr, DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(control.get(L"GetLastError").hr, S_OK);
  EXPECT_EQ(control.put(L"GetLastError", 5L).hr, DISP_E_MEMBERNOTFOUND);
}

TEST_F(TypeLibTest, EventInterfaceHasTheFourEvents) {
  INT flags = 0;
  ITypeInfo* events = implemented(1, &flags);
  ASSERT_NE(events, nullptr);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(events->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
  EXPECT_EQ(attr->wTypeFlags & (TYPEFLAG_FHIDDEN | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDUAL),
            TYPEFLAG_FHIDDEN | TYPEFLAG_FNONEXTENSIBLE);
  EXPECT_EQ(attr->wMajorVerNum, 1);
  EXPECT_EQ(attr->wMinorVerNum, 0);
  const UINT count = attr->cFuncs;
  events->ReleaseTypeAttr(attr);
  EXPECT_THAT(renderAll(events, count), ElementsAreArray(renderExpected(kEvents, std::size(kEvents))));

  // What a control announces as its events is this interface.
  Control control;
  ASSERT_TRUE(control.ok());
  ASSERT_EQ(events->GetTypeAttr(&attr), S_OK);
  EXPECT_TRUE(IsEqualIID(attr->guid, control.eventIid()));
  events->ReleaseTypeAttr(attr);
  events->Release();
}

}  // namespace
}  // namespace comtest
