// The control's one connection point, for its event interface, and the bridge that turns
// the control logic's events into IDispatch::Invoke calls on every connected sink.
#pragma once

#include <ocidl.h>

#include <functional>
#include <vector>

#include "control/com/com_ptr.h"
#include "control/event_sink.h"

namespace zax::com {

class EventArgs;

// Lives inside the control object and shares its reference count.
class ConnectionPoint final : public IConnectionPoint {
 public:
  ConnectionPoint(IConnectionPointContainer& container, const IID& eventIid);
  ~ConnectionPoint();
  ConnectionPoint(const ConnectionPoint&) = delete;
  ConnectionPoint& operator=(const ConnectionPoint&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** container) override;
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** connections) override;

  // Calls event id on every sink connected when the call starts. fill builds each sink's
  // arguments afresh, so what one handler writes into a by-reference argument reaches
  // neither the control nor the next sink. Failures of a sink are its own business.
  // A listing fires an event per entry: nothing of the call is allocated on the heap but
  // the by-reference string, and the sinks are held on the stack when they are few.
  template <typename Fill>
  void fire(DISPID id, const Fill& fill) {
    fireWith(id, [](EventArgs& args, const void* context) { (*static_cast<const Fill*>(context))(args); },
             &fill);
  }

  // Drops every connection (the control's end).
  void disconnectAll();

 private:
  void fireWith(DISPID id, void (*fill)(EventArgs&, const void*), const void* context);

  struct Connection {
    DWORD cookie;
    ComPtr<IDispatch> sink;
  };

  IConnectionPointContainer& container_;
  IID eventIid_;
  std::vector<Connection> connections_;
  DWORD nextCookie_ = 1;
};

// The arguments of one event call, given in declaration order. By-reference arguments
// point into this object, which owns the strings.
class EventArgs {
 public:
  EventArgs() = default;
  ~EventArgs();
  EventArgs(const EventArgs&) = delete;
  EventArgs& operator=(const EventArgs&) = delete;

  void addLong(LONG value);
  void addLongByRef(LONG value);
  void addStringByRef(const std::wstring& value);
  // The DISPPARAMS of the call (arguments in reverse order, as IDispatch::Invoke takes them).
  DISPPARAMS params();

 private:
  static constexpr int kMaxArgs = 12;
  VARIANT args_[kMaxArgs];
  LONG longs_[kMaxArgs] = {};
  BSTR strings_[kMaxArgs] = {};
  VARIANT reversed_[kMaxArgs];
  int count_ = 0;
};

// The control logic's EventSink, raising each event through the connection point with the
// dispatch id of the event interface.
class EventForwarder final : public EventSink {
 public:
  explicit EventForwarder(ConnectionPoint& point) : point_(point) {}

  void ErrorCode(std::int32_t& ErrorNumber, std::wstring& ErrorDescription) override;
  void Finished() override;
  void Progress(std::int32_t ProgressValue) override;
  void TarFileInformation(std::int32_t& IsDirectory, std::int32_t& Year, std::int32_t& Month,
                          std::int32_t& Day, std::int32_t& Hour, std::int32_t& Minute,
                          std::int32_t& Second, std::wstring& filename, std::int32_t& Size,
                          std::int32_t& NumberOfFiles,
                          std::int32_t& NumberOfDirectories) override;

 private:
  ConnectionPoint& point_;
};

// An IEnumConnectionPoints over the one connection point.
HRESULT makeConnectionPointEnumerator(IConnectionPoint* point, IEnumConnectionPoints** out);

}  // namespace zax::com
