// ZipClass, the control's engine host: writes the engine library that the control carries
// out to a fixed file under the user's temporary folder, verifies it against the carried
// image, loads it, carries command words and operands to its entry interface1 and brings
// the results back, and checks the control's file arguments. The four wrappers speak the
// ANSI code page, as every caller of the engine's classic words does; CallWindowUtf8 and
// CallWindowText carry the UTF-8 words, through which nothing of the control's Unicode
// strings is lost on the way. Paths reach the system through its wide calls.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/adler32.h"
#include "host/engine_entry.h"
#include "host/engine_host.h"
#include "host/host_system.h"

namespace zax {

// Where ZipClass gets what the system would otherwise give it. An unset member means the
// system's own.
struct ZipClassSeams {
  // What GetTempPathA answers: the temporary folder, or "" when there is none.
  std::function<std::string()> temporaryFolder;
  // Raw-data resource `number` of the control module (the engine image is number 1), or
  // nothing when there is no such resource.
  std::function<std::optional<std::vector<std::uint8_t>>(std::int32_t number)> rawResource;
};

class ZipClass final : public EngineHost {
 public:
  // The message boxes must outlive the object.
  explicit ZipClass(MessageBoxes& messageBoxes, ZipClassSeams seams = {});
  ZipClass(const ZipClass&) = delete;
  ZipClass& operator=(const ZipClass&) = delete;
  // Leaves the engine loaded unless Deinit freed it (see there).
  ~ZipClass() override;

  void Init(bool fOrceinit) override;
  // Releases the library. The handles are forgotten with it, so a later call reports that
  // nothing is loaded instead of running code that is gone.
  void Deinit() override;
  bool IsLoaded() const override;

  std::int32_t CallWindow(const std::wstring& string11, const std::wstring& string22,
                          const std::wstring& string33, const std::wstring& string44) override;
  std::int32_t CallWindow2(std::wstring& string11, std::wstring& string22, std::wstring& string33,
                           std::int32_t string44) override;
  std::int32_t CallWindowLONG(const std::wstring& string11, std::int32_t string22,
                              std::int32_t string33, std::int32_t string44) override;
  std::int32_t CallWindowInt(const std::wstring& string11, std::int32_t string22,
                             std::int32_t string33, std::int32_t string44) override;
  std::int32_t CallWindowUtf8(const std::wstring& string11, const std::wstring& string22,
                              const std::wstring& string33, const std::wstring& string44) override;
  std::int32_t CallWindowText(const std::wstring& string11, std::wstring& text,
                              std::int32_t string44) override;
  JobEndSignal TakeJobEndSignal() override;
  std::int32_t ReadEntry(std::int32_t which, ListedEntry& entry) override;

  bool CheckForEmpty(const std::wstring& Inputfile) override;
  bool CheckInputFile(const std::wstring& Inputfile) override;
  // Refuses a path where something exists already, leaving it alone.
  bool CheckOuPutFile(const std::wstring& Inputfile) override;
  bool CheckForEquality(const std::wstring& Inputfile, const std::wstring& OutPutFile) override;

  // The temporary folder ending in the separator, or "" when the system has none.
  std::wstring GetTempPathString();
  // Creates every folder of the chain down to NewDirectory; true when it is a folder then.
  bool CreateNewDirectory(const std::wstring& NewDirectory);
  // Writes raw-data resource ResNumber to OutFile; failures are silent.
  void ExtractRes(const std::wstring& OutFile, std::int32_t ResNumber);
  // Adler32 of raw-data resource ResNumber, 0 when there is none.
  std::int32_t ExtractResAdler32(std::int32_t ResNumber);
  // Adler32 of the file's bytes (0 for an empty file); throws std::runtime_error when it
  // cannot be read.
  std::int32_t Adler32file(const std::wstring& Inputfile);
  // Deletes the file; failures are ignored.
  void ZAXKill(const std::wstring& filename);

  // The deployed engine file, set by every Init that asks for the temporary folder.
  const std::wstring& enginePath() const { return EnginePath; }

 private:
  std::optional<std::vector<std::uint8_t>> rawResource(std::int32_t number);
  // Shows the message box for a missing library or entry; true when the entry can be run.
  bool engineReachable();

  MessageBoxes& messageBoxes_;
  ZipClassSeams seams_;

  bool Loaded = false;
  os::EngineEntry hEngine;
  std::wstring EnginePath;
  std::vector<char> recordBuffer_;  // kept from one entry to the next
};

}  // namespace zax
