#include "axhost/AxHost.h"

#include <ole2.h>

#include <memory>

#include "axhost/HostSite.h"
#include "flash/ClassTable.h"
#include "flash/ComRef.h"

namespace lumen::axhost {
namespace {

using flash::ComRef;

// What one host window holds: the control and the site it is activated through.
struct HostedControl {
  ComRef<IUnknown> control;
  ComRef<HostSite> site;
};

UINT GetControlMessage() {
  static const UINT message = RegisterWindowMessageW(kGetControlMessage);
  return message;
}

HostedControl* Hosted(HWND window) {
  return reinterpret_cast<HostedControl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// Creates the named control and activates it in place; a name that no built-in class carries, or
// a control that will not activate, leaves the host empty (it answers "no control").
std::unique_ptr<HostedControl> HostControl(HWND window, const wchar_t* name) {
  auto hosted = std::make_unique<HostedControl>();
  if (FAILED(flash::CreateBuiltInObject(name, IID_IUnknown, hosted->control.ReceiveVoid()))) {
    return hosted;
  }
  hosted->site = ComRef<HostSite>(HostSite::Create(window));
  ComRef<IOleObject> object;
  if (!hosted->site ||
      FAILED(hosted->control->QueryInterface(IID_IOleObject, object.ReceiveVoid()))) {
    return hosted;
  }
  object->SetClientSite(hosted->site.Get());
  RECT client{};
  GetClientRect(window, &client);
  object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, hosted->site.Get(), 0, window, &client);
  // A disabled host takes no input; its control's window must not take any either, so that the
  // mouse reaches the window under the host.
  ComRef<IOleWindow> control_window;
  HWND handle = nullptr;
  if (!IsWindowEnabled(window) &&
      SUCCEEDED(hosted->control->QueryInterface(IID_IOleWindow, control_window.ReceiveVoid())) &&
      SUCCEEDED(control_window->GetWindow(&handle))) {
    EnableWindow(handle, FALSE);
  }
  return hosted;
}

void Unhost(HostedControl& hosted) {
  ComRef<IOleObject> object;
  if (hosted.control &&
      SUCCEEDED(hosted.control->QueryInterface(IID_IOleObject, object.ReceiveVoid()))) {
    object->Close(OLECLOSE_NOSAVE);
    object->SetClientSite(nullptr);
  }
  object.Reset();
  hosted.control.Reset();
  hosted.site.Reset();
}

void Resize(HostedControl& hosted, HWND window) {
  ComRef<IOleInPlaceObject> in_place;
  if (!hosted.control ||
      FAILED(hosted.control->QueryInterface(IID_IOleInPlaceObject, in_place.ReceiveVoid()))) {
    return;
  }
  RECT client{};
  GetClientRect(window, &client);
  in_place->SetObjectRects(&client, &client);
}

LRESULT CALLBACK HostProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_CREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    std::unique_ptr<HostedControl> hosted = HostControl(window, create->lpszName);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(hosted.release()));
    return 0;
  }
  HostedControl* hosted = Hosted(window);
  if (hosted && message == GetControlMessage()) {
    IUnknown* control = hosted->control.Get();
    if (control) control->AddRef();
    return reinterpret_cast<LRESULT>(control);
  }
  switch (message) {
    case WM_SIZE:
      if (hosted) Resize(*hosted, window);
      break;
    case WM_DESTROY:
      if (hosted) Unhost(*hosted);
      break;
    case WM_NCDESTROY:
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      delete hosted;
      break;
    default:
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

BOOL AtlAxWinInit() {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  GetControlMessage();
  if (GetClassInfoExW(instance, kHostClassName, &existing)) return TRUE;
  WNDCLASSEXW host{};
  host.cbSize = sizeof host;
  host.style = CS_DBLCLKS;
  host.lpfnWndProc = &HostProcedure;
  host.hInstance = instance;
  host.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  host.lpszClassName = kHostClassName;
  return RegisterClassExW(&host) != 0;
}

}  // namespace lumen::axhost
