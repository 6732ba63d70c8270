#include <ole2.h>
#include <windows.h>

#include <mmsystem.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "authoring/SwfWriter.h"
#include "axhost/AxHost.h"
#include "axhost/HostSite.h"
#include "flash/ClassTable.h"
#include "flash/ComRef.h"
#include "flash/ShockwaveFlash.h"
#include "tests/support/MessagePump_win.h"
#include "tests/support/TempDir.h"

namespace lumen::flash {
namespace {

using authoring::Bytes;
using testing::PumpUntil;

Bytes MovieBytes(uint16_t frames, uint16_t rate, uint32_t background) {
  Bytes tags;
  authoring::WriteTag(
      tags, 9,
      Bytes{static_cast<uint8_t>(background >> 16), static_cast<uint8_t>(background >> 8),
            static_cast<uint8_t>(background)});
  for (int i = 0; i < frames; ++i) authoring::WriteTag(tags, 1, {});
  authoring::WriteTag(tags, 0, {});
  authoring::MovieSpec spec;
  spec.frame_count = frames;
  spec.frame_rate = static_cast<uint16_t>(rate << 8);
  return authoring::BuildMovie(spec, tags);
}

class Bstr {
 public:
  explicit Bstr(const std::wstring& text) : value_(SysAllocString(text.c_str())) {}
  Bstr() = default;
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { SysFreeString(value_); }
  BSTR* Receive() { return &value_; }
  BSTR Get() const { return value_; }
  std::wstring Text() const { return value_ ? std::wstring(value_, SysStringLen(value_)) : L""; }

