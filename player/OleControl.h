#pragma once

#include <ole2.h>
#include <windows.h>
#include <wrl/client.h>

#include <stdexcept>
#include <string>

namespace lumen::player {

using Microsoft::WRL::ComPtr;

// A failed OLE call; the message is the system's text for the HRESULT.
class OleError : public std::runtime_error {
 public:
  explicit OleError(HRESULT result);
  HRESULT Result() const { return result_; }

 private:
  HRESULT result_;
};

// Throws OleError for a failing HRESULT.
void OleCheck(HRESULT result);

// Hosts one OLE control in a window of ours: we are its client site, in-place site and frame. The
// control is created by class ID from the program's own class table, activated in place in Bounds()
// by CreateWnd, and driven through its IDispatch by DISPID.
class TOleControl {
 public:
  TOleControl(HWND parent, const CLSID& clsid);
  virtual ~TOleControl();
  TOleControl(const TOleControl&) = delete;
  TOleControl& operator=(const TOleControl&) = delete;

  // Moves an active control's window at once (IOleInPlaceObject::SetObjectRects).
  void SetBounds(const RECT& bounds);
  const RECT& Bounds() const { return bounds_; }
  // The control's own window once it is active in place; null before.
  HWND Handle() const { return handle_; }

  std::wstring GetStringProperty(DISPID id);
  void SetStringProperty(DISPID id, const std::wstring& value);
  void SetBoolProperty(DISPID id, bool value);

 protected:
  // The window-creation step: in-place activation (OLE verb -5) within Bounds().
  void CreateWnd();
  // Called when the control's window appears or is replaced, so subclasses can hook it.
  virtual void WindowChanged(HWND /*window*/) {}

 private:
  class Site;

  void PutProperty(DISPID id, VARIANT& value);

  HWND parent_;
  RECT bounds_{};
  HWND handle_ = nullptr;
  ComPtr<Site> site_;
  ComPtr<IOleObject> object_;
  ComPtr<IDispatch> dispatch_;
};

}  // namespace lumen::player
