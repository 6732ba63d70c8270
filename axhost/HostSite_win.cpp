#include "axhost/HostSite.h"

#include <new>

namespace lumen::axhost {

HostSite* HostSite::Create(HWND window) {
  return new (std::nothrow) HostSite(window);
}

HRESULT HostSite::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite)) {
    *object = static_cast<IOleClientSite*>(this);
  } else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceSite)) {
    *object = static_cast<IOleInPlaceSite*>(this);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG HostSite::AddRef() {
  return static_cast<ULONG>(InterlockedIncrement(&references_));
}

ULONG HostSite::Release() {
  const LONG left = InterlockedDecrement(&references_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

HRESULT HostSite::SaveObject() {
  return E_NOTIMPL;
}
HRESULT HostSite::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker) *moniker = nullptr;
  return E_NOTIMPL;
}
HRESULT HostSite::GetContainer(IOleContainer** container) {
  if (container) *container = nullptr;
  return E_NOINTERFACE;
}
HRESULT HostSite::ShowObject() {
  return S_OK;
}
HRESULT HostSite::OnShowWindow(BOOL) {
  return S_OK;
}
HRESULT HostSite::RequestNewObjectLayout() {
  return E_NOTIMPL;
}

HRESULT HostSite::GetWindow(HWND* window) {
  if (!window) return E_POINTER;
  *window = window_;
  return S_OK;
}
HRESULT HostSite::ContextSensitiveHelp(BOOL) {
  return E_NOTIMPL;
}
HRESULT HostSite::CanInPlaceActivate() {
  return S_OK;
}
HRESULT HostSite::OnInPlaceActivate() {
  active_ = true;
  return S_OK;
}
HRESULT HostSite::OnUIActivate() {
  return S_OK;
}

HRESULT HostSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                   LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
  // This host has no frame or document window: it offers no menus, tool bars or accelerators.
  if (frame) *frame = nullptr;
  if (document) *document = nullptr;
  RECT client{};
  GetClientRect(window_, &client);
  if (position) *position = client;
  if (clip) *clip = client;
  if (info) {
    info->fMDIApp = FALSE;
    info->hwndFrame = GetAncestor(window_, GA_ROOT);
    info->haccel = nullptr;
    info->cAccelEntries = 0;
  }
  return S_OK;
}
HRESULT HostSite::Scroll(SIZE) {
  return E_NOTIMPL;
}
HRESULT HostSite::OnUIDeactivate(BOOL) {
  return S_OK;
}
HRESULT HostSite::OnInPlaceDeactivate() {
  active_ = false;
  return S_OK;
}
HRESULT HostSite::DiscardUndoState() {
  return S_OK;
}
HRESULT HostSite::DeactivateAndUndo() {
  return S_OK;
}
HRESULT HostSite::OnPosRectChange(LPCRECT) {
  return S_OK;
}

}  // namespace lumen::axhost
