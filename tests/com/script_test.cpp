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

#include "tests/com/automation.h"
#include "tests/com/com_fixture.h"

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

}  // namespace
}  // namespace comtest