 private:
  BSTR value_ = nullptr;
};

ComRef<IShockwaveFlash> NewControl() {
  ComRef<IShockwaveFlash> control;
  EXPECT_EQ(CreateBuiltInObject(kClsidShockwaveFlash, kIidShockwaveFlash, control.ReceiveVoid()),
            S_OK);
  return control;
}

// A visible top-level window the tests put controls in.
class ParentWindow {
 public:
  ParentWindow() {
    window_ = CreateWindowExW(0, L"STATIC", L"control test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                              400, 300, nullptr, nullptr, nullptr, nullptr);
  }
  ParentWindow(const ParentWindow&) = delete;
  ParentWindow& operator=(const ParentWindow&) = delete;
  ~ParentWindow() { DestroyWindow(window_); }
  HWND Get() const { return window_; }

 private:
  HWND window_;
};

RECT RectInParent(HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  MapWindowPoints(HWND_DESKTOP, GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// Activates `control` in place in `parent` through a host site, at `rect`.
class Activation {
 public:
  Activation(IUnknown* control, HWND parent, const RECT& rect)
      : site_(axhost::HostSite::Create(parent)) {
    EXPECT_EQ(control->QueryInterface(IID_IOleObject, object_.ReceiveVoid()), S_OK);
    EXPECT_EQ(object_->SetClientSite(site_.Get()), S_OK);
    EXPECT_EQ(object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_.Get(), 0, parent, &rect),
              S_OK);
  }
  Activation(const Activation&) = delete;
  Activation& operator=(const Activation&) = delete;
  ~Activation() {
    object_->Close(OLECLOSE_NOSAVE);
    object_->SetClientSite(nullptr);
  }
  HWND Window() const {
    ComRef<IOleInPlaceObject> in_place;
    HWND window = nullptr;
    if (SUCCEEDED(object_->QueryInterface(IID_IOleInPlaceObject, in_place.ReceiveVoid()))) {
      in_place->GetWindow(&window);
    }
    return window;
  }
  IOleObject* Object() const { return object_.Get(); }
  axhost::HostSite* Site() const { return site_.Get(); }

 private:
  ComRef<axhost::HostSite> site_;
  ComRef<IOleObject> object_;
};

TEST(ClassTable, CreatesTheControlByClassOrNameOnly) {
  const struct {
    const wchar_t* name;
    HRESULT expected;
  } names[] = {
      {L"ShockwaveFlash.ShockwaveFlash", S_OK},
      {L"shockwaveflash.shockwaveflash", S_OK},
      {L"ShockwaveFlash.ShockwaveFlash.10", S_OK},
      {L"{D27CDB6E-AE6D-11CF-96B8-444553540000}", S_OK},
      {L"ShockwaveFlash.ShockwaveFlash.", CO_E_CLASSSTRING},
      {L"ShockwaveFlash.ShockwaveFlash.x", CO_E_CLASSSTRING},
      {L"ShockwaveFlash", CO_E_CLASSSTRING},
      {L"", CO_E_CLASSSTRING},
      {L"{D27CDB6E-AE6D-11CF-96B8-444553540001}", REGDB_E_CLASSNOTREG},
      {L"{not a class}", CO_E_CLASSSTRING},
  };
  for (const auto& c : names) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(c.name)));
    ComRef<IShockwaveFlash> control;
    EXPECT_EQ(CreateBuiltInObject(c.name, kIidShockwaveFlash, control.ReceiveVoid()), c.expected);
    EXPECT_EQ(static_cast<bool>(control), c.expected == S_OK);
  }
  ComRef<IUnknown> unknown;
  EXPECT_EQ(CreateBuiltInObject(kIidShockwaveFlash, IID_IUnknown, unknown.ReceiveVoid()),
            REGDB_E_CLASSNOTREG);  // the interface's identifier is no class
  EXPECT_EQ(CreateBuiltInObject(kClsidShockwaveFlash, IID_IClassFactory, unknown.ReceiveVoid()),
            E_NOINTERFACE);
  EXPECT_FALSE(unknown);
}

// The saver calls by slot number; these calls go through the raw table as it does.
TEST(FlashControlSlots, PropertiesAndPlayAtTheirSlotNumbers) {
  ComRef<IShockwaveFlash> control = NewControl();
  IShockwaveFlash* self = control.Get();
  void** table = *reinterpret_cast<void***>(self);
  using PutLong = HRESULT(STDMETHODCALLTYPE*)(IShockwaveFlash*, long);
  using GetLong = HRESULT(STDMETHODCALLTYPE*)(IShockwaveFlash*, long*);
  using PutBool = HRESULT(STDMETHODCALLTYPE*)(IShockwaveFlash*, VARIANT_BOOL);
  using GetBool = HRESULT(STDMETHODCALLTYPE*)(IShockwaveFlash*, VARIANT_BOOL*);
  using PutText = HRESULT(STDMETHODCALLTYPE*)(IShockwaveFlash*, BSTR);
  using GetText = HRESULT(STDMETHODCALLTYPE*)(IShockwaveFlash*, BSTR*);
  using Call = HRESULT(STDMETHODCALLTYPE*)(IShockwaveFlash*);

  long color = 7;
  EXPECT_EQ(reinterpret_cast<GetLong>(table[17])(self, &color), S_OK);
  EXPECT_EQ(color, -1);  // the movie's own colour until one is put
  EXPECT_EQ(reinterpret_cast<PutLong>(table[18])(self, 0), S_OK);
  EXPECT_EQ(reinterpret_cast<GetLong>(table[17])(self, &color), S_OK);
  EXPECT_EQ(color, 0);
  EXPECT_EQ(reinterpret_cast<PutLong>(table[18])(self, 0x102030), S_OK);
  EXPECT_EQ(reinterpret_cast<GetLong>(table[17])(self, &color), S_OK);
  EXPECT_EQ(color, 0x102030);

  Bstr path(L"C:/TEMP//QvTemp.swf");
  EXPECT_EQ(reinterpret_cast<PutText>(table[22])(self, path.Get()), S_OK);
  Bstr got;
  EXPECT_EQ(reinterpret_cast<GetText>(table[21])(self, got.Receive()), S_OK);
  EXPECT_EQ(got.Text(), L"C:/TEMP//QvTemp.swf");

  VARIANT_BOOL flag = VARIANT_FALSE;
  EXPECT_EQ(reinterpret_cast<PutBool>(table[20])(self, VARIANT_FALSE), S_OK);
  EXPECT_EQ(reinterpret_cast<GetBool>(table[19])(self, &flag), S_OK);
  EXPECT_EQ(flag, VARIANT_FALSE);
  EXPECT_EQ(reinterpret_cast<Call>(table[29])(self), S_OK);  // Stop
  EXPECT_EQ(reinterpret_cast<GetBool>(table[9])(self, &flag), S_OK);
  EXPECT_EQ(flag, VARIANT_FALSE);
  EXPECT_EQ(reinterpret_cast<Call>(table[28])(self), S_OK);  // Play
  EXPECT_EQ(reinterpret_cast<GetBool>(table[9])(self, &flag), S_OK);
  EXPECT_EQ(flag, VARIANT_TRUE);

  long version = 0;
  EXPECT_EQ(reinterpret_cast<GetLong>(table[39])(self, &version), S_OK);
  EXPECT_EQ(version >> 16, 10);
  Bstr quality;
  EXPECT_EQ(reinterpret_cast<GetText>(table[56])(self, quality.Receive()), S_OK);
  EXPECT_EQ(quality.Text(), L"High");
}

TEST(FlashControlSlots, StoredSettingsAndTheirTextForms) {
  ComRef<IShockwaveFlash> control = NewControl();
  Bstr scale;
  ASSERT_EQ(control->get_Scale(scale.Receive()), S_OK);
  EXPECT_EQ(scale.Text(), L"ShowAll");
  EXPECT_EQ(control->put_Scale(Bstr(L"exactfit").Get()), S_OK);
  int mode = -1;
  EXPECT_EQ(control->get_ScaleMode(&mode), S_OK);
  EXPECT_EQ(mode, 2);
  EXPECT_EQ(control->put_Scale(Bstr(L"bigger").Get()), E_INVALIDARG);
  EXPECT_EQ(control->put_ScaleMode(4), E_INVALIDARG);

  EXPECT_EQ(control->put_SAlign(Bstr(L"LT").Get()), S_OK);
  Bstr align;
  EXPECT_EQ(control->get_SAlign(align.Receive()), S_OK);
  EXPECT_EQ(align.Text(), L"TL");
  EXPECT_EQ(control->get_AlignMode(&mode), S_OK);
  EXPECT_EQ(mode, 5);

  EXPECT_EQ(control->put_BGColor(Bstr(L"#FF8000").Get()), S_OK);
  long color = 0;
  EXPECT_EQ(control->get_BackgroundColor(&color), S_OK);
  EXPECT_EQ(color, 0xFF8000);
  EXPECT_EQ(control->put_BGColor(Bstr(L"orange").Get()), E_INVALIDARG);
  EXPECT_EQ(control->put_BGColor(Bstr(L"").Get()), S_OK);
  EXPECT_EQ(control->get_BackgroundColor(&color), S_OK);
  EXPECT_EQ(color, -1);
  EXPECT_EQ(control->put_BackgroundColor(0x7FFFFFFF), S_OK);  // only colour bits are kept
  EXPECT_EQ(control->get_BackgroundColor(&color), S_OK);
  EXPECT_EQ(color, 0xFFFFFF);

  EXPECT_EQ(control->put_Quality2(Bstr(L"Best").Get()), S_OK);
  int quality = -1;
  EXPECT_EQ(control->get_Quality(&quality), S_OK);
  EXPECT_EQ(quality, 1);  // the number form has no "Best": it reads as high
  EXPECT_EQ(control->put_Quality(0), S_OK);
  Bstr quality_text;
  EXPECT_EQ(control->get_Quality2(quality_text.Receive()), S_OK);
  EXPECT_EQ(quality_text.Text(), L"Low");
  EXPECT_EQ(control->put_Quality(9), E_INVALIDARG);

  EXPECT_EQ(control->put_WMode(Bstr(L"Opaque").Get()), S_OK);
  Bstr wmode;
  EXPECT_EQ(control->get_WMode(wmode.Receive()), S_OK);
  EXPECT_EQ(wmode.Text(), L"Opaque");
  EXPECT_EQ(control->get_Movie(nullptr), E_POINTER);
}

class DispatchCall {
 public:
  explicit DispatchCall(IDispatch* dispatch) : dispatch_(dispatch) {}

