#pragma once

// Our stand-in for the Flash control: a COM object with the old control's automation interface and
// the OLE interfaces a host needs to activate it in place in a window of its own.
#include <ole2.h>
#include <windows.h>

#include <memory>
#include <string>

#include "flash/ComRef.h"
#include "flash/ControlMenu.h"
#include "flash/ControlSettings.h"
#include "flash/FrameClock.h"
#include "flash/KeyInput.h"
#include "flash/MovieEngine.h"
#include "flash/ShockwaveFlash.h"
#include "flash/SoundOutput.h"
#include "flash/ViewZoom.h"

namespace lumen::flash {

class ControlWindow;

// COM objects are destroyed through Release, never through a base pointer.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class FlashControl : public IShockwaveFlash, public IOleObject, public IOleInPlaceObject {
 public:
  // Creates a control with one reference and hands out `iid` (which then holds that reference).
  static HRESULT Create(REFIID iid, void** object);

  FlashControl();
  FlashControl(const FlashControl&) = delete;
  FlashControl& operator=(const FlashControl&) = delete;
  virtual ~FlashControl();

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                   UINT* arg_error) override;

  // IShockwaveFlash
  HRESULT STDMETHODCALLTYPE get_ReadyState(long* state) override;
  HRESULT STDMETHODCALLTYPE get_TotalFrames(long* count) override;
  HRESULT STDMETHODCALLTYPE get_Playing(VARIANT_BOOL* playing) override;
  HRESULT STDMETHODCALLTYPE put_Playing(VARIANT_BOOL playing) override;
  HRESULT STDMETHODCALLTYPE get_Quality(int* quality) override;
  HRESULT STDMETHODCALLTYPE put_Quality(int quality) override;
  HRESULT STDMETHODCALLTYPE get_ScaleMode(int* mode) override;
  HRESULT STDMETHODCALLTYPE put_ScaleMode(int mode) override;
  HRESULT STDMETHODCALLTYPE get_AlignMode(int* mode) override;
  HRESULT STDMETHODCALLTYPE put_AlignMode(int mode) override;
  HRESULT STDMETHODCALLTYPE get_BackgroundColor(long* color) override;
  HRESULT STDMETHODCALLTYPE put_BackgroundColor(long color) override;
  HRESULT STDMETHODCALLTYPE get_Loop(VARIANT_BOOL* loop) override;
  HRESULT STDMETHODCALLTYPE put_Loop(VARIANT_BOOL loop) override;
  HRESULT STDMETHODCALLTYPE get_Movie(BSTR* path) override;
  HRESULT STDMETHODCALLTYPE put_Movie(BSTR path) override;
  HRESULT STDMETHODCALLTYPE get_FrameNum(long* frame) override;
  HRESULT STDMETHODCALLTYPE put_FrameNum(long frame) override;
  HRESULT STDMETHODCALLTYPE SetZoomRect(long left, long top, long right, long bottom) override;
  HRESULT STDMETHODCALLTYPE Zoom(int factor) override;
  HRESULT STDMETHODCALLTYPE Pan(long x, long y, int mode) override;
  HRESULT STDMETHODCALLTYPE Play() override;
  HRESULT STDMETHODCALLTYPE Stop() override;
  HRESULT STDMETHODCALLTYPE Back() override;
  HRESULT STDMETHODCALLTYPE Forward() override;
  HRESULT STDMETHODCALLTYPE Rewind() override;
  HRESULT STDMETHODCALLTYPE StopPlay() override;
  HRESULT STDMETHODCALLTYPE GotoFrame(long frame) override;
  HRESULT STDMETHODCALLTYPE CurrentFrame(long* frame) override;
  HRESULT STDMETHODCALLTYPE IsPlaying(VARIANT_BOOL* playing) override;
  HRESULT STDMETHODCALLTYPE PercentLoaded(long* percent) override;
  HRESULT STDMETHODCALLTYPE FrameLoaded(long frame, VARIANT_BOOL* loaded) override;
  HRESULT STDMETHODCALLTYPE FlashVersion(long* version) override;
  HRESULT STDMETHODCALLTYPE get_WMode(BSTR* mode) override;
  HRESULT STDMETHODCALLTYPE put_WMode(BSTR mode) override;
  HRESULT STDMETHODCALLTYPE get_SAlign(BSTR* align) override;
  HRESULT STDMETHODCALLTYPE put_SAlign(BSTR align) override;
  HRESULT STDMETHODCALLTYPE get_Menu(VARIANT_BOOL* menu) override;
  HRESULT STDMETHODCALLTYPE put_Menu(VARIANT_BOOL menu) override;
  HRESULT STDMETHODCALLTYPE get_Base(BSTR* base) override;
  HRESULT STDMETHODCALLTYPE put_Base(BSTR base) override;
  HRESULT STDMETHODCALLTYPE get_Scale(BSTR* scale) override;
  HRESULT STDMETHODCALLTYPE put_Scale(BSTR scale) override;
  HRESULT STDMETHODCALLTYPE get_DeviceFont(VARIANT_BOOL* device_font) override;
  HRESULT STDMETHODCALLTYPE put_DeviceFont(VARIANT_BOOL device_font) override;
  HRESULT STDMETHODCALLTYPE get_EmbedMovie(VARIANT_BOOL* embed) override;
  HRESULT STDMETHODCALLTYPE put_EmbedMovie(VARIANT_BOOL embed) override;
  HRESULT STDMETHODCALLTYPE get_BGColor(BSTR* color) override;
  HRESULT STDMETHODCALLTYPE put_BGColor(BSTR color) override;
  HRESULT STDMETHODCALLTYPE get_Quality2(BSTR* quality) override;
  HRESULT STDMETHODCALLTYPE put_Quality2(BSTR quality) override;

  // Dispatch-only members (beyond the vtable slots above).
  HRESULT STDMETHODCALLTYPE get_AllowNetworking(BSTR* value);
  HRESULT STDMETHODCALLTYPE put_AllowNetworking(BSTR value);

  // IOleObject
  HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override;
  HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** site) override;
  HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR app, LPCOLESTR object) override;
  HRESULT STDMETHODCALLTYPE Close(DWORD save_option) override;
  HRESULT STDMETHODCALLTYPE SetMoniker(DWORD which, IMoniker* moniker) override;
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
  HRESULT STDMETHODCALLTYPE InitFromData(IDataObject* data, BOOL creation, DWORD reserved) override;
  HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD reserved, IDataObject** data) override;
  HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG msg, IOleClientSite* site, LONG index,
                                   HWND parent, LPCRECT rect) override;
  HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB** verbs) override;
  HRESULT STDMETHODCALLTYPE Update() override;
  HRESULT STDMETHODCALLTYPE IsUpToDate() override;
  HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* clsid) override;
  HRESULT STDMETHODCALLTYPE GetUserType(DWORD form, LPOLESTR* type) override;
  HRESULT STDMETHODCALLTYPE SetExtent(DWORD aspect, SIZEL* size) override;
  HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, SIZEL* size) override;
  HRESULT STDMETHODCALLTYPE Advise(IAdviseSink* sink, DWORD* connection) override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD connection) override;
  HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA** advise) override;
  HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD aspect, DWORD* status) override;
  HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE* palette) override;

  // IOleWindow, IOleInPlaceObject
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enter) override;
  HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override;
  HRESULT STDMETHODCALLTYPE UIDeactivate() override;
  HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT position, LPCRECT clip) override;
  HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override;

  // Called by the control's window. Draw answers the part it drew (see MovieEngine::Render).
  PixelRect Draw(const PixelTarget& target, bool kept);
  void OnFrameTimer();
  void OnWindowDestroyed();
  void OnContextMenu(HWND window, POINT screen);
  void OnDrag(int dx, int dy, int width, int height);
  bool Zoomed() const { return zoom_.Zoomed(); }
  // The pointer at client pixels and the left button, for the movie's buttons and scripts.
  void OnPointerMove(POINT at);
  void OnPointerButton(POINT at, bool down);
  void OnPointerLeave();
  bool HandCursor() const { return engine_->Loaded() && engine_->HandCursor(); }
  bool PointerHidden() const { return engine_->Loaded() && engine_->PointerHidden(); }
  // Keys while the window has the focus: a Windows key code and the character it typed (0 for
  // none). Losing the focus releases the keys still held.
  void OnKeyDown(uint32_t virtual_key, uint32_t character);
  void OnKeyUp(uint32_t virtual_key);
  void OnFocusLost();

 protected:
  // Lets a subclass observe the end of the control's window.
  virtual void WindowDestroyed() {}
  // Lets a subclass observe each frame the timer put on screen (`frame` from 0).
  virtual void FramePresented(uint32_t /*frame*/) {}

 private:
  HRESULT ActivateInPlace(IOleClientSite* site, HWND parent, LPCRECT rect);
  void LoadMovie(const std::wstring& path);
  void StartSound();
  uint32_t FramesDue();
  void SetPlaying(bool playing);
  void SetFrame(uint32_t frame);
  void ScheduleFrame();
  void Redraw();
  void SetQuality(ControlSettings::Quality quality);
  void ZoomBy(double factor);
  void RunMenuCommand(MenuCommand command, HWND window);
  uint32_t EffectiveBackground() const;
  // Stage pixels under a client pixel, as the picture is laid out now.
  bool StagePoint(POINT at, double& x, double& y) const;
  // What input changed is shown at once.
  void AfterInput();
  void SendKey(const KeyEvent& key, bool down);
  // Puts a frame the timer stepped to on screen.
  void PresentFrame();

  LONG references_ = 1;
  ControlSettings settings_;
  std::wstring movie_;
  std::unique_ptr<MovieEngine> engine_;
  SoundOutput sound_;  // after the engine: stopped before it goes
  FrameClock clock_;
  int64_t movie_start_ = 0;  // performance-counter time the movie started playing
  ViewZoom zoom_;
  KeyInput keys_;
  std::unique_ptr<ControlWindow> window_;
  ComRef<IOleClientSite> client_site_;
  ComRef<IOleInPlaceSite> in_place_site_;
  SIZEL extent_{};
};
#pragma GCC diagnostic pop

}  // namespace lumen::flash
