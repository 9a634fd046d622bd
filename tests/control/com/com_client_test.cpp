// The control as an automation client sees it: created from its ProgID after regsvr32,
// members called by name through IDispatch, events received through the connection point.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <ctime>

#include "common/unique_handle.h"
#include "tests/control/com/com_fixture.h"
#include "host/engine_file.h"

namespace comtest {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

std::wstring guidText(const IID& iid) {
  wchar_t text[40];
  StringFromGUID2(iid, text, 40);
  return text;
}

std::wstring localDate(std::time_t when) {
  const std::tm* t = std::localtime(&when);
  return std::to_wstring(t->tm_year + 1900) + L"," + std::to_wstring(t->tm_mon + 1) + L"," +
         std::to_wstring(t->tm_mday) + L"," + std::to_wstring(t->tm_hour) + L"," +
         std::to_wstring(t->tm_min) + L"," + std::to_wstring(t->tm_sec);
}

TEST_F(ActiveXTest, NewControlAnswersItsDefaults) {
  CallResult last = control.get(L"GetLastError");
  ASSERT_EQ(last.hr, S_OK);
  EXPECT_EQ(last.value.type(), VT_I4);
  EXPECT_EQ(V_I4(&*last.value), 0);

  CallResult name = control.call(L"ControlName");
  ASSERT_EQ(name.hr, S_OK);
  EXPECT_EQ(name.value.text(), L"ZAXTarGzip");

  // Steering before anything was loaded does nothing, and every Variant result is Empty.
  for (const wchar_t* member : {L"PauseExecution", L"ResumeExecution", L"CancelExecution"}) {
    CallResult result = control.call(member);
    EXPECT_EQ(result.hr, S_OK) << member;
    EXPECT_EQ(result.value.type(), VT_EMPTY) << member;
  }
  EXPECT_TRUE(events.events.empty());
}

TEST_F(ActiveXTest, OffersWhatAContainerAndAClientAskFor) {
  IUnknown* identity = nullptr;
  ASSERT_EQ(control.dispatch()->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  const IID* interfaces[] = {
      &IID_IDispatch,         &IID_IProvideClassInfo,      &IID_IProvideClassInfo2,
      &IID_IConnectionPointContainer, &IID_IOleObject,     &IID_IOleWindow,
      &IID_IOleInPlaceObject, &IID_IOleInPlaceActiveObject, &IID_IOleControl,
      &IID_IViewObject,       &IID_IViewObject2,           &IID_IPersist,
      &IID_IPersistStreamInit, &IID_IPersistPropertyBag,   &IID_ISupportErrorInfo,
  };
  for (const IID* iid : interfaces) {
    IUnknown* found = nullptr;
    EXPECT_EQ(control.dispatch()->QueryInterface(*iid, reinterpret_cast<void**>(&found)), S_OK)
        << guidText(*iid);
    if (found == nullptr) continue;
    // One object: every interface leads back to the same IUnknown, and to itself.
    IUnknown* back = nullptr;
    EXPECT_EQ(found->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&back)), S_OK);
    EXPECT_EQ(back, identity) << guidText(*iid);
    if (back != nullptr) back->Release();
    IUnknown* again = nullptr;
    EXPECT_EQ(found->QueryInterface(*iid, reinterpret_cast<void**>(&again)), S_OK);
    EXPECT_EQ(again, found) << guidText(*iid);
    if (again != nullptr) again->Release();
    found->Release();
  }
  identity->Release();

  // What it does not implement it refuses, leaving no pointer behind.
  for (const IID* iid : {&IID_IQuickActivate, &IID_IOleCache, &IID_IPersistStorage, &IID_IClassFactory}) {
    void* found = &identity;
    EXPECT_EQ(control.dispatch()->QueryInterface(*iid, &found), E_NOINTERFACE) << guidText(*iid);
    EXPECT_EQ(found, nullptr) << guidText(*iid);
  }

  // Nothing is persisted.
  IPersistStreamInit* persist = nullptr;
  ASSERT_EQ(control.dispatch()->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist)), S_OK);
  EXPECT_EQ(persist->InitNew(), S_OK);
  EXPECT_EQ(persist->IsDirty(), S_FALSE);
  ULARGE_INTEGER size{};
  EXPECT_EQ(persist->GetSizeMax(&size), S_OK);
  EXPECT_EQ(size.QuadPart, 0u);
  persist->Release();
}

