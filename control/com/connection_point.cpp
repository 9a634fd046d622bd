#include "control/com/connection_point.h"

#include <olectl.h>

#include <new>
#include <utility>

#include "control/com/interface_table.h"

namespace zax::com {

// ---- enumerators ----------------------------------------------------------------------

namespace {

void addRefItem(CONNECTDATA& item) { item.pUnk->AddRef(); }
void releaseItem(CONNECTDATA& item) { item.pUnk->Release(); }
void addRefItem(IConnectionPoint* item) { item->AddRef(); }
void releaseItem(IConnectionPoint* item) { item->Release(); }

}  // namespace

template <class Interface, class Item>
class Enumerator final : public Interface {
 public:
  Enumerator(const IID& iid, std::vector<Item> items, size_t position = 0)
      : iid_(iid), items_(std::move(items)), position_(position) {
    for (Item& item : items_) addRefItem(item);
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, iid_)) {
      *object = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const long refs = InterlockedDecrement(&refs_);
    if (refs == 0) delete this;
    return refs;
  }

  HRESULT STDMETHODCALLTYPE Next(ULONG count, Item* out, ULONG* fetched) override {
    if (out == nullptr || (count > 1 && fetched == nullptr)) return E_POINTER;
    ULONG n = 0;
    while (n < count && position_ < items_.size()) {
      out[n] = items_[position_++];
      addRefItem(out[n]);
      ++n;
    }
    if (fetched != nullptr) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    const size_t left = items_.size() - position_;
    if (count > left) {
      position_ = items_.size();
      return S_FALSE;
    }
    position_ += count;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    position_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(Interface** copy) override {
    if (copy == nullptr) return E_POINTER;
    *copy = new (std::nothrow) Enumerator(iid_, items_, position_);
    return *copy == nullptr ? E_OUTOFMEMORY : S_OK;
  }

 private:
  ~Enumerator() {
    for (Item& item : items_) releaseItem(item);
  }

  long refs_ = 1;
  IID iid_;
  std::vector<Item> items_;
  size_t position_;
};

HRESULT makeConnectionPointEnumerator(IConnectionPoint* point, IEnumConnectionPoints** out) {
  if (out == nullptr) return E_POINTER;
  *out = new (std::nothrow) Enumerator<IEnumConnectionPoints, IConnectionPoint*>(
      IID_IEnumConnectionPoints, {point});
  return *out == nullptr ? E_OUTOFMEMORY : S_OK;
}

// ---- connection point -----------------------------------------------------------------

ConnectionPoint::ConnectionPoint(IConnectionPointContainer& container, const IID& eventIid)
    : container_(container), eventIid_(eventIid) {}

ConnectionPoint::~ConnectionPoint() { disconnectAll(); }

HRESULT STDMETHODCALLTYPE ConnectionPoint::QueryInterface(REFIID iid, void** object) {
  static constexpr InterfaceRow<ConnectionPoint> kInterfaces[] = {
      as<IUnknown, IConnectionPoint>,
      as<IConnectionPoint>,
  };
  return queryInterface(this, kInterfaces, iid, object);
}

ULONG STDMETHODCALLTYPE ConnectionPoint::AddRef() { return container_.AddRef(); }
ULONG STDMETHODCALLTYPE ConnectionPoint::Release() { return container_.Release(); }

HRESULT STDMETHODCALLTYPE ConnectionPoint::GetConnectionInterface(IID* iid) {
  if (iid == nullptr) return E_POINTER;
  *iid = eventIid_;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ConnectionPoint::GetConnectionPointContainer(
    IConnectionPointContainer** container) {
  if (container == nullptr) return E_POINTER;
  *container = &container_;
  container_.AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (cookie == nullptr) return E_POINTER;
  *cookie = 0;
  if (sink == nullptr) return E_POINTER;
  ComPtr<IDispatch> dispatch;
  // A sink that does not know the event interface by name may still take the events as
  // plain IDispatch calls.
  if (FAILED(sink->QueryInterface(eventIid_, dispatch.putVoid())) &&
      FAILED(sink->QueryInterface(IID_IDispatch, dispatch.putVoid()))) {
    return CONNECT_E_CANNOTCONNECT;
  }
  try {
    connections_.push_back({nextCookie_, std::move(dispatch)});
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  *cookie = nextCookie_++;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ConnectionPoint::Unadvise(DWORD cookie) {
  for (auto it = connections_.begin(); it != connections_.end(); ++it) {
    if (it->cookie == cookie) {
      // Let go of after the list is whole again: the sink's end may call back.
      const ComPtr<IDispatch> sink = std::move(it->sink);
      connections_.erase(it);
      return S_OK;
    }
  }
  return CONNECT_E_NOCONNECTION;
}

HRESULT STDMETHODCALLTYPE ConnectionPoint::EnumConnections(IEnumConnections** connections) {
  if (connections == nullptr) return E_POINTER;
  std::vector<CONNECTDATA> items;
  try {
    for (const Connection& c : connections_) items.push_back({c.sink.get(), c.cookie});
    *connections = new Enumerator<IEnumConnections, CONNECTDATA>(IID_IEnumConnections,
                                                                 std::move(items));
  } catch (...) {
    *connections = nullptr;
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

void ConnectionPoint::fireWith(DISPID id, void (*fill)(EventArgs&, const void*), const void* context) {
  // A handler may connect or disconnect sinks; the call goes to those connected now.
  constexpr std::size_t kFewSinks = 4;
  ComPtr<IDispatch> few[kFewSinks];
  std::vector<ComPtr<IDispatch>> many;
  ComPtr<IDispatch>* sinks = few;
  const std::size_t count = connections_.size();
  if (count > kFewSinks) {
    many.resize(count);
    sinks = many.data();
  }
  for (std::size_t i = 0; i < count; ++i) sinks[i] = connections_[i].sink;
  for (std::size_t i = 0; i < count; ++i) {
    EventArgs args;
    fill(args, context);
    DISPPARAMS params = args.params();
    sinks[i]->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr,
                     nullptr);
    sinks[i].reset();
  }
}

void ConnectionPoint::disconnectAll() {
  // Emptied before the sinks are let go of, for the same reason as in Unadvise.
  std::vector<Connection> connections;
  connections.swap(connections_);
}

// ---- event arguments ------------------------------------------------------------------

EventArgs::~EventArgs() {
  // A handler may have replaced a by-reference string; free whatever is there now.
  for (BSTR& s : strings_) SysFreeString(s);
}

void EventArgs::addLong(LONG value) {
  VARIANT& v = args_[count_++];
  VariantInit(&v);
  V_VT(&v) = VT_I4;
  V_I4(&v) = value;
}

void EventArgs::addLongByRef(LONG value) {
  LONG& slot = longs_[count_];
  slot = value;
  VARIANT& v = args_[count_++];
  VariantInit(&v);
  V_VT(&v) = VT_I4 | VT_BYREF;
  V_I4REF(&v) = &slot;
}

void EventArgs::addStringByRef(const std::wstring& value) {
  BSTR& slot = strings_[count_];
  slot = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
  VARIANT& v = args_[count_++];
  VariantInit(&v);
  V_VT(&v) = VT_BSTR | VT_BYREF;
  V_BSTRREF(&v) = &slot;
}

DISPPARAMS EventArgs::params() {
  for (int i = 0; i < count_; ++i) reversed_[i] = args_[count_ - 1 - i];
  DISPPARAMS params{};
  params.rgvarg = count_ > 0 ? reversed_ : nullptr;
  params.cArgs = static_cast<UINT>(count_);
  return params;
}

// ---- event forwarding -----------------------------------------------------------------

void EventForwarder::ErrorCode(std::int32_t& ErrorNumber, std::wstring& ErrorDescription) {
  point_.fire(static_cast<DISPID>(EventId::kErrorCode), [&](EventArgs& args) {
    args.addLongByRef(ErrorNumber);
    args.addStringByRef(ErrorDescription);
  });
}

void EventForwarder::Finished() {
  point_.fire(static_cast<DISPID>(EventId::kFinished), [](EventArgs&) {});
}

void EventForwarder::Progress(std::int32_t ProgressValue) {
  point_.fire(static_cast<DISPID>(EventId::kProgress),
              [&](EventArgs& args) { args.addLong(ProgressValue); });
}

void EventForwarder::TarFileInformation(std::int32_t& IsDirectory, std::int32_t& Year,
                                        std::int32_t& Month, std::int32_t& Day,
                                        std::int32_t& Hour, std::int32_t& Minute,
                                        std::int32_t& Second, std::wstring& filename,
                                        std::int32_t& Size, std::int32_t& NumberOfFiles,
                                        std::int32_t& NumberOfDirectories) {
  point_.fire(static_cast<DISPID>(EventId::kTarFileInformation), [&](EventArgs& args) {
    args.addLongByRef(IsDirectory);
    args.addLongByRef(Year);
    args.addLongByRef(Month);
    args.addLongByRef(Day);
    args.addLongByRef(Hour);
    args.addLongByRef(Minute);
    args.addLongByRef(Second);
    args.addStringByRef(filename);
    args.addLongByRef(Size);
    args.addLongByRef(NumberOfFiles);
    args.addLongByRef(NumberOfDirectories);
  });
}

}  // namespace zax::com
