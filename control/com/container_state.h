// What the control knows of the container that embeds it, and the steps of being embedded:
// the client site, the advise holder of the container's sinks, and, while the control is
// active in place, the in-place site, the control's window and whether it is UI-active.
// The control object's IOleObject and IOleInPlaceObject members come down to these.
#pragma once

#include <windows.h>
#include <ole2.h>

#include "control/com/com_ptr.h"

namespace zax::com {

class ContainerState {
 public:
  // activeObject is the control's own IOleInPlaceActiveObject, announced to the
  // container's frame and document windows while the control is UI-active.
  explicit ContainerState(IOleInPlaceActiveObject& activeObject);
  // Destroys the window and lets go of the container's pointers without calling it back:
  // the control is ending, and the container has let go of it already.
  ~ContainerState();
  ContainerState(const ContainerState&) = delete;
  ContainerState& operator=(const ContainerState&) = delete;

  void setClientSite(IOleClientSite* site) { clientSite_ = site; }
  const ComPtr<IOleClientSite>& clientSite() const { return clientSite_; }

  // The container's IAdviseSinks (IOleObject::Advise, Unadvise, EnumAdvise).
  HRESULT advise(IAdviseSink* sink, DWORD* connection);
  HRESULT unadvise(DWORD connection);
  HRESULT enumAdvise(IEnumSTATDATA** advises);
  // Tells the advised sinks that the control closes.
  void sendOnClose();

  // Activates the control in place on activeSite (or the client site): makes its window
  // there at its fixed size and, when uiActivate, makes it UI-active as well. Answers what
  // IOleObject::DoVerb answers.
  HRESULT activate(IOleClientSite* activeSite, bool uiActivate);
  // Leaves UI activation, then in-place activation, destroying the window.
  void deactivate();
  void uiDeactivate();
  // Hides the window, if there is one.
  void hide();
  // Places the window at position's top left corner, at the fixed size; a container that
  // asked for another size is told the fixed one.
  void setObjectRects(const RECT& position);

  // The control's window while it is active in place, otherwise null.
  HWND window() const { return window_; }

 private:
  HRESULT openInPlace(IOleClientSite* activeSite);
  void insistOnFixedSize(const RECT& position, SIZE size);

  IOleInPlaceActiveObject& activeObject_;
  // Let go of in the reverse order: the in-place site, the client site, the advise holder.
  ComPtr<IOleAdviseHolder> adviseHolder_;
  ComPtr<IOleClientSite> clientSite_;
  ComPtr<IOleInPlaceSite> inPlaceSite_;
  HWND window_ = nullptr;
  bool uiActive_ = false;
  // Set while the container is told the fixed size: the SetObjectRects it answers with is
  // not to be answered again.
  bool settingRects_ = false;
};

}  // namespace zax::com
