// Wine's VBScript host drives the control late-bound, as a script on Windows would:
// CreateObject by ProgID, methods and properties by name. cscript cannot sink events and
// exits with 0 even after a script error, so the script reports through WScript.Echo and
// the test compares every line, the last one included.
#include <windows.h>
#include <cpuid.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "tests/control/com/automation.h"
#include "tests/control/com/com_fixture.h"

namespace comtest {
namespace {

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) out.push_back(line);
  }
  return out;
}

// The processor's vendor text, as CPUID leaf 0 gives it.
std::string cpuVendor() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(0, &eax, &ebx, &ecx, &edx)) return std::string();
  char vendor[13] = {};
  std::memcpy(vendor, &ebx, 4);
  std::memcpy(vendor + 4, &edx, 4);
  std::memcpy(vendor + 8, &ecx, 4);
  return vendor;
}

TEST(ScriptTest, VBScriptListsAndExtractsWithWaitExecution) {
  zaxtest::TempFolder folder;
  zaxtest::TarBuilder tar;
  tar.directory("docs/").file("docs/readme.txt", "read me").file("data.bin", "0123456789").end();
  const std::string archive = folder.nativeChild("sample.tar");
  zaxtest::writeFile(archive, tar.bytes());
  const std::string destination = folder.nativeChild("out");

  // GetLastError is the script's only view of the outcomes: 3 after the refused empty name,
  // 0 once a listing or an extraction has ended. After ZAXUncompress with WaitExecution set
  // it reads 0 only if the call waited for the job's end.
  const std::string script =
      "Set control = CreateObject(\"ZAXTarGzip200a.ZAXTarGzip\")\r\n"
      "WScript.Echo \"ControlName=\" & control.ControlName()\r\n"
      "WScript.Echo \"Vendor=\" & control.GetCPUVendor()\r\n"
      "control.ZAXListTarFile \"\"\r\n"
      "WScript.Echo \"EmptyName=\" & control.GetLastError\r\n"
      "control.ZAXListTarFile \"" + archive + "\"\r\n"
      "WScript.Echo \"Listed=\" & control.GetLastError\r\n"
      "control.ZAXListTarFile \"\"\r\n"
      "control.WaitExecution = True\r\n"
      "control.ZAXUncompress \"" + archive + "\", \"" + destination + "\", \"*.*\"\r\n"
      "WScript.Echo \"Extracted=\" & control.GetLastError\r\n"
      "WScript.Echo \"done\"\r\n";
  const std::string scriptPath = folder.nativeChild("drive.vbs");
  zaxtest::writeFile(scriptPath, script);

  std::string output;
  const DWORD code = runProcess(L"cscript.exe //nologo \"" + widen(scriptPath) + L"\"", 60000, &output);
  ASSERT_NE(code, 0xFFFFFFFFu) << "cscript did not end";
  EXPECT_THAT(lines(output),
              ::testing::ElementsAre("ControlName=ZAXTarGzip", "Vendor=" + cpuVendor(), "EmptyName=3",
                                     "Listed=0", "Extracted=0", "done"))
      << output;

  std::string contents;
  EXPECT_TRUE(zaxtest::readFile(folder.nativeChild("out\\docs\\readme.txt"), contents));
  EXPECT_EQ(contents, "read me");
  EXPECT_TRUE(zaxtest::readFile(folder.nativeChild("out\\data.bin"), contents));
  EXPECT_EQ(contents, "0123456789");
}

// Runs a script under cscript and answers the lines it echoed.
std::vector<std::string> runScript(zaxtest::TempFolder& folder, const std::string& script) {
  const std::string scriptPath = folder.nativeChild("drive.vbs");
  zaxtest::writeFile(scriptPath, script);
  std::string output;
  const DWORD code = runProcess(L"cscript.exe //nologo \"" + widen(scriptPath) + L"\"", 60000, &output);
  EXPECT_NE(code, 0xFFFFFFFFu) << "cscript did not end";
  return lines(output);
}