TEST_F(ActiveXTest, KeepsItsSizeWhateverTheContainerAsks) {
  // 550 twips are 970 HIMETRIC units.
  IOleObject* object = nullptr;
  ASSERT_EQ(control.dispatch()->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&object)), S_OK);
  SIZEL asked{5000, 2000};
  object->SetExtent(DVASPECT_CONTENT, &asked);
  SIZEL size{};
  EXPECT_EQ(object->GetExtent(DVASPECT_CONTENT, &size), S_OK);
  EXPECT_EQ(size.cx, 970);
  EXPECT_EQ(size.cy, 970);
  object->Release();

  IViewObject2* view = nullptr;
  ASSERT_EQ(control.dispatch()->QueryInterface(IID_IViewObject2, reinterpret_cast<void**>(&view)), S_OK);
  size = SIZEL{};
  EXPECT_EQ(view->GetExtent(DVASPECT_CONTENT, -1, nullptr, &size), S_OK);
  EXPECT_EQ(size.cx, 970);
  EXPECT_EQ(size.cy, 970);
  view->Release();
}

TEST_F(ActiveXTest, ListingRaisesOneEventPerEntryThenTheResult) {
  const std::wstring archive = smallArchive();
  const std::wstring date = localDate(1086091200);

  CallResult result = control.call(L"ZAXListTarFile", {archive});
  ASSERT_EQ(result.hr, S_OK);
  EXPECT_EQ(result.value.type(), VT_EMPTY);

  // IsDirectory, date and time, filename, Size, NumberOfFiles, NumberOfDirectories.
  EXPECT_THAT(events.log(),
              ElementsAre(L"TarFileInformation(1," + date + L",dir/,0,2,1)",
                          L"TarFileInformation(0," + date + L",dir/a.txt,5,2,1)",
                          L"TarFileInformation(0," + date + L",b.txt,6,2,1)", kNoError));
  // Every argument of both events goes by reference.
  std::vector<VARTYPE> entryTypes(11, VT_I4 | VT_BYREF);
  entryTypes[7] = VT_BSTR | VT_BYREF;
  EXPECT_THAT(events.events[0].types, ElementsAreArray(entryTypes));
  EXPECT_THAT(events.events[3].types, ElementsAre(VT_I4 | VT_BYREF, VT_BSTR | VT_BYREF));
}

TEST_F(ActiveXTest, ExtractionWithWaitExecutionReturnsAfterItsResult) {
  const std::wstring archive = smallArchive();
  ASSERT_EQ(control.put(L"WaitExecution", true).hr, S_OK);

  CallResult result = control.call(L"ZAXUncompress", {archive, path("out"), L"*.*"});
  ASSERT_EQ(result.hr, S_OK);
  EXPECT_EQ(result.value.type(), VT_EMPTY);

  // All events came while the call was running.
  const std::vector<std::wstring> log = events.log();
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(log.front(), L"Progress(0)");
  EXPECT_THAT(std::vector<std::wstring>(log.end() - 3, log.end()),
              ElementsAre(L"Progress(100)", L"Finished", kNoError));
  for (size_t i = 1; i + 3 < log.size(); ++i) EXPECT_EQ(log[i].rfind(L"Progress(", 0), 0u) << log[i];
  EXPECT_THAT(events.events.front().types, ElementsAre(VT_I4));
  EXPECT_TRUE(events.events[log.size() - 2].types.empty());

  std::string contents;
  ASSERT_TRUE(zaxtest::readFile(folder.nativeChild("out\\dir\\a.txt"), contents));
  EXPECT_EQ(contents, "hello");
  ASSERT_TRUE(zaxtest::readFile(folder.nativeChild("out\\b.txt"), contents));
  EXPECT_EQ(contents, "world!");
}

