// The control's outgoing events. The COM adapter forwards them to the connected sinks with
// the dispatch ids of the event interface; the command-line host prints them.
#pragma once

#include <cstdint>
#include <string>

namespace zax {

// Dispatch ids of the events; each is also the number by which the control raises it.
enum class EventId : std::int32_t {
  kErrorCode = 1,
  kFinished = 2,
  kProgress = 3,
  kTarFileInformation = 4,
};

// Every event is raised synchronously on the control's thread. The by-reference
// parameters are copies made for this one call: the control never reads them back, so a
// handler that changes them changes nothing.
class EventSink {
 public:
  virtual ~EventSink() = default;

  virtual void ErrorCode(std::int32_t& ErrorNumber, std::wstring& ErrorDescription) = 0;
  virtual void Finished() = 0;
  virtual void Progress(std::int32_t ProgressValue) = 0;
  virtual void TarFileInformation(std::int32_t& IsDirectory, std::int32_t& Year,
                                  std::int32_t& Month, std::int32_t& Day, std::int32_t& Hour,
                                  std::int32_t& Minute, std::int32_t& Second,
                                  std::wstring& filename, std::int32_t& Size,
                                  std::int32_t& NumberOfFiles,
                                  std::int32_t& NumberOfDirectories) = 0;
};

}  // namespace zax
