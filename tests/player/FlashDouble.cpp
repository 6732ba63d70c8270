#include "tests/player/FlashDouble.h"

#include <ocidl.h>

#include <new>

namespace lumen::testing {

namespace {

constexpr wchar_t kWindowClass[] = L"LumenFlashDouble";
constexpr DISPID kMovie = 0x66;

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

LRESULT CALLBACK StageProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_LBUTTONDBLCLK:
      ++FlashLog().double_clicks;
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      RECT client;
      GetClientRect(window, &client);
      HBRUSH stage = CreateSolidBrush(RGB(24, 28, 40));
      FillRect(dc, &client, stage);
      DeleteObject(stage);
      RECT frame = client;
      InflateRect(&frame, -client.right / 6, -client.bottom / 6);
      HBRUSH photo = CreateSolidBrush(RGB(70, 120, 190));
      FillRect(dc, &frame, photo);
      DeleteObject(photo);
      wchar_t text[512];
      GetWindowTextW(window, text, 512);
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, RGB(255, 255, 255));
      DrawTextW(dc, text, -1, &frame, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
      EndPaint(window, &paint);
      return 0;
    }
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

void RegisterStageClass() {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  if (GetClassInfoExW(GetModuleHandleW(nullptr), kWindowClass, &window_class)) return;
  window_class.style = CS_DBLCLKS;
  window_class.lpfnWndProc = StageProc;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.lpszClassName = kWindowClass;
  RegisterClassExW(&window_class);
}

std::wstring VariantText(const VARIANT& value) {
  if (value.vt == VT_BOOL) return value.boolVal ? L"true" : L"false";
  if (value.vt == VT_BSTR && value.bstrVal) return {value.bstrVal, SysStringLen(value.bstrVal)};
  return L"?";
}

class Control final : public IOleObject, public IOleInPlaceObject, public IDispatch {
 public:
  Control() { ++FlashLog().instances; }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IOleObject) {
      *out = static_cast<IOleObject*>(this);
    } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceObject) {
      *out = static_cast<IOleInPlaceObject*>(this);
    } else if (iid == IID_IDispatch) {
      *out = static_cast<IDispatch*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  // IOleObject
  STDMETHODIMP SetClientSite(IOleClientSite* site) override {
    if (site_) site_->Release();
    site_ = site;
    if (site_) {
      site_->AddRef();
      FlashLog().client_site_seen = true;
    }
    return S_OK;
  }
  STDMETHODIMP GetClientSite(IOleClientSite** out) override {
    *out = site_;
    if (site_) site_->AddRef();
    return S_OK;
  }
  STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
  STDMETHODIMP Close(DWORD) override {
    ++FlashLog().closes;
    return InPlaceDeactivate();
  }
  STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
  STDMETHODIMP DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent,
                      LPCRECT rect) override {
    if (verb != OLEIVERB_INPLACEACTIVATE || !site || !rect) return E_NOTIMPL;
    ++FlashLog().verbs;
    FlashLog().last_verb_rect = *rect;
    if (window_) {
      MoveWindow(window_, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top,
                 TRUE);
      return S_OK;
    }
    IOleInPlaceSite* in_place = nullptr;
    if (FAILED(site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&in_place)))) {
      return E_FAIL;
    }
    HRESULT result = in_place->CanInPlaceActivate();
    if (result == S_OK) result = in_place->OnInPlaceActivate();
    IOleInPlaceFrame* frame = nullptr;
    IOleInPlaceUIWindow* document = nullptr;
    RECT position, clip;
    OLEINPLACEFRAMEINFO info{sizeof info, FALSE, nullptr, nullptr, 0};
    if (SUCCEEDED(result)) {
      result = in_place->GetWindowContext(&frame, &document, &position, &clip, &info);
    }
    if (SUCCEEDED(result)) {
      FlashLog().window_context_seen = frame && EqualRect(&position, rect);
      if (frame) frame->Release();
      if (document) document->Release();
      RegisterStageClass();
      window_ =
          CreateWindowExW(0, kWindowClass, movie_.c_str(), WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS,
                          rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top,
                          parent, nullptr, GetModuleHandleW(nullptr), nullptr);
      site_in_place_ = in_place;
      in_place = nullptr;
    }
    if (in_place) in_place->Release();
    return window_ ? S_OK : E_FAIL;
  }
  STDMETHODIMP EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
  STDMETHODIMP Update() override { return S_OK; }
  STDMETHODIMP IsUpToDate() override { return S_OK; }
  STDMETHODIMP GetUserClassID(CLSID*) override { return E_NOTIMPL; }
  STDMETHODIMP GetUserType(DWORD, LPOLESTR*) override { return E_NOTIMPL; }
  STDMETHODIMP SetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
  STDMETHODIMP GetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
  STDMETHODIMP Advise(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
  STDMETHODIMP Unadvise(DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
  STDMETHODIMP GetMiscStatus(DWORD, DWORD*) override { return E_NOTIMPL; }
  STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

  // IOleWindow / IOleInPlaceObject
  STDMETHODIMP GetWindow(HWND* out) override {
    *out = window_;
    return window_ ? S_OK : E_FAIL;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP InPlaceDeactivate() override {
    if (window_) DestroyWindow(window_);
    window_ = nullptr;
    if (site_in_place_) {
      site_in_place_->OnInPlaceDeactivate();
      site_in_place_->Release();
      site_in_place_ = nullptr;
    }
    return S_OK;
  }
  STDMETHODIMP UIDeactivate() override { return S_OK; }
  STDMETHODIMP SetObjectRects(LPCRECT position, LPCRECT) override {
    ++FlashLog().object_rects;
    if (window_) {
      MoveWindow(window_, position->left, position->top, position->right - position->left,
                 position->bottom - position->top, TRUE);
    }
    return S_OK;
  }
  STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }

  // IDispatch: property get and put by DISPID only.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters, VARIANT* result,
                      EXCEPINFO*, UINT*) override {
    if (flags & DISPATCH_PROPERTYPUT) {
      if (!parameters || parameters->cArgs != 1) return DISP_E_BADPARAMCOUNT;
      const std::wstring text = VariantText(parameters->rgvarg[0]);
      FlashLog().properties[id] = text;
      if (id == kMovie) {
        movie_ = text;
        if (window_) {
          SetWindowTextW(window_, movie_.c_str());
          InvalidateRect(window_, nullptr, TRUE);
        }
      }
      return S_OK;
    }
    if ((flags & DISPATCH_PROPERTYGET) && id == kMovie && result) {
      VariantInit(result);
      result->vt = VT_BSTR;
      result->bstrVal = SysAllocStringLen(movie_.data(), static_cast<UINT>(movie_.size()));
      return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
  }

 private:
  ~Control() {
    InPlaceDeactivate();
    if (site_) site_->Release();
  }

  ULONG references_ = 1;
  IOleClientSite* site_ = nullptr;
  IOleInPlaceSite* site_in_place_ = nullptr;
  HWND window_ = nullptr;
  std::wstring movie_;
};

#pragma GCC diagnostic pop

}  // namespace

FlashDoubleLog& FlashLog() {
  static FlashDoubleLog log;
  return log;
}

HRESULT CreateFlashDouble(REFIID iid, void** object) {
  *object = nullptr;
  if (FAILED(FlashLog().creation_result)) return FlashLog().creation_result;
  auto* control = new (std::nothrow) Control;
  if (!control) return E_OUTOFMEMORY;
  const HRESULT result = control->QueryInterface(iid, object);
  control->Release();
  return result;
}

}  // namespace lumen::testing