  HRESULT Put(DISPID id, VARIANT value) {
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&value, &named, 1, 1};
    return dispatch_->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr,
                             nullptr);
  }
  HRESULT Get(DISPID id, VARIANT* result) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VariantInit(result);
    return dispatch_->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, result, nullptr,
                             nullptr);
  }
  HRESULT Method(DISPID id, std::initializer_list<VARIANT> args, VARIANT* result = nullptr) {
    std::vector<VARIANT> reversed(args.begin(), args.end());
    std::reverse(reversed.begin(), reversed.end());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    return dispatch_->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, result, nullptr, nullptr);
  }

 private:
  IDispatch* dispatch_;
};

VARIANT Long(long value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}

VARIANT Text(BSTR value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = value;
  return v;
}

TEST(FlashControlDispatch, NamesAndPropertiesByDispId) {
  ComRef<IDispatch> dispatch;
  ASSERT_EQ(CreateBuiltInObject(kClsidShockwaveFlash, IID_IDispatch, dispatch.ReceiveVoid()), S_OK);
  const struct {
    const wchar_t* name;
    DISPID id;
  } names[] = {{L"Movie", 102},
               {L"backgroundcolor", 123},
               {L"Play", 0x70},
               {L"Loop", 0x6A},
               {L"Quality2", 0x8D},
               {L"AllowNetworking", 0xC9},
               {L"NoSuchMember", DISPID_UNKNOWN}};
  for (const auto& n : names) {
    LPOLESTR name = const_cast<LPOLESTR>(n.name);
    DISPID id = 0;
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, &name, 1, 0, &id),
              n.id == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK);
    EXPECT_EQ(id, n.id);
  }

  DispatchCall call(dispatch.Get());
  Bstr path(L"C:\\no\\such\\movie.swf");
  EXPECT_EQ(call.Put(102, Text(path.Get())), S_OK);
  VARIANT result;
  ASSERT_EQ(call.Get(102, &result), S_OK);
  ASSERT_EQ(result.vt, VT_BSTR);
  EXPECT_STREQ(result.bstrVal, L"C:\\no\\such\\movie.swf");
  VariantClear(&result);

  EXPECT_EQ(call.Put(123, Long(0x00AABB)), S_OK);
  ASSERT_EQ(call.Get(123, &result), S_OK);
  EXPECT_EQ(result.vt, VT_I4);
  EXPECT_EQ(result.lVal, 0x00AABB);
  Bstr number(L"255");
  EXPECT_EQ(call.Put(123, Text(number.Get())), S_OK);  // converted like any automation value
  ASSERT_EQ(call.Get(123, &result), S_OK);
  EXPECT_EQ(result.lVal, 255);

  Bstr words(L"not a number");
  EXPECT_EQ(call.Put(123, Text(words.Get())), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(call.Put(0x7C, Long(5)), DISP_E_MEMBERNOTFOUND);  // TotalFrames is read-only
  EXPECT_EQ(call.Method(0x7F, {}), DISP_E_BADPARAMCOUNT);     // GotoFrame needs its frame
  EXPECT_EQ(call.Get(0x7777, &result), DISP_E_MEMBERNOTFOUND);

  EXPECT_EQ(call.Method(0x71, {}), S_OK);  // Stop
  ASSERT_EQ(call.Get(0x7D, &result), S_OK);
  EXPECT_EQ(result.vt, VT_BOOL);
  EXPECT_EQ(result.boolVal, VARIANT_FALSE);
  EXPECT_EQ(call.Method(0x70, {}), S_OK);  // Play
  ASSERT_EQ(call.Get(0x7D, &result), S_OK);
  EXPECT_EQ(result.boolVal, VARIANT_TRUE);
}

