#include "control/zax_tar_gzip.h"

#include <chrono>
#include <cstdint>
#include <thread>
#include <utility>

#include "common/protocol.h"
#include "control/error_table.h"

namespace zax {

namespace protocol = untgz::protocol;

const wchar_t kApplicationTitle[] = L"ZAXTarGzip";

namespace {

// Percentages above this are shown as this until the tick that sees the end raises 100,
// so a host never sees 100 while the job still writes.
constexpr std::int32_t kHighestRunningProgress = 96;

// The listing's wait on the job's end signal, between two "status" queries.
constexpr unsigned kListingWaitMs = 1000;

}  // namespace

ZAXTarGzip::ZAXTarGzip(EngineHostFactory makeHost, EventSink& events, UserInterface& ui,
                       Timer& timer, MessagePump& pump)
    : makeHost_(std::move(makeHost)), events_(events), ui_(ui), timer_(timer), pump_(pump) {}

ZAXTarGzip::ZAXTarGzip(EngineHost& host, EventSink& events, UserInterface& ui, Timer& timer,
                       MessagePump& pump)
    : host_(&host), events_(events), ui_(ui), timer_(timer), pump_(pump) {}

ZAXTarGzip::~ZAXTarGzip() {
  try {
    Terminate();
  } catch (...) {
    // Nothing can be reported from the end of the control's life.
  }
}

EngineHost& ZAXTarGzip::host() {
  if (host_ == nullptr) {
    ownedHost_ = makeHost_();
    host_ = ownedHost_.get();
  }
  terminated_ = false;
  return *host_;
}

std::int32_t ZAXTarGzip::command(const wchar_t* word, std::int32_t operand1) {
  return host().CallWindowLONG(word, operand1, 0, 0);
}

void ZAXTarGzip::enableTimer() {
  timerEnabled_ = true;
  timer_.enable(*this);
}

void ZAXTarGzip::disableTimer() {
  if (!timerEnabled_) return;
  timerEnabled_ = false;
  timer_.disable();
}

void ZAXTarGzip::RaiseErrorCode(std::int32_t number, const std::wstring& detail) {
  lastErrorNumber_ = number;
  const ErrorReport report = lookupControlError(number);
  std::int32_t errorNumber = report.number;
  std::wstring errorDescription = report.text + detail;
  events_.ErrorCode(errorNumber, errorDescription);
}

// The engine's text for the last job ("geterrorstring").
// Texts come through the engine's UTF-8 words, whole: the ANSI words would cut them at 255
// characters and lose what the code page cannot hold.
std::wstring ZAXTarGzip::engineErrorText() {
  std::wstring text;
  host().CallWindowText(protocol::kErrorTextUtf8.wide, text, 0);
  return text;
}

// Turns a job's result into its report. Destination failures carry the engine's own
// number and text; results without a row raise nothing. A damaged archive and members
// left out are failures a host must hear about, so they have rows of their own.
// GetLastError follows every ErrorCode event, destination failures included: a script
// without events reads GetLastError after the job, and must never read 0 for a failure.
void ZAXTarGzip::reportResult(std::int32_t result) {
  switch (result) {
    case protocol::kResultOk:
      RaiseErrorCode(kNoError);
      return;
    case protocol::kResultNotOpened1:
    case protocol::kResultNotOpened:
      RaiseErrorCode(kInputInvalid);
      return;
    case protocol::kResultBadInformation:
      RaiseErrorCode(kInvalidInformation);
      return;
    case protocol::kResultNotATar:
      RaiseErrorCode(kNotATarFile);
      return;
    case protocol::kResultDamaged:
      RaiseErrorCode(kDamagedArchive);
      return;
    case protocol::kResultMembersNotExtracted:
      RaiseErrorCode(kMembersNotExtracted, std::to_wstring(NumberOfFailedMembers()));
      return;
    case protocol::kResultOtherKind:
      RaiseErrorCode(kOtherKindOfFile, engineErrorText());
      return;
    case protocol::kResultMemoryLimit:
      RaiseErrorCode(kMemoryLimit, engineErrorText());
      return;
    default:
      break;
  }
  if (result < protocol::kResultDestinationBase) return;
  std::wstring text = engineErrorText();
  lastErrorNumber_ = result;
  std::int32_t errorNumber = result;
  events_.ErrorCode(errorNumber, text);
}

void ZAXTarGzip::ZAXListTarFile(const std::wstring& TarFile) {
  EngineHost& engine = host();
  engine.Init(false);
  if (engine.CheckForEmpty(TarFile)) return RaiseErrorCode(kInputEmpty);
  if (!engine.CheckInputFile(TarFile)) return RaiseErrorCode(kInputInvalid);
  if (command(protocol::kStatus.wide) != 0) return RaiseErrorCode(kAlreadyRunning);

  command(protocol::kSetListMode.wide, 1);
  engine.CallWindowUtf8(protocol::kExtractUtf8.wide, TarFile, L"c:\\", L"*.*");

  // The listing is synchronous and processes no messages while the engine reads. The
  // first answer may predate the worker's start, so it is not looked at. This thread
  // sleeps on the engine's end signal, so that it neither takes a processor from the
  // worker and read-ahead threads nor wakes late; an engine without one is polled.
  JobEndSignal ended = engine.TakeJobEndSignal();
  command(protocol::kStatus.wide);
  for (int round = 0; command(protocol::kStatus.wide) != 0; ++round) {
    if (ended) {
      // Fired: "status" answers 0 now or within moments; the polling below finishes.
      if (waitForJobEnd(ended, kListingWaitMs)) ended.reset();
    } else if (round < 100) {
      std::this_thread::yield();
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  ListedEntry entry;
  std::int32_t read = engine.ReadEntry(protocol::kFirstRecord, entry);
  // An engine that hands out whole entries: one command per entry, the same events.
  for (; read > 0; read = engine.ReadEntry(protocol::kNextRecord, entry)) {
    std::int32_t isDirectory = entry.isDirectory, year = entry.year, month = entry.month,
                 day = entry.day, hour = entry.hour, minute = entry.minute, second = entry.second,
                 size = entry.size, numberOfFiles = entry.files,
                 numberOfDirectories = entry.directories;
    // The event's copy of the name is the entry's own storage, lent and taken back: what a
    // handler does to it is overwritten by the next entry.
    std::wstring filename;
    filename.swap(entry.filename);
    entrySize_ = size;
    if (size == INT32_MAX && entry.wholeSize != 0) entrySize_ = entry.wholeSize;
    events_.TarFileInformation(isDirectory, year, month, day, hour, minute, second, filename,
                               size, numberOfFiles, numberOfDirectories);
    filename.swap(entry.filename);
  }
  if (read < 0 && command(protocol::kFirstEntry.wide) != 0) {
    do {
      std::int32_t isDirectory = command(protocol::kEntryIsDirectory.wide);
      std::int32_t second = command(protocol::kEntrySecond.wide);
      std::int32_t minute = command(protocol::kEntryMinute.wide);
      std::int32_t hour = command(protocol::kEntryHour.wide);
      std::int32_t year = command(protocol::kEntryYear.wide);
      std::int32_t month = command(protocol::kEntryMonth.wide);
      std::int32_t day = command(protocol::kEntryDay.wide);
      std::wstring filename;
      engine.CallWindowText(protocol::kEntryNameUtf8.wide, filename, 0);
      std::int32_t size = command(protocol::kEntrySize.wide);
      entrySize_ = size;
      if (size == INT32_MAX) {
        // 2 GiB or more: the event's Size saturates, C++ hosts read the whole size. An
        // engine without the words answers 0 to both, and the saturated size stands.
        const auto high = static_cast<std::uint32_t>(command(protocol::kEntrySizeHigh.wide));
        const auto low = static_cast<std::uint32_t>(command(protocol::kEntrySizeLow.wide));
        if (high != 0 || low != 0) entrySize_ = static_cast<std::int64_t>((std::uint64_t{high} << 32) | low);
      }
      std::int32_t numberOfDirectories = command(protocol::kDirectoryCount.wide);
      std::int32_t numberOfFiles = command(protocol::kFileCount.wide);
      events_.TarFileInformation(isDirectory, year, month, day, hour, minute, second, filename,
                                 size, numberOfFiles, numberOfDirectories);
    } while (command(protocol::kNextEntry.wide) != 0);
  }
  command(protocol::kDeleteEntries.wide);
  const std::int32_t result = command(protocol::kResult.wide);
  // An archive whose long names together pass what the engine keeps has some listed cut:
  // the host must not take those names for the archive's.
  if (result == protocol::kResultOk) {
    if (const std::int32_t cut = command(protocol::kCutNames.wide); cut > 0) {
      return RaiseErrorCode(kNamesCut, std::to_wstring(cut));
    }
  }
  reportResult(result);
}

void ZAXTarGzip::ZAXUncompress(const std::wstring& TarFile, const std::wstring& DestinationDir,
                               const std::wstring& FilesSelection) {
  EngineHost& engine = host();
  engine.Init(false);
  if (engine.CheckForEmpty(TarFile)) return RaiseErrorCode(kInputEmpty);
  if (engine.CheckForEmpty(DestinationDir)) return RaiseErrorCode(kDestinationEmpty);
  if (engine.CheckForEmpty(FilesSelection)) return RaiseErrorCode(kSelectionEmpty);
  if (!engine.CheckInputFile(TarFile)) return RaiseErrorCode(kInputInvalid);
  if (command(protocol::kStatus.wide) != 0) return RaiseErrorCode(kAlreadyRunning);

  command(protocol::kSetListMode.wide, 0);
  events_.Progress(0);
  engine.CallWindowUtf8(protocol::kExtractUtf8.wide, TarFile, DestinationDir, FilesSelection);
  enableTimer();
  // The tick that sees the end comes as soon as the job ends, with WaitExecution and in
  // the host's own message loop alike; the progress ticks keep their interval.
  if (JobEndSignal ended = engine.TakeJobEndSignal()) timer_.tickOnSignal(std::move(ended));

  // Waiting: the ticks (and so every event of the job) run from in here. Handlers may
  // clear WaitForEnd, cancel the job or start another one; both conditions are read
  // afresh each round. The wait blocks until the next message instead of spinning.
  while (timerEnabled_ && waitForEnd_) {
    pump_.pumpPending();
    if (timerEnabled_ && waitForEnd_) pump_.waitForMessage();
  }
}

void ZAXTarGzip::onTimerTick() {
  // A tick runs from the host's message loop, where nothing can catch for us: a failure
  // ends the polling and is reported like any other outcome instead of escaping into the
  // window procedure.
  try {
    pollJob();
  } catch (...) {
    disableTimer();
    RaiseErrorCode(kUnexpectedError);
  }
}

void ZAXTarGzip::pollJob() {
  EngineHost& engine = host();
  engine.Init(false);
  if (command(protocol::kStatus.wide) == protocol::kJobRunning) {
    const std::int32_t p = command(protocol::kPercentage.wide);
    const std::int32_t previous = lastProgressValue_;
    // Stored before the event so that a tick nested in a handler compares with this one.
    lastProgressValue_ = p;
    if (p != previous) events_.Progress(p > kHighestRunningProgress ? kHighestRunningProgress : p);
    return;
  }
  disableTimer();
  events_.Progress(100);
  events_.Finished();
  reportResult(command(protocol::kResult.wide));
}

// The failures belong to the loaded engine; asking an engine that is not loaded would only
// show the host's "error loading the dll" box.
std::int32_t ZAXTarGzip::NumberOfFailedMembers() {
  if (host_ == nullptr || !host_->IsLoaded()) return 0;
  return command(protocol::kFailedCount.wide);
}

std::int32_t ZAXTarGzip::NumberOfSelectedFiles() {
  if (host_ == nullptr || !host_->IsLoaded()) return 0;
  return command(protocol::kFileCount.wide);
}

bool ZAXTarGzip::GetFailedMember(std::int32_t Index, std::wstring& Name, std::wstring& Reason) {
  Name.clear();
  Reason.clear();
  if (Index < 0 || host_ == nullptr || !host_->IsLoaded()) return false;
  std::wstring name, reason;
  if (host_->CallWindowText(protocol::kFailureNameUtf8.wide, name, Index) == 0) return false;
  host_->CallWindowText(protocol::kFailureReasonUtf8.wide, reason, Index);
  Name = std::move(name);
  Reason = std::move(reason);
  return true;
}

std::vector<ZAXTarGzip::FailedMember> ZAXTarGzip::FailedMembers() {
  std::vector<FailedMember> members;
  FailedMember member;
  for (std::int32_t index = 0; GetFailedMember(index, member.name, member.reason); ++index) {
    members.push_back(member);
  }
  return members;
}

std::wstring ZAXTarGzip::ControlName() const { return kApplicationTitle; }

std::wstring ZAXTarGzip::ZAXBrowseForFolder(const std::wstring& Title,
                                            const std::wstring& InitDir) {
  return ui_.browseForFolder(Title, InitDir);
}

std::wstring ZAXTarGzip::processorText(const wchar_t* commandWord) {
  EngineHost& engine = host();
  engine.Init(false);
  std::wstring text;
  engine.CallWindowText(commandWord, text, 0);
  return text;
}

std::wstring ZAXTarGzip::GetCPUSpeed() { return processorText(protocol::kCpuSpeedUtf8.wide); }
std::wstring ZAXTarGzip::GetCPUVendor() { return processorText(protocol::kCpuVendorUtf8.wide); }
std::wstring ZAXTarGzip::GetCPUBrandString() { return processorText(protocol::kCpuBrandUtf8.wide); }

void ZAXTarGzip::WaitExecution(bool WaitFlag) { waitForEnd_ = WaitFlag; }

// Pause, resume and cancel reach a loaded engine only: they never load it, and they do
// not ask whether a job runs.
void ZAXTarGzip::PauseExecution() {
  if (host_ == nullptr || !host_->IsLoaded()) return;
  host_->CallWindow(protocol::kPause.wide, L" ", L" ", L" ");
}

void ZAXTarGzip::ResumeExecution() {
  if (host_ == nullptr || !host_->IsLoaded()) return;
  host_->CallWindow(protocol::kResume.wide, L" ", L" ", L" ");
}

void ZAXTarGzip::CancelExecution() {
  if (host_ == nullptr || !host_->IsLoaded()) return;
  host_->CallWindow(protocol::kCancel.wide, L" ", L" ", L" ");
}

void ZAXTarGzip::About() { ui_.showAbout(kApplicationTitle); }

std::int32_t ZAXTarGzip::GetLastError() const { return lastErrorNumber_; }

bool ZAXTarGzip::IsPolling() const { return timerEnabled_; }

void ZAXTarGzip::Terminate() {
  if (terminated_) return;
  terminated_ = true;
  disableTimer();
  // A running job still uses the engine's code: unloading it then would pull the code
  // from under the worker thread.
  if (host_ == nullptr || !host_->IsLoaded()) return;
  if (host_->CallWindowLONG(protocol::kStatus.wide, 0, 0, 0) == 0) host_->Deinit();
}

}  // namespace zax
