// The COM object of the ZAXTarGzip control: its dual interface over the control logic, its
// events through a connection point, and what an ActiveX container needs to site, size,
// activate and draw it. No archive or job logic lives here: each member converts its
// arguments, makes one call into zax::ZAXTarGzip and maps the outcome.
//
// The members are defined by concern: life and QueryInterface in control_object.cpp, the
// automation side in control_automation.cpp, OLE embedding in control_embedding.cpp (over
// ContainerState), drawing in control_drawing.cpp (the picture itself is control_view.h)
// and persistence in control_persistence.cpp.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <memory>
#include <optional>
#include <string>

#include "ZAXTarGzip_h.h"
#include "control/com/com_ptr.h"
#include "control/com/connection_point.h"
#include "control/com/container_state.h"
#include "control/com/module.h"
#include "control/ui/window_timer.h"
#include "control/ui/windows_ui.h"
#include "control/zax_tar_gzip.h"

namespace zax::com {

class ControlObject final : public _ZAXTarGzip,
                            public IProvideClassInfo2,
                            public IConnectionPointContainer,
                            public IOleObject,
                            public IOleInPlaceObject,
                            public IOleInPlaceActiveObject,
                            public IOleControl,
                            public IViewObject2,
                            public IPersistStreamInit,
                            public IPersistPropertyBag,
                            public ISupportErrorInfo {
 public:
  // Makes a control and hands out its interface iid.
  static HRESULT create(REFIID iid, void** object);

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IDispatch, over the type library's description of _ZAXTarGzip
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                   UINT* argError) override;

  // _ZAXTarGzip
  HRESULT STDMETHODCALLTYPE ZAXListTarFile(BSTR TarFile, VARIANT* Result) override;
  HRESULT STDMETHODCALLTYPE ZAXUncompress(BSTR TarFile, BSTR DestinationDir, BSTR FilesSelection,
                                          VARIANT* Result) override;
  HRESULT STDMETHODCALLTYPE ControlName(BSTR* Result) override;
  HRESULT STDMETHODCALLTYPE ZAXBrowseForFolder(BSTR* Title, BSTR* InitDir, BSTR* Result) override;
  HRESULT STDMETHODCALLTYPE GetCPUSpeed(BSTR* Result) override;
  HRESULT STDMETHODCALLTYPE GetCPUVendor(BSTR* Result) override;
  HRESULT STDMETHODCALLTYPE GetCPUBrandString(BSTR* Result) override;
  HRESULT STDMETHODCALLTYPE put_WaitExecution(VARIANT_BOOL* WaitFlag) override;
  HRESULT STDMETHODCALLTYPE PauseExecution(VARIANT* Result) override;
  HRESULT STDMETHODCALLTYPE ResumeExecution(VARIANT* Result) override;
  HRESULT STDMETHODCALLTYPE CancelExecution(VARIANT* Result) override;
  HRESULT STDMETHODCALLTYPE About(VARIANT* Result) override;
  HRESULT STDMETHODCALLTYPE get_GetLastError(LONG* Result) override;
  HRESULT STDMETHODCALLTYPE get_NumberOfFailedMembers(LONG* Result) override;
  HRESULT STDMETHODCALLTYPE GetFailedMember(LONG Index, BSTR* Name, BSTR* Reason,
                                            VARIANT_BOOL* Result) override;

  // IProvideClassInfo2
  HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetGUID(DWORD kind, GUID* guid) override;