TEST_F(ActiveXTest, ExtractionWithoutWaitingEndsThroughTheTimer) {
  const std::wstring archive = smallArchive();

  ASSERT_EQ(control.call(L"ZAXUncompress", {archive, path("out"), L"b.txt"}).hr, S_OK);
  // The call returns as soon as the job is started.
  EXPECT_THAT(events.log(), ElementsAre(L"Progress(0)"));

  ASSERT_TRUE(pumpUntil([&] { return finished(); }, 30000)) << "no end of job";
  const std::vector<std::wstring> log = events.log();
  EXPECT_THAT(std::vector<std::wstring>(log.end() - 3, log.end()),
              ElementsAre(L"Progress(100)", L"Finished", kNoError));
  std::string contents;
  EXPECT_TRUE(zaxtest::readFile(folder.nativeChild("out\\b.txt"), contents));
  EXPECT_FALSE(zaxtest::readFile(folder.nativeChild("out\\dir\\a.txt"), contents));
}

// ---- refusals ---------------------------------------------------------------------------

enum class Input { kEmpty, kMissing, kValid };

struct Refusal {
  const char* name;
  const wchar_t* member;
  Input tarFile;
  const wchar_t* destination;
  const wchar_t* selection;
  long number;
  const wchar_t* text;
};

const Refusal kRefusals[] = {
    {"ListEmptyName", L"ZAXListTarFile", Input::kEmpty, nullptr, nullptr, 3, L"The input file is empty "},
    {"ListMissingFile", L"ZAXListTarFile", Input::kMissing, nullptr, nullptr, 5,
     L"The input file or path is invalid"},
    {"ExtractEmptyNameBeforeEmptyDestination", L"ZAXUncompress", Input::kEmpty, L"", L"*.*", 3,
     L"The input file is empty "},
    {"ExtractEmptyDestination", L"ZAXUncompress", Input::kValid, L"", L"*.*", 33,
     L"The destination dir is empty"},
    {"ExtractEmptySelection", L"ZAXUncompress", Input::kValid, L"out", L"", 34,
     L"The files selection is empty"},
    {"ExtractMissingFile", L"ZAXUncompress", Input::kMissing, L"out", L"*.*", 5,
     L"The input file or path is invalid"},
};

class RefusalTest : public ActiveXTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(RefusalTest, ReportsOneErrorCodeAndStartsNothing) {
  const Refusal& c = GetParam();
  const std::wstring tarFile = c.tarFile == Input::kEmpty     ? L""
                               : c.tarFile == Input::kMissing ? path("missing.tar")
                                                              : smallArchive();
  std::vector<Var> args{tarFile};
  if (c.destination != nullptr) {
    args.push_back(std::wstring(c.destination).empty() ? L"" : path("out"));
    args.push_back(c.selection);
  }
  CallResult result = control.call(c.member, args);
  ASSERT_EQ(result.hr, S_OK);
  EXPECT_EQ(result.value.type(), VT_EMPTY);

  EXPECT_THAT(events.log(), ElementsAre(L"ErrorCode(" + std::to_wstring(c.number) + L"," + c.text + L")"));
  EXPECT_EQ(V_I4(&*control.get(L"GetLastError").value), c.number);
}

INSTANTIATE_TEST_SUITE_P(Arguments, RefusalTest, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- job results ----------------------------------------------------------------------------

TEST_F(ActiveXTest, AJobThatFailsStillFinishesAndThenReportsWhy) {
  ASSERT_EQ(control.put(L"WaitExecution", true).hr, S_OK);

  // Not an archive at all.
  const std::wstring text = writeArchive("notes.txt", zaxtest::Bytes(2000, 'x'));
  ASSERT_EQ(control.call(L"ZAXUncompress", {text, path("out"), L"*.*"}).hr, S_OK);
  EXPECT_THAT(events.log(), ElementsAre(L"Progress(0)", L"Progress(100)", L"Finished",
                                        L"ErrorCode(36,The file don't appear to be a valid tar file)"));
  EXPECT_EQ(V_I4(&*control.get(L"GetLastError").value), 36);

  // A destination the engine refuses comes with the engine's number and text, and
  // GetLastError follows it as it follows every report.
  events.clear();
  ASSERT_EQ(control.call(L"ZAXUncompress", {smallArchive(), L"C:\\bad?folder", L"*.*"}).hr, S_OK);
  const std::vector<std::wstring> log = events.log();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), L"ErrorCode(49,Invalid character ? on the path )");
  EXPECT_EQ(V_I4(&*control.get(L"GetLastError").value), 49);
}