TEST(FlashControlMovie, LoadsTheWholeFileAndUnloadsOnANameOfNoMovie) {
  testing::TempDir dir;
  const auto file = dir.Write("three.swf", MovieBytes(3, 12, 0x123456));
  ComRef<IShockwaveFlash> control = NewControl();
  long value = -1;
  EXPECT_EQ(control->get_TotalFrames(&value), S_OK);
  EXPECT_EQ(value, 0);

  ASSERT_EQ(control->put_Movie(Bstr(file.wstring()).Get()), S_OK);
  // The file is closed again at once: it can be deleted while the movie stays loaded.
  EXPECT_TRUE(DeleteFileW(file.c_str()));
  EXPECT_EQ(control->get_TotalFrames(&value), S_OK);
  EXPECT_EQ(value, 3);
  EXPECT_EQ(control->get_ReadyState(&value), S_OK);
  EXPECT_EQ(value, 4);
  EXPECT_EQ(control->PercentLoaded(&value), S_OK);
  EXPECT_EQ(value, 100);
  VARIANT_BOOL flag = VARIANT_FALSE;
  EXPECT_EQ(control->FrameLoaded(2, &flag), S_OK);
  EXPECT_EQ(flag, VARIANT_TRUE);
  EXPECT_EQ(control->GotoFrame(2), S_OK);
  EXPECT_EQ(control->CurrentFrame(&value), S_OK);
  EXPECT_EQ(value, 2);
  EXPECT_EQ(control->Back(), S_OK);
  EXPECT_EQ(control->get_FrameNum(&value), S_OK);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(control->Rewind(), S_OK);
  EXPECT_EQ(control->CurrentFrame(&value), S_OK);
  EXPECT_EQ(value, 0);

  const auto garbage = dir.Write("garbage.swf", Bytes{'n', 'o', 't', ' ', 'a', ' ', 'm', 'o'});
  for (const std::wstring& name : {std::wstring(L" "), file.wstring(), garbage.wstring()}) {
    SCOPED_TRACE(::testing::PrintToString(name));
    ASSERT_EQ(
        control->put_Movie(Bstr(dir.Write("again.swf", MovieBytes(3, 12, 0)).wstring()).Get()),
        S_OK);
    ASSERT_EQ(control->put_Movie(Bstr(name).Get()), S_OK);
    EXPECT_EQ(control->get_TotalFrames(&value), S_OK);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(control->get_ReadyState(&value), S_OK);
    EXPECT_EQ(value, 0);
    Bstr got;
    EXPECT_EQ(control->get_Movie(got.Receive()), S_OK);
    EXPECT_EQ(got.Text(), name);
  }
}

