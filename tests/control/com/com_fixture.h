// A control created by ProgID with one event recorder connected, and archives for it in a
// temporary folder of the test.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "tests/control/com/automation.h"
#include "tests/support/test_support.h"

namespace comtest {

// The event that ends every job that went well.
inline constexpr wchar_t kNoError[] = L"ErrorCode(0,No error)";

std::wstring widen(const std::string& text);

// Writes a gzip-compressed archive holding one member of `size` zero bytes, to give a job
// that runs long enough to be steered.
void writeLargeArchive(const std::string& path, long long size);

class ActiveXTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(control.ok()) << "CoCreateInstance from the ProgID: 0x" << std::hex
                              << control.createResult();
    cookie = control.connect(&events);
    ASSERT_NE(cookie, 0u);
  }
  void TearDown() override {
    if (control.ok() && cookie != 0) control.disconnect(cookie);
    control.release();
    EXPECT_THAT(takeUnexpectedDialogs(), ::testing::IsEmpty());
  }

  // Path of a file or folder inside the test's folder, as the control is given it.
  std::wstring path(const std::string& relative) const { return widen(folder.nativeChild(relative)); }
  std::wstring writeArchive(const std::string& name, const zaxtest::Bytes& bytes) {
    zaxtest::writeFile(folder.nativeChild(name), bytes);
    return path(name);
  }
  // A directory entry and two files.
  std::wstring smallArchive() {
    zaxtest::TarBuilder tar;
    tar.directory("dir/").file("dir/a.txt", "hello").file("b.txt", "world!").end();
    return writeArchive("small.tar", tar.bytes());
  }
  bool finished() const { return events.has(kFinished) && events.events.back().id == kErrorCode; }

  zaxtest::TempFolder folder;
  Control control;
  EventRecorder events{control.ok() ? control.eventIid() : IID_NULL};
  DWORD cookie = 0;
};

}  // namespace comtest