TEST_F(ActiveXTest, ARunningJobRefusesAnotherAndEndsWhenCancelled) {
  const std::string large = folder.nativeChild("large.tar.gz");
  writeLargeArchive(large, 64LL << 20);

  // A selection that matches nothing: the job reads the whole archive and writes nothing.
  ASSERT_EQ(control.call(L"ZAXUncompress", {widen(large), path("out"), L"nothing.matches"}).hr, S_OK);
  // Paused, the job moves one block at a time and keeps running.
  ASSERT_EQ(control.call(L"PauseExecution").hr, S_OK);

  ASSERT_EQ(control.call(L"ZAXUncompress", {smallArchive(), path("out2"), L"*.*"}).hr, S_OK);
  ASSERT_EQ(control.call(L"ZAXListTarFile", {smallArchive()}).hr, S_OK);
  const std::wstring running =
      L"ErrorCode(31,Already running , wait for the end of execution before calling the "
      L"ZAXUncompress again)";
  EXPECT_THAT(events.log(), ElementsAre(L"Progress(0)", running, running));
  EXPECT_EQ(V_I4(&*control.get(L"GetLastError").value), 31);

  // A cancelled job ends like any other.
  events.clear();
  ASSERT_EQ(control.call(L"CancelExecution").hr, S_OK);
  ASSERT_TRUE(pumpUntil([&] { return finished(); }, 30000)) << "the cancelled job did not end";
  const std::vector<std::wstring> log = events.log();
  EXPECT_THAT(std::vector<std::wstring>(log.end() - 3, log.end()),
              ElementsAre(L"Progress(100)", L"Finished", kNoError));
}

// A path of more than 300 characters, some beyond any one code page, reaches the host whole
// in its event, and so does the name of a member that was not extracted.
TEST_F(ActiveXTest, LongPathsReachTheHostWhole) {
  std::string longPath;
  while (longPath.size() < 700) longPath += "\xD0\xBF\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0/";  // папка/
  longPath += "file.txt";
  wchar_t converted[2048];
  const int length = MultiByteToWideChar(CP_UTF8, 0, longPath.data(), static_cast<int>(longPath.size()),
                                         converted, 2048);
  const std::wstring name(converted, static_cast<std::size_t>(length));
  ASSERT_GT(name.size(), 300u);
  zaxtest::TarBuilder tar;
  tar.pax({{"path", longPath}}).file("placeholder", "x").pax({{"path", "../" + longPath}}).file("placeholder2", "y").end();
  const std::wstring archive = writeArchive("long.tar", tar.bytes());
  ASSERT_EQ(control.call(L"ZAXListTarFile", {archive}).hr, S_OK);
  ASSERT_EQ(events.events.size(), 3u);
  EXPECT_EQ(describe(events.events[2]), kNoError);
  EXPECT_EQ(events.events[0].text, name);
  EXPECT_EQ(events.events[1].text, L"../" + name);

  ASSERT_EQ(control.put(L"WaitExecution", true).hr, S_OK);
  ASSERT_EQ(control.call(L"ZAXUncompress", {archive, path("out"), L"*"}).hr, S_OK);
  BSTR failed = SysAllocString(L""), reason = SysAllocString(L"");
  CallResult named = control.call(L"GetFailedMember", {Var(0L), Var::byRef(&failed), Var::byRef(&reason)});
  ASSERT_EQ(named.hr, S_OK);
  EXPECT_EQ(V_BOOL(&*named.value), VARIANT_TRUE);
  EXPECT_EQ(std::wstring(failed), L"../" + name);
  EXPECT_EQ(std::wstring(reason), L"its name leads out of the destination folder");
  SysFreeString(failed);
  SysFreeString(reason);
}