TEST(FlashControlWindow, InPlaceActivationPlacesAndMovesTheWindow) {
  ParentWindow parent;
  ComRef<IShockwaveFlash> control = NewControl();
  Activation activation(control.Get(), parent.Get(), RECT{10, 20, 110, 70});
  const HWND window = activation.Window();
  ASSERT_TRUE(IsWindow(window));
  EXPECT_EQ(GetParent(window), parent.Get());
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_TRUE(activation.Site()->Active());
  EXPECT_TRUE(SameRect(RectInParent(window), RECT{10, 20, 110, 70}));
  // Double clicks reach the window, so a host that subclasses it can catch them.
  EXPECT_TRUE(GetClassLongW(window, GCL_STYLE) & CS_DBLCLKS);

  // The player activates again on every resize: the same window moves.
  EXPECT_EQ(activation.Object()->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, activation.Site(), 0,
                                        parent.Get(), std::data({RECT{0, 0, 300, 200}})),
            S_OK);
  EXPECT_EQ(activation.Window(), window);
  EXPECT_TRUE(SameRect(RectInParent(window), RECT{0, 0, 300, 200}));
  ComRef<IOleInPlaceObject> in_place;
  ASSERT_EQ(control->QueryInterface(IID_IOleInPlaceObject, in_place.ReceiveVoid()), S_OK);
  const RECT small{5, 6, 55, 46};
  EXPECT_EQ(in_place->SetObjectRects(&small, &small), S_OK);
  EXPECT_TRUE(SameRect(RectInParent(window), small));

  EXPECT_EQ(in_place->InPlaceDeactivate(), S_OK);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(activation.Site()->Active());
  HWND none = nullptr;
  EXPECT_EQ(in_place->GetWindow(&none), E_FAIL);

  // Without a site there is nothing to activate in.
  ComRef<IOleObject> lonely;
  ComRef<IShockwaveFlash> other = NewControl();
  ASSERT_EQ(other->QueryInterface(IID_IOleObject, lonely.ReceiveVoid()), S_OK);
  EXPECT_EQ(lonely->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, nullptr, 0, parent.Get(), &small),
            E_UNEXPECTED);
}

COLORREF PixelOf(HWND window, int x, int y) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  HDC dc = GetDC(window);
  const COLORREF color = GetPixel(dc, x, y);
  ReleaseDC(window, dc);
  return color;
}

TEST(FlashControlWindow, PaintsTheBackgroundColourOverTheMovieOwn) {
  testing::TempDir dir;
  const auto file = dir.Write("blue.swf", MovieBytes(1, 12, 0x123456));
  ParentWindow parent;
  ComRef<IShockwaveFlash> control = NewControl();
  Activation activation(control.Get(), parent.Get(), RECT{0, 0, 200, 100});
  const HWND window = activation.Window();
  ASSERT_TRUE(IsWindow(window));
  EXPECT_EQ(PixelOf(window, 100, 50), RGB(255, 255, 255));  // nothing loaded
  ASSERT_EQ(control->put_Movie(Bstr(file.wstring()).Get()), S_OK);
  EXPECT_EQ(PixelOf(window, 100, 50), RGB(0x12, 0x34, 0x56));
  EXPECT_EQ(PixelOf(window, 2, 2), RGB(0x12, 0x34, 0x56));  // margins too
  ASSERT_EQ(control->put_BackgroundColor(0), S_OK);
  EXPECT_EQ(PixelOf(window, 100, 50), RGB(0, 0, 0));
  EXPECT_EQ(PixelOf(window, 199, 99), RGB(0, 0, 0));
  ASSERT_EQ(control->put_Movie(Bstr(L" ").Get()), S_OK);
  EXPECT_EQ(PixelOf(window, 100, 50), RGB(0, 0, 0));
}

