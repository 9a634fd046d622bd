// What the engine host tests share: message boxes that record, the system's temporary folder
// pointed at a test folder, and engine images to deploy.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/zip_class.h"
#include "tests/support/test_support.h"

namespace hosttest {

using Image = std::vector<std::uint8_t>;

class RecordingMessageBoxes : public zax::MessageBoxes {
 public:
  void showMessage(const std::wstring& text) override { shown.push_back(text); }
  std::vector<std::wstring> shown;
};

// Points the variable the system reads for the temporary folder (TMP on Windows, TMPDIR
// natively) at a folder, and restores it afterwards.
class TemporaryFolderVariable {
 public:
  explicit TemporaryFolderVariable(const std::string& nativeFolder);
  ~TemporaryFolderVariable();
  TemporaryFolderVariable(const TemporaryFolderVariable&) = delete;
  TemporaryFolderVariable& operator=(const TemporaryFolderVariable&) = delete;

 private:
  std::optional<std::string> saved_;
};

// The engine image this program carries (the real engine).
const Image& engineImage();
// A file next to the test program (the stand-in libraries).
Image fileNextToTheProgram(const std::string& name);

std::wstring wide(const std::string& ascii);

// A fresh temporary folder that the system reports as the user's, and the engine hosts made
// for the test, each unloaded at the end so the folder can be removed.
class HostTest : public testing::Test {
 protected:
  void TearDown() override;

  zax::ZipClass& makeHost(zax::ZipClassSeams seams = {});
  // A host whose engine image is `image` instead of the real one.
  zax::ZipClass& makeHostWithImage(const Image& image);

  // The deployed file and its folder, as this process's C library names them.
  std::string deployedFile() const;
  std::string deploymentFolder() const;
  // The temporary folder as the host names it, with its separator.
  std::wstring hostTemporaryFolder() const;

  zaxtest::TempFolder temp;
  TemporaryFolderVariable variable{temp.native()};
  RecordingMessageBoxes boxes;

 private:
  std::vector<std::unique_ptr<zax::ZipClass>> hosts_;
};

}  // namespace hosttest