TEST_F(ActiveXTest, WhatAHandlerWritesIntoItsArgumentsChangesNothing) {
  // The first sink overwrites every by-reference argument; the second still sees the
  // control's values, and so does GetLastError.
  EventRecorder second(control.eventIid());
  const DWORD secondCookie = control.connect(&second);
  ASSERT_NE(secondCookie, 0u);
  events.onEvent = [](DISPID, DISPPARAMS* params) {
    for (UINT i = 0; i < params->cArgs; ++i) {
      VARIANT& arg = params->rgvarg[i];
      if (V_VT(&arg) == (VT_I4 | VT_BYREF)) *V_I4REF(&arg) = 999;
      if (V_VT(&arg) == (VT_BSTR | VT_BYREF)) {
        SysFreeString(*V_BSTRREF(&arg));
        *V_BSTRREF(&arg) = SysAllocString(L"changed");
      }
    }
  };

  ASSERT_EQ(control.call(L"ZAXListTarFile", {smallArchive()}).hr, S_OK);
  ASSERT_EQ(second.events.size(), 4u);
  EXPECT_EQ(second.events[1].text, L"dir/a.txt");
  EXPECT_EQ(second.events[1].numbers[7], 5);
  EXPECT_EQ(describe(second.events[3]), kNoError);
  EXPECT_EQ(V_I4(&*control.get(L"GetLastError").value), 0);
  control.disconnect(secondCookie);
}

// ---- errors of the engine host --------------------------------------------------------------

struct HostFailure {
  const char* name;
  bool engineFileLocked;  // false: a file named like the deployment folder is in the way
  long number;
  const wchar_t* description;  // without the parts that depend on the machine
};

const HostFailure kHostFailures[] = {
    {"DeploymentFolderCannotBeCreated", false, 70, L"Unable to create the destination folder "},
    // The deployed engine cannot be read for its checksum.
    {"EngineFileCannotBeRead", true, 5001, L"Unexpected error , please contact the developer "},
};

class HostFailureTest : public ActiveXTest, public ::testing::WithParamInterface<HostFailure> {
 protected:
  void TearDown() override {
    locked_.reset();
    if (!savedTemp_.empty()) SetEnvironmentVariableW(L"TMP", savedTemp_.c_str());
    ActiveXTest::TearDown();
  }
  // Points the temporary folder of this process at a folder of the test.
  std::wstring useTemporaryFolder(const std::string& name) {
    wchar_t saved[MAX_PATH];
    GetEnvironmentVariableW(L"TMP", saved, MAX_PATH);
    savedTemp_ = saved;
    CreateDirectoryA(folder.nativeChild(name).c_str(), nullptr);
    const std::wstring temp = path(name) + L"\\";
    SetEnvironmentVariableW(L"TMP", temp.c_str());
    return temp;
  }

  zax::UniqueFileHandle locked_;

 private:
  std::wstring savedTemp_;
};

TEST_P(HostFailureTest, ReachesTheCallerAsTheMethodsErrorWithoutAnEvent) {
  const HostFailure& c = GetParam();
  const std::wstring temp = useTemporaryFolder("temp");
  if (c.engineFileLocked) {
    ASSERT_TRUE(CreateDirectoryA(folder.nativeChild("temp\\ZAXSoftware").c_str(), nullptr));
    const std::string engine = folder.nativeChild(std::string("temp\\ZAXSoftware\\") + zax::kEngineFileName);
    zaxtest::writeFile(engine, std::string("an older engine"));
    // Opened without sharing: nobody else can read it while the test holds it.
    locked_.reset(CreateFileA(engine.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(locked_);
  } else {
    zaxtest::writeFile(folder.nativeChild("temp\\ZAXSoftware"), std::string("in the way"));
  }

  // A fresh control: its engine host has not run yet.
  Control fresh;
  ASSERT_TRUE(fresh.ok());
  EventRecorder freshEvents(fresh.eventIid());
  const DWORD freshCookie = fresh.connect(&freshEvents);

  const HRESULT expected = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, c.number);
  for (const wchar_t* member : {L"GetCPUVendor", L"ZAXListTarFile"}) {
    std::vector<Var> args;
    if (std::wstring(member) == L"ZAXListTarFile") args.push_back(smallArchive());
    CallResult result = fresh.call(member, args);
    EXPECT_EQ(result.hr, DISP_E_EXCEPTION) << member;
    EXPECT_EQ(result.scode, expected) << member;
    EXPECT_EQ(result.source, kProgId) << member;
    EXPECT_EQ(result.description.rfind(c.description, 0), 0u) << member;
    if (c.number == 70) {
      EXPECT_EQ(result.description, c.description + temp + L"ZAXSoftware\\");
    }
  }
  EXPECT_TRUE(freshEvents.events.empty());
  fresh.disconnect(freshCookie);
}

INSTANTIATE_TEST_SUITE_P(Init, HostFailureTest, ::testing::ValuesIn(kHostFailures),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace comtest