TEST(FlashControlClock, PlaysToTheLastFrameOrLoopsBackToTheFirst) {
  testing::TempDir dir;
  const auto file = dir.Write("fast.swf", MovieBytes(3, 60, 0));
  ParentWindow parent;
  for (const bool loop : {false, true}) {
    SCOPED_TRACE(loop);
    ComRef<IShockwaveFlash> control = NewControl();
    Activation activation(control.Get(), parent.Get(), RECT{0, 0, 50, 50});
    ASSERT_EQ(control->put_Loop(loop ? VARIANT_TRUE : VARIANT_FALSE), S_OK);
    ASSERT_EQ(control->put_Movie(Bstr(file.wstring()).Get()), S_OK);
    long frame = 0;
    bool reached_last = false, wrapped = false;
    VARIANT_BOOL playing = VARIANT_TRUE;
    const bool done = PumpUntil([&] {
      control->CurrentFrame(&frame);
      control->get_Playing(&playing);
      if (frame == 2) reached_last = true;
      if (reached_last && frame < 2) wrapped = true;
      return loop ? wrapped : playing == VARIANT_FALSE;
    });
    ASSERT_TRUE(done);
    EXPECT_TRUE(reached_last);
    if (!loop) {
      EXPECT_EQ(frame, 2);
    }
  }
}

TEST(ControlHost, HostsTheNamedControlAndHandsItOut) {
  ASSERT_TRUE(axhost::AtlAxWinInit());
  ASSERT_TRUE(axhost::AtlAxWinInit());  // registering twice is fine
  const UINT get_control = RegisterWindowMessageW(axhost::kGetControlMessage);
  ParentWindow parent;
  HWND host = CreateWindowExA(0, "AtlAxWin90", "ShockwaveFlash.ShockwaveFlash",
                              WS_CHILD | WS_VISIBLE | WS_DISABLED, 5, 5, 120, 80, parent.Get(),
                              nullptr, nullptr, nullptr);
  ASSERT_TRUE(IsWindow(host));
  auto* unknown = reinterpret_cast<IUnknown*>(SendMessageW(host, get_control, 0, 0));
  ASSERT_NE(unknown, nullptr);
  ComRef<IUnknown> held(unknown);
  ComRef<IShockwaveFlash> control;
  ASSERT_EQ(unknown->QueryInterface(kIidShockwaveFlash, control.ReceiveVoid()), S_OK);
  ComRef<IOleWindow> ole_window;
  ASSERT_EQ(unknown->QueryInterface(IID_IOleWindow, ole_window.ReceiveVoid()), S_OK);
  HWND window = nullptr;
  ASSERT_EQ(ole_window->GetWindow(&window), S_OK);
  EXPECT_EQ(GetParent(window), host);
  EXPECT_TRUE(SameRect(RectInParent(window), RECT{0, 0, 120, 80}));
  EXPECT_FALSE(IsWindowEnabled(window));  // a disabled host's control takes no input

  MoveWindow(host, 0, 0, 300, 200, TRUE);
  EXPECT_TRUE(SameRect(RectInParent(window), RECT{0, 0, 300, 200}));

  DestroyWindow(host);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(ole_window->GetWindow(&window), E_FAIL);

  HWND empty = CreateWindowExW(0, axhost::kHostClassName, L"No.Such.Control", WS_CHILD, 0, 0, 10,
                               10, parent.Get(), nullptr, nullptr, nullptr);
  ASSERT_TRUE(IsWindow(empty));
  EXPECT_EQ(SendMessageW(empty, get_control, 0, 0), 0);
  DestroyWindow(empty);
}

}  // namespace
}  // namespace lumen::flash
