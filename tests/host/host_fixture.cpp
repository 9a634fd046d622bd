#include "tests/host/host_fixture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "host/engine_file.h"
#include "host/engine_image.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace hosttest {

#ifdef _WIN32
TemporaryFolderVariable::TemporaryFolderVariable(const std::string& nativeFolder) {
  char buffer[32768];
  const DWORD length = ::GetEnvironmentVariableA("TMP", buffer, sizeof buffer);
  if (length > 0 && length < sizeof buffer) saved_ = std::string(buffer, length);
  ::SetEnvironmentVariableA("TMP", nativeFolder.c_str());
}

TemporaryFolderVariable::~TemporaryFolderVariable() {
  ::SetEnvironmentVariableA("TMP", saved_ ? saved_->c_str() : nullptr);
}
#else
TemporaryFolderVariable::TemporaryFolderVariable(const std::string& nativeFolder) {
  if (const char* value = std::getenv("TMPDIR")) saved_ = value;
  ::setenv("TMPDIR", nativeFolder.c_str(), 1);
}

TemporaryFolderVariable::~TemporaryFolderVariable() {
  if (saved_) {
    ::setenv("TMPDIR", saved_->c_str(), 1);
  } else {
    ::unsetenv("TMPDIR");
  }
}
#endif

const Image& engineImage() {
  static const Image image = zax::loadRawResource(1).value();
  return image;
}

Image fileNextToTheProgram(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  EXPECT_TRUE(in) << name;
  return Image(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::wstring wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

void HostTest::TearDown() {
  for (auto& host : hosts_) host->Deinit();
}

zax::ZipClass& HostTest::makeHost(zax::ZipClassSeams seams) {
  hosts_.push_back(std::make_unique<zax::ZipClass>(boxes, std::move(seams)));
  return *hosts_.back();
}

zax::ZipClass& HostTest::makeHostWithImage(const Image& image) {
  zax::ZipClassSeams seams;
  seams.rawResource = [image](std::int32_t number) -> std::optional<Image> {
    if (number != 1) return std::nullopt;
    return image;
  };
  return makeHost(std::move(seams));
}

std::string HostTest::deploymentFolder() const { return temp.nativeChild("ZAXSoftware"); }

std::string HostTest::deployedFile() const {
  return (fs::path(deploymentFolder()) / zax::kEngineFileName).string();
}

std::wstring HostTest::hostTemporaryFolder() const { return wide(temp.engine() + "\\"); }

}  // namespace hosttest
