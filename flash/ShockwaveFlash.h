#pragma once

// The control's automation interface, laid out slot for slot like the interface hosts of the old
// Flash control call (IUnknown 0-2, IDispatch 3-6, then the members below from slot 7).
#include <oaidl.h>
#include <windows.h>

namespace lumen::flash {

// {D27CDB6C-AE6D-11CF-96B8-444553540000}
inline constexpr IID kIidShockwaveFlash = {
    0xD27CDB6C, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

// DISPIDs of the dispatch interface.
enum FlashDispId : DISPID {
  kDispReadyState = -525,
  kDispMovie = 0x66,
  kDispQuality = 0x69,
  kDispLoop = 0x6A,
  kDispFrameNum = 0x6B,
  kDispSetZoomRect = 0x6D,
  kDispPlay = 0x70,
  kDispStop = 0x71,
  kDispBack = 0x72,
  kDispForward = 0x73,
  kDispRewind = 0x74,
  kDispZoom = 0x76,
  kDispPan = 0x77,
  kDispScaleMode = 0x78,
  kDispAlignMode = 0x79,
  kDispBackgroundColor = 0x7B,
  kDispTotalFrames = 0x7C,
  kDispPlaying = 0x7D,
  kDispStopPlay = 0x7E,
  kDispGotoFrame = 0x7F,
  kDispCurrentFrame = 0x80,
  kDispIsPlaying = 0x81,
  kDispPercentLoaded = 0x82,
  kDispFrameLoaded = 0x83,
  kDispFlashVersion = 0x84,
  kDispWMode = 0x85,
  kDispSAlign = 0x86,
  kDispMenu = 0x87,
  kDispBase = 0x88,
  kDispScale = 0x89,
  kDispDeviceFont = 0x8A,
  kDispEmbedMovie = 0x8B,
  kDispBGColor = 0x8C,
  kDispQuality2 = 0x8D,
  kDispAllowNetworking = 0xC9,
};

// COM objects are destroyed through Release, never through a base pointer.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
struct IShockwaveFlash : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_ReadyState(long* state) = 0;         // 7
  virtual HRESULT STDMETHODCALLTYPE get_TotalFrames(long* count) = 0;        // 8
  virtual HRESULT STDMETHODCALLTYPE get_Playing(VARIANT_BOOL* playing) = 0;  // 9
  virtual HRESULT STDMETHODCALLTYPE put_Playing(VARIANT_BOOL playing) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Quality(int* quality) = 0;  // 11
  virtual HRESULT STDMETHODCALLTYPE put_Quality(int quality) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ScaleMode(int* mode) = 0;  // 13
  virtual HRESULT STDMETHODCALLTYPE put_ScaleMode(int mode) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_AlignMode(int* mode) = 0;  // 15
  virtual HRESULT STDMETHODCALLTYPE put_AlignMode(int mode) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_BackgroundColor(long* color) = 0;  // 17
  virtual HRESULT STDMETHODCALLTYPE put_BackgroundColor(long color) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Loop(VARIANT_BOOL* loop) = 0;  // 19
  virtual HRESULT STDMETHODCALLTYPE put_Loop(VARIANT_BOOL loop) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Movie(BSTR* path) = 0;  // 21
  virtual HRESULT STDMETHODCALLTYPE put_Movie(BSTR path) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_FrameNum(long* frame) = 0;  // 23
  virtual HRESULT STDMETHODCALLTYPE put_FrameNum(long frame) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetZoomRect(long left, long top, long right,
                                                long bottom) = 0;  // 25
  virtual HRESULT STDMETHODCALLTYPE Zoom(int factor) = 0;
  virtual HRESULT STDMETHODCALLTYPE Pan(long x, long y, int mode) = 0;
  virtual HRESULT STDMETHODCALLTYPE Play() = 0;  // 28
  virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
  virtual HRESULT STDMETHODCALLTYPE Back() = 0;
  virtual HRESULT STDMETHODCALLTYPE Forward() = 0;
  virtual HRESULT STDMETHODCALLTYPE Rewind() = 0;
  virtual HRESULT STDMETHODCALLTYPE StopPlay() = 0;
  virtual HRESULT STDMETHODCALLTYPE GotoFrame(long frame) = 0;
  virtual HRESULT STDMETHODCALLTYPE CurrentFrame(long* frame) = 0;  // 35
  virtual HRESULT STDMETHODCALLTYPE IsPlaying(VARIANT_BOOL* playing) = 0;
  virtual HRESULT STDMETHODCALLTYPE PercentLoaded(long* percent) = 0;
  virtual HRESULT STDMETHODCALLTYPE FrameLoaded(long frame, VARIANT_BOOL* loaded) = 0;
  virtual HRESULT STDMETHODCALLTYPE FlashVersion(long* version) = 0;  // 39
  virtual HRESULT STDMETHODCALLTYPE get_WMode(BSTR* mode) = 0;        // 40
  virtual HRESULT STDMETHODCALLTYPE put_WMode(BSTR mode) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_SAlign(BSTR* align) = 0;  // 42
  virtual HRESULT STDMETHODCALLTYPE put_SAlign(BSTR align) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Menu(VARIANT_BOOL* menu) = 0;  // 44
  virtual HRESULT STDMETHODCALLTYPE put_Menu(VARIANT_BOOL menu) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Base(BSTR* base) = 0;  // 46
  virtual HRESULT STDMETHODCALLTYPE put_Base(BSTR base) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Scale(BSTR* scale) = 0;  // 48
  virtual HRESULT STDMETHODCALLTYPE put_Scale(BSTR scale) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_DeviceFont(VARIANT_BOOL* device_font) = 0;  // 50
  virtual HRESULT STDMETHODCALLTYPE put_DeviceFont(VARIANT_BOOL device_font) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_EmbedMovie(VARIANT_BOOL* embed) = 0;  // 52
  virtual HRESULT STDMETHODCALLTYPE put_EmbedMovie(VARIANT_BOOL embed) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_BGColor(BSTR* color) = 0;  // 54
  virtual HRESULT STDMETHODCALLTYPE put_BGColor(BSTR color) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Quality2(BSTR* quality) = 0;  // 56
  virtual HRESULT STDMETHODCALLTYPE put_Quality2(BSTR quality) = 0;

 protected:
  ~IShockwaveFlash() = default;
};
#pragma GCC diagnostic pop

}  // namespace lumen::flash