  // IConnectionPointContainer
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** points) override;
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

  // IOleObject
  HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override;
  HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** site) override;
  HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR app, LPCOLESTR object) override;
  HRESULT STDMETHODCALLTYPE Close(DWORD saveOption) override;
  HRESULT STDMETHODCALLTYPE SetMoniker(DWORD which, IMoniker* moniker) override;
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
  HRESULT STDMETHODCALLTYPE InitFromData(IDataObject* data, BOOL creation, DWORD reserved) override;
  HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD reserved, IDataObject** data) override;
  HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG msg, IOleClientSite* activeSite, LONG index,
                                   HWND parent, LPCRECT position) override;
  HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB** verbs) override;
  HRESULT STDMETHODCALLTYPE Update() override;
  HRESULT STDMETHODCALLTYPE IsUpToDate() override;
  HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* clsid) override;
  HRESULT STDMETHODCALLTYPE GetUserType(DWORD form, LPOLESTR* type) override;
  HRESULT STDMETHODCALLTYPE SetExtent(DWORD aspect, SIZEL* size) override;
  HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, SIZEL* size) override;
  HRESULT STDMETHODCALLTYPE Advise(IAdviseSink* sink, DWORD* connection) override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD connection) override;
  HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA** advises) override;
  HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD aspect, DWORD* status) override;
  HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE* palette) override;

  // IOleWindow (of IOleInPlaceObject and IOleInPlaceActiveObject)
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enterMode) override;

  // IOleInPlaceObject
  HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override;
  HRESULT STDMETHODCALLTYPE UIDeactivate() override;
  HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT position, LPCRECT clip) override;
  HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override;

  // IOleInPlaceActiveObject
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG msg) override;
  HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL activate) override;
  HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL activate) override;
  HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window,
                                         BOOL frameWindow) override;
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL enable) override;

  // IOleControl
  HRESULT STDMETHODCALLTYPE GetControlInfo(CONTROLINFO* info) override;
  HRESULT STDMETHODCALLTYPE OnMnemonic(MSG* msg) override;
  HRESULT STDMETHODCALLTYPE OnAmbientPropertyChange(DISPID id) override;
  HRESULT STDMETHODCALLTYPE FreezeEvents(BOOL freeze) override;

  // IViewObject2
  HRESULT STDMETHODCALLTYPE Draw(DWORD aspect, LONG index, void* aspectInfo,
                                 DVTARGETDEVICE* device, HDC targetDc, HDC drawDc,
                                 LPCRECTL bounds, LPCRECTL windowBounds,
                                 BOOL(STDMETHODCALLTYPE* keepDrawing)(ULONG_PTR),
                                 ULONG_PTR keepDrawingArg) override;
  HRESULT STDMETHODCALLTYPE GetColorSet(DWORD aspect, LONG index, void* aspectInfo,
                                        DVTARGETDEVICE* device, HDC targetDc,
                                        LOGPALETTE** colors) override;
  HRESULT STDMETHODCALLTYPE Freeze(DWORD aspect, LONG index, void* aspectInfo,
                                   DWORD* freeze) override;
  HRESULT STDMETHODCALLTYPE Unfreeze(DWORD freeze) override;
  HRESULT STDMETHODCALLTYPE SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
  HRESULT STDMETHODCALLTYPE GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
  HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* device,
                                      LPSIZEL size) override;

  // IPersist (of IPersistStreamInit and IPersistPropertyBag)
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;

  // IPersistStreamInit: the control has nothing to persist.
  HRESULT STDMETHODCALLTYPE IsDirty() override;
  HRESULT STDMETHODCALLTYPE Load(LPSTREAM stream) override;
  HRESULT STDMETHODCALLTYPE Save(LPSTREAM stream, BOOL clearDirty) override;
  HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) override;
  HRESULT STDMETHODCALLTYPE InitNew() override;

  // IPersistPropertyBag: neither.
  HRESULT STDMETHODCALLTYPE Load(IPropertyBag* bag, IErrorLog* log) override;
  HRESULT STDMETHODCALLTYPE Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) override;

  // ISupportErrorInfo
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;

 private:
  ControlObject();
  ~ControlObject();
  HRESULT initialize();

  // Runs one member of the control logic: keeps the object alive through the call (an
  // event handler may drop the host's last reference) and turns what it throws into the
  // call's error.
  template <class Body>
  HRESULT run(Body&& body);
  // The two shapes of the published members: an action whose Variant result is always
  // Empty, and a text answered as a BSTR.
  template <class Action>
  HRESULT runReturningEmpty(VARIANT* Result, Action&& action);
  template <class Produce>
  HRESULT runReturningText(BSTR* Result, Produce&& produce);
  HRESULT raiseHostError(std::int32_t number, const std::wstring& description);

  // The members are destroyed from the last to the first: the control logic first (its end,
  // unloading an idle engine, may still use the seams above it), then the container's
  // pointers, the event connections, the type information, and at the very end the
  // module's lock.
  ModuleLock moduleLock_;
  long refs_ = 1;

  ComPtr<ITypeLib> typeLib_;
  ComPtr<ITypeInfo> dispatchInfo_;  // the dispatch side of _ZAXTarGzip (GetTypeInfo)
  ComPtr<ITypeInfo> vtableInfo_;    // its vtable side, which ITypeInfo::Invoke calls
  ComPtr<ITypeInfo> classInfo_;

  // The error of the latest failed member, for Invoke's EXCEPINFO.
  struct PendingError {
    HRESULT scode;
    std::wstring description;
  };
  std::optional<PendingError> pendingError_;

  ConnectionPoint events_;
  EventForwarder forwarder_;
  ui::WindowsUserInterface ui_;

  // The sink of IViewObject::SetAdvise, kept for GetAdvise; the picture never changes, so
  // it is never called.
  struct ViewAdvise {
    ComPtr<IAdviseSink> sink;
    DWORD aspects = 0;
    DWORD flags = 0;
  };
  ViewAdvise viewAdvise_;
  ContainerState container_;

  // The control logic and its seams; the seams are declared first so that they outlive it.
  std::unique_ptr<ui::WindowTimer> timer_;
  ui::WindowMessagePump pump_;
  std::unique_ptr<ZAXTarGzip> control_;
};

}  // namespace zax::com
