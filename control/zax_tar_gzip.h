// ZAXTarGzip: the control's logic, free of COM. Every member of the published interface
// is here with its parameters; the COM adapter converts BSTR/VARIANT and calls one member.
// Outcomes reach the host through EventSink and GetLastError(), never through results.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "control/event_sink.h"
#include "control/ui_seams.h"
#include "host/engine_host.h"

namespace zax {

// Makes the engine host the first time a member needs it (ZipClass in the product).
using EngineHostFactory = std::function<std::unique_ptr<EngineHost>()>;

class ZAXTarGzip final : private TimerClient {
 public:
  // The engine host is made by makeHost on the first member call that needs it and kept
  // for the life of the control. The seams must outlive the control.
  ZAXTarGzip(EngineHostFactory makeHost, EventSink& events, UserInterface& ui, Timer& timer,
             MessagePump& pump);
  // Uses an engine host owned by the caller (tests, hosts that share one).
  ZAXTarGzip(EngineHost& host, EventSink& events, UserInterface& ui, Timer& timer,
             MessagePump& pump);
  ZAXTarGzip(const ZAXTarGzip&) = delete;
  ZAXTarGzip& operator=(const ZAXTarGzip&) = delete;
  // Runs Terminate().
  ~ZAXTarGzip();

  // Members of the published interface, in its order. A HostError thrown by the engine
  // host's Init is not caught: it reaches the caller as the call's error, with no event.
  void ZAXListTarFile(const std::wstring& TarFile);
  void ZAXUncompress(const std::wstring& TarFile, const std::wstring& DestinationDir,
                     const std::wstring& FilesSelection);
  std::wstring ControlName() const;
  std::wstring ZAXBrowseForFolder(const std::wstring& Title, const std::wstring& InitDir);
  std::wstring GetCPUSpeed();
  std::wstring GetCPUVendor();
  std::wstring GetCPUBrandString();
  void WaitExecution(bool WaitFlag);  // write-only property
  void PauseExecution();
  void ResumeExecution();
  void CancelExecution();
  void About();
  std::int32_t GetLastError() const;  // read-only property

  // End of the control's life: stops the timer and unloads the engine when it is loaded
  // and reports no running job; a running job keeps it loaded. Safe to call twice.
  void Terminate();

  // The members the last extraction did not extract, with the engine's reason for each;
  // at most the first thousand are named (NumberOfFailedMembers counts them all). Before
  // the engine is loaded there are none.
  struct FailedMember {
    std::wstring name;
    std::wstring reason;
  };
  std::vector<FailedMember> FailedMembers();
  std::int32_t NumberOfFailedMembers();
  // The files of the archive that the last extraction's selection matched, whether they
  // were extracted or not (0 before the engine is loaded).
  std::int32_t NumberOfSelectedFiles();
  // The member named at Index (from 0) into Name and Reason; false, with both empty, when
  // none is named there.
  bool GetFailedMember(std::int32_t Index, std::wstring& Name, std::wstring& Reason);

  // The whole size of the entry that the TarFileInformation event being raised describes,
  // where the event's Size stops at 2147483647.
  std::int64_t EntrySize() const { return entrySize_; }

  // True while an extraction is being polled (the timer is enabled). Hosts with their own
  // event loop run it until this turns false.
  bool IsPolling() const;

 private:
  void onTimerTick() override;
  void pollJob();
  EngineHost& host();  // makes the engine host on first use
  std::wstring processorText(const wchar_t* command);
  std::int32_t command(const wchar_t* word, std::int32_t operand1 = 0);
  // detail, when given, follows the table's text (the count of members not extracted).
  void RaiseErrorCode(std::int32_t number, const std::wstring& detail = std::wstring());
  void reportResult(std::int32_t result);
  std::wstring engineErrorText();
  void enableTimer();
  void disableTimer();

  EngineHostFactory makeHost_;
  std::unique_ptr<EngineHost> ownedHost_;
  EngineHost* host_ = nullptr;
  EventSink& events_;
  UserInterface& ui_;
  Timer& timer_;
  MessagePump& pump_;

  bool timerEnabled_ = false;         // Timer1
  bool waitForEnd_ = false;           // WaitForEnd
  std::int32_t lastErrorNumber_ = 0;  // LastErrorNumber
  std::int32_t lastProgressValue_ = 0;  // LastProgressValue
  std::int64_t entrySize_ = 0;
  bool terminated_ = false;
};

// The application title: what ControlName returns and the About box's caption.
extern const wchar_t kApplicationTitle[];

}  // namespace zax
