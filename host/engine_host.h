// What the control needs from the engine host: loading the engine, carrying command words
// and operands to interface1, and the argument checks. ZipClass is the real one; tests of
// the control put a scripted engine behind the same operations.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "host/job_end_signal.h"

namespace zax {

// An error the engine host raises to the control's caller (70: the deployment folder
// cannot be created; 5001: any other failure of Init). The COM adapter turns it into the
// method call's error with this number and description, which is UTF-8.
class HostError : public std::runtime_error {
 public:
  HostError(std::int32_t number, const std::string& description)
      : std::runtime_error(description), number_(number) {}
  std::int32_t number() const { return number_; }
  std::string description() const { return what(); }

 private:
  std::int32_t number_;
};

// Modal message boxes of the engine host ("error loading the dll", ...). The control's
// user-interface seam implements it: MessageBoxA on Windows, standard error natively.
class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  virtual void showMessage(const std::wstring& text) = 0;
};

// One entry of the engine's list whole, as its field words answer them.
struct ListedEntry {
  std::int32_t isDirectory = 0, year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  std::wstring filename;
  std::int32_t size = 0;         // stops at 2147483647
  std::int64_t wholeSize = 0;
  std::int32_t files = 0, directories = 0;
};

class EngineHost {
 public:
  virtual ~EngineHost() = default;

  // Deploys, verifies and loads the engine on the first successful run; later calls
  // return at once unless fOrceinit is true. Throws HostError.
  virtual void Init(bool fOrceinit) = 0;
  virtual void Deinit() = 0;
  virtual bool IsLoaded() const = 0;

  // The four wrappers: each returns the engine's result, or 0 (with the message box
  // "error loading the dll") when no engine is loaded.
  virtual std::int32_t CallWindow(const std::wstring& string11, const std::wstring& string22,
                                  const std::wstring& string33, const std::wstring& string44) = 0;
  // string22 is the output buffer; string11, string22 and string33 are written back cut at
  // their first NUL.
  virtual std::int32_t CallWindow2(std::wstring& string11, std::wstring& string22,
                                   std::wstring& string33, std::int32_t string44) = 0;
  virtual std::int32_t CallWindowLONG(const std::wstring& string11, std::int32_t string22,
                                      std::int32_t string33, std::int32_t string44) = 0;
  virtual std::int32_t CallWindowInt(const std::wstring& string11, std::int32_t string22,
                                     std::int32_t string33, std::int32_t string44) = 0;

  // The UTF-8 forms of the engine's text words, through which the control's Unicode strings
  // cross whole (the four wrappers above speak the ANSI code page, in the engine's 256-byte
  // buffers). CallWindowUtf8 sends three text operands, like CallWindow. CallWindowText
  // sends an output buffer and its size as operands 1 and 2 and string44 as operand 3,
  // asks again with a buffer of the size the engine answers when the first was too small,
  // and brings the text back whole into `text` (empty when the engine answered 0, which it
  // does for nothing to hand out or a word it does not know). Both answer the engine's
  // result, or 0 (with the message box) when no engine is loaded.
  virtual std::int32_t CallWindowUtf8(const std::wstring& string11, const std::wstring& string22,
                                      const std::wstring& string33,
                                      const std::wstring& string44) = 0;
  virtual std::int32_t CallWindowText(const std::wstring& string11, std::wstring& text,
                                      std::int32_t string44) = 0;

  // A waitable signalled once the job that runs now has ended ("getjobend"), or none (an
  // engine without the word, no job, no engine): the caller then finds the end by polling.
  virtual JobEndSignal TakeJobEndSignal() { return JobEndSignal(); }

  // Loads the first (which 0) or the next (which 1) entry of the engine's list, as
  // "tarinfo" and "tarinfo2" do, and reads all of it in one command
  // ("tarinforecordutf8"). 1 with the entry, 0 at the end of the list, -1 when the
  // engine has no such command (the caller then reads it field by field).
  virtual std::int32_t ReadEntry(std::int32_t which, ListedEntry& entry) {
    (void)which;
    (void)entry;
    return -1;
  }

  // Argument checks.
  virtual bool CheckForEmpty(const std::wstring& Inputfile) = 0;
  virtual bool CheckInputFile(const std::wstring& Inputfile) = 0;
  virtual bool CheckOuPutFile(const std::wstring& Inputfile) = 0;
  virtual bool CheckForEquality(const std::wstring& Inputfile, const std::wstring& OutPutFile) = 0;
};

}  // namespace zax
