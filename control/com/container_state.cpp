#include "control/com/container_state.h"

#include <utility>

#include "control/com/control_view.h"

namespace zax::com {
namespace {

// What IOleInPlaceSite::GetWindowContext answers: the container's frame and document
// windows (either may be missing) and the place it gives the control.
struct WindowContext {
  HRESULT result = E_FAIL;
  ComPtr<IOleInPlaceFrame> frame;
  ComPtr<IOleInPlaceUIWindow> document;
  RECT position{};
  RECT clip{};
};

WindowContext windowContext(IOleInPlaceSite& site) {
  WindowContext context;
  OLEINPLACEFRAMEINFO frameInfo{};
  frameInfo.cb = sizeof(frameInfo);
  context.result = site.GetWindowContext(context.frame.put(), context.document.put(),
                                         &context.position, &context.clip, &frameInfo);
  return context;
}

// Tells the container's frame and document windows which object is UI-active (null: none).
void announceActiveObject(IOleInPlaceSite& site, IOleInPlaceActiveObject* active) {
  const WindowContext context = windowContext(site);
  if (FAILED(context.result)) return;
  if (context.frame) context.frame->SetActiveObject(active, nullptr);
  if (context.document) context.document->SetActiveObject(active, nullptr);
}

}  // namespace

ContainerState::ContainerState(IOleInPlaceActiveObject& activeObject)
    : activeObject_(activeObject) {}

ContainerState::~ContainerState() {
  if (window_ != nullptr) DestroyWindow(window_);
}

// ---- advise sinks ----------------------------------------------------------------------

HRESULT ContainerState::advise(IAdviseSink* sink, DWORD* connection) {
  if (!adviseHolder_) {
    const HRESULT hr = CreateOleAdviseHolder(adviseHolder_.put());
    if (FAILED(hr)) return hr;
  }
  return adviseHolder_->Advise(sink, connection);
}

HRESULT ContainerState::unadvise(DWORD connection) {
  if (!adviseHolder_) return OLE_E_NOCONNECTION;
  return adviseHolder_->Unadvise(connection);
}

HRESULT ContainerState::enumAdvise(IEnumSTATDATA** advises) {
  if (!adviseHolder_) return S_OK;
  return adviseHolder_->EnumAdvise(advises);
}

void ContainerState::sendOnClose() {
  if (adviseHolder_) adviseHolder_->SendOnClose();
}

// ---- in-place activation ----------------------------------------------------------------

HRESULT ContainerState::activate(IOleClientSite* activeSite, bool uiActivate) {
  if (window_ == nullptr) {
    const HRESULT hr = openInPlace(activeSite);
    if (hr != S_OK) return hr;
  }
  if (uiActivate && !uiActive_ && inPlaceSite_) {
    uiActive_ = true;
    inPlaceSite_->OnUIActivate();
    announceActiveObject(*inPlaceSite_, &activeObject_);
  }
  return S_OK;
}

HRESULT ContainerState::openInPlace(IOleClientSite* activeSite) {
  IOleClientSite* site = activeSite != nullptr ? activeSite : clientSite_.get();
  if (site == nullptr) return E_UNEXPECTED;
  ComPtr<IOleInPlaceSite> inPlaceSite;
  if (FAILED(site->QueryInterface(IID_IOleInPlaceSite, inPlaceSite.putVoid()))) {
    return OLEOBJ_S_CANNOT_DOVERB_NOW;
  }
  if (inPlaceSite->CanInPlaceActivate() != S_OK) return OLEOBJ_S_CANNOT_DOVERB_NOW;
  inPlaceSite->OnInPlaceActivate();

  HWND parent = nullptr;
  inPlaceSite->GetWindow(&parent);
  const RECT position = windowContext(*inPlaceSite).position;
  const SIZE size = fixedSizePixels();
  if (parent != nullptr) window_ = createControlWindow(parent, {position.left, position.top}, size);
  if (window_ == nullptr) {
    inPlaceSite->OnInPlaceDeactivate();
    return E_FAIL;
  }
  inPlaceSite_ = std::move(inPlaceSite);
  insistOnFixedSize(position, size);
  return S_OK;
}

void ContainerState::deactivate() {
  uiDeactivate();
  if (window_ != nullptr) {
    DestroyWindow(window_);
    window_ = nullptr;
  }
  // Let go of first: the container may activate the control again from inside the call.
  if (const ComPtr<IOleInPlaceSite> site = std::move(inPlaceSite_)) site->OnInPlaceDeactivate();
}

void ContainerState::uiDeactivate() {
  if (!uiActive_) return;
  uiActive_ = false;
  if (!inPlaceSite_) return;
  announceActiveObject(*inPlaceSite_, nullptr);
  inPlaceSite_->OnUIDeactivate(FALSE);
}

void ContainerState::hide() {
  if (window_ != nullptr) ShowWindow(window_, SW_HIDE);
}

void ContainerState::setObjectRects(const RECT& position) {
  if (window_ == nullptr) return;
  // Whatever size the container gives, the control takes its place at its own size.
  const SIZE size = fixedSizePixels();
  SetWindowPos(window_, nullptr, position.left, position.top, size.cx, size.cy,
               SWP_NOZORDER | SWP_NOACTIVATE);
  insistOnFixedSize(position, size);
}

void ContainerState::insistOnFixedSize(const RECT& position, SIZE size) {
  const bool resized = position.right - position.left != size.cx ||
                       position.bottom - position.top != size.cy;
  if (!resized || settingRects_ || !inPlaceSite_) return;
  RECT fixed{position.left, position.top, position.left + size.cx, position.top + size.cy};
  settingRects_ = true;
  inPlaceSite_->OnPosRectChange(&fixed);
  settingRects_ = false;
}

}  // namespace zax::com
