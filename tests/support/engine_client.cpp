#include "tests/support/engine_client.h"

#include <chrono>
#include <thread>

#include "common/protocol.h"
#include "engine/commands.h"

namespace enginetest {

std::intptr_t text(const std::string& value) {
  return reinterpret_cast<std::intptr_t>(value.c_str());
}

std::vector<std::string> ListResult::names() const {
  std::vector<std::string> result;
  for (const Listed& entry : entries) result.push_back(entry.name);
  return result;
}

std::int32_t EngineClient::call(const char* command, std::intptr_t operand1, std::intptr_t operand2,
                                std::intptr_t operand3) {
  return untgz::dispatchCommand(engine_, command, operand1, operand2, operand3);
}

std::string EngineClient::textResult(const char* command) {
  std::string buffer(untgz::protocol::kHostBufferSize, ' ');
  call(command, reinterpret_cast<std::intptr_t>(&buffer[0]));
  return buffer.substr(0, buffer.find('\0'));
}

void EngineClient::waitForIdle() {
  for (int i = 0; i < 60000 && call("status") == 1; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_EQ(call("status"), 0) << "the job did not end";
}

ListResult EngineClient::listArchive(const std::string& engineArchivePath) {
  ListResult listing;
  call("setflaglist", 1);
  const std::string destination = "c:\\", selection = "*.*";
  EXPECT_EQ(call("zaxuntar", text(engineArchivePath), text(destination), text(selection)), 0);
  waitForIdle();
  for (std::int32_t more = call("tarinfo"); more == 1; more = call("tarinfo2")) {
    listing.entries.push_back({textResult("tarinfofilename"), call("tarinfoisdir"),
                               call("tarinfosize"), call("tarinfoyear"), call("tarinfomonth"),
                               call("tarinfoday"), call("tarinfohour"), call("tarinfominute"),
                               call("tarinfosecond")});
  }
  call("tarinfodelete");
  listing.dirs = call("getnumdir");
  listing.files = call("getnumfiles");
  listing.result = call("getintret");
  return listing;
}

ListResult EngineClient::listBytes(const zaxtest::Bytes& archive, const std::string& fileName) {
  zaxtest::TempFolder folder;
  zaxtest::writeFile(folder.nativeChild(fileName), archive);
  return listArchive(folder.engineChild(fileName));
}

}  // namespace enginetest