// VBScript passes a variable by reference as a Variant, whatever the parameter's declared
// type, and an expression by value in its own type: every member takes both, converting
// as VB does, and GetLastError follows every outcome, a refused destination included.
TEST(ScriptTest, VBScriptPassesVariablesExpressionsAndVariantsOfAnyType) {
  zaxtest::TempFolder folder;
  zaxtest::TarBuilder tar;
  tar.file("a.txt", "alpha").end();
  const std::string archive = folder.nativeChild("sample.tar");
  zaxtest::writeFile(archive, tar.bytes());
  const std::string destination = folder.nativeChild("out");
  const std::string folderPath = folder.nativeChild("");

  const std::string script =
      "Set c = CreateObject(\"ZAXTarGzip200a.ZAXTarGzip\")\r\n"
      "w = True : c.WaitExecution = w\r\n"
      "WScript.Echo \"WaitFlag=\" & TypeName(w) & \" \" & w\r\n"
      "a = \"" + archive + "\" : d = \"" + destination + "\" : s = \"*.*\"\r\n"
      "c.ZAXListTarFile a\r\n"
      "WScript.Echo \"Listed=\" & c.GetLastError\r\n"
      "c.ZAXUncompress a, d, s\r\n"
      "WScript.Echo \"Extracted=\" & c.GetLastError & \" \" & TypeName(a)\r\n"
      "q = \"Q:\\out\"\r\n"
      "c.ZAXUncompress a, q, s\r\n"
      "WScript.Echo \"NoSuchDrive=\" & c.GetLastError\r\n"
      // Expressions, and Variants holding numbers where strings are declared.
      "f = \"" + folderPath + "\"\r\n"
      "c.ZAXUncompress f & \"sample.tar\", d & \"2\", \"*\" & \".txt\"\r\n"
      "WScript.Echo \"Expression=\" & c.GetLastError\r\n"
      "n = 12345\r\n"
      "c.ZAXListTarFile n\r\n"
      "WScript.Echo \"Number=\" & c.GetLastError & \" \" & TypeName(n)\r\n"
      "c.ZAXListTarFile a\r\n"
      "e = Empty\r\n"
      "c.ZAXListTarFile e\r\n"
      "WScript.Echo \"Empty=\" & c.GetLastError\r\n"
      // A Variant holding a number or a string where a Boolean is declared.
      "v = 0 : c.WaitExecution = v\r\n"
      "t = \"True\" : c.WaitExecution = t\r\n"
      "c.WaitExecution = (1 = 1)\r\n"
      "c.ZAXUncompress a, d & \"3\", s\r\n"
      "WScript.Echo \"Waited=\" & c.GetLastError\r\n"
      "WScript.Echo \"Errors=\" & Err.Number\r\n"
      "x = \"no\" : c.WaitExecution = x\r\n"
      "WScript.Echo \"NotABoolean=\" & Err.Number\r\n"
      "r = c.PauseExecution() : r = c.ResumeExecution() : r = c.CancelExecution()\r\n"
      "WScript.Echo \"Steering=\" & TypeName(r)\r\n"
      "n = c.ControlName() & \"|\" & Len(c.GetCPUSpeed()) & \"|\" & (Len(c.GetCPUVendor()) > 0) & \"|\" & (Len(c.GetCPUBrandString()) > 0)\r\n"
      "WScript.Echo \"Texts=\" & n\r\n"
      "WScript.Echo \"done\"\r\n";
  // The script goes on after the refused conversion, so that the lines after it show.
  const std::string guarded = "On Error Resume Next\r\n" + script;
  EXPECT_THAT(runScript(folder, guarded),
              ::testing::ElementsAre("WaitFlag=Boolean True", "Listed=0", "Extracted=0 String",
                                     "NoSuchDrive=44", "Expression=0", "Number=5 Integer",
                                     "Empty=3", "Waited=0", "Errors=0", "NotABoolean=13",
                                     "Steering=Empty", ::testing::StartsWith("Texts=ZAXTarGzip|"),
                                     "done"));

  std::string contents;
  EXPECT_TRUE(zaxtest::readFile(folder.nativeChild("out\\a.txt"), contents));
  EXPECT_TRUE(zaxtest::readFile(folder.nativeChild("out2\\a.txt"), contents));
  EXPECT_TRUE(zaxtest::readFile(folder.nativeChild("out3\\a.txt"), contents));
  EXPECT_EQ(contents, "alpha");
}

// After outcome 39 a script reads which members were left out and why, through its own
// variables.
TEST(ScriptTest, VBScriptReadsTheFailedMembersAfterOutcome39) {
  zaxtest::TempFolder folder;
  zaxtest::TarBuilder tar;
  tar.file("../escape.txt", "out").file("kept.txt", "in").file("a/../../up.txt", "out").end();
  const std::string archive = folder.nativeChild("climb.tar");
  zaxtest::writeFile(archive, tar.bytes());

  const std::string script =
      "Set c = CreateObject(\"ZAXTarGzip200a.ZAXTarGzip\")\r\n"
      "WScript.Echo \"Before=\" & c.NumberOfFailedMembers\r\n"
      "c.WaitExecution = True\r\n"
      "c.ZAXUncompress \"" + archive + "\", \"" + folder.nativeChild("out") + "\", \"*\"\r\n"
      "WScript.Echo \"Outcome=\" & c.GetLastError\r\n"
      "n = c.NumberOfFailedMembers\r\n"
      "For i = 0 To n - 1\r\n"
      "  If c.GetFailedMember(i, name, reason) Then WScript.Echo i & \" \" & name & \": \" & reason\r\n"
      "Next\r\n"
      "WScript.Echo \"Past=\" & c.GetFailedMember(n, name, reason) & \" [\" & name & \"]\"\r\n"
      "WScript.Echo \"done\"\r\n";
  EXPECT_THAT(runScript(folder, script),
              ::testing::ElementsAre("Before=0", "Outcome=39",
                                     "0 ../escape.txt: its name leads out of the destination folder",
                                     "1 a/../../up.txt: its name leads out of the destination folder",
                                     "Past=False []", "done"));
  std::string contents;
  EXPECT_TRUE(zaxtest::readFile(folder.nativeChild("out\\kept.txt"), contents));
}

}  // namespace
}  // namespace comtest
