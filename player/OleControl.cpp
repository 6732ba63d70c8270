#include "player/OleControl.h"

#include <ocidl.h>

#include <cstdio>

#include "flash/ClassTable.h"
#include "stream/SystemMessage.h"

namespace lumen::player {

namespace {

std::string OleErrorText(HRESULT result) {
  std::string text = SystemMessage(static_cast<uint32_t>(result));
  if (!text.empty()) return text;
  char code[32];
  std::snprintf(code, sizeof code, "OLE error %08lX", static_cast<unsigned long>(result));
  return code;
}

// A VARIANT that clears itself.
struct Variant : VARIANT {
  Variant() { VariantInit(this); }
  ~Variant() { VariantClear(this); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
};

}  // namespace

OleError::OleError(HRESULT result) : std::runtime_error(OleErrorText(result)), result_(result) {}

void OleCheck(HRESULT result) {
  if (FAILED(result)) throw OleError(result);
}

// COM objects are destroyed by Release, never through a base pointer.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
// The container side of the hosting: one object answers as client site, in-place site and frame.
// The control only borrows it; it lives as long as someone holds a reference.
class TOleControl::Site final : public IOleClientSite,
                                public IOleInPlaceSite,
                                public IOleInPlaceFrame {
 public:
  Site(HWND parent, const RECT& bounds) : parent_(parent), bounds_(bounds) {}

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IOleClientSite) {
      *out = static_cast<IOleClientSite*>(this);
    } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) {
      *out = static_cast<IOleInPlaceSite*>(this);
    } else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame) {
      *out = static_cast<IOleInPlaceFrame*>(this);
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

  // IOleClientSite
  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetContainer(IOleContainer** out) override {
    if (out) *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow (shared by the in-place site and the frame)
  STDMETHODIMP GetWindow(HWND* out) override {
    if (!out) return E_POINTER;
    *out = parent_;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
    if (!frame || !document || !position || !clip || !info) return E_POINTER;
    *frame = this;
    AddRef();
    *document = nullptr;
    *position = bounds_;
    GetClientRect(parent_, clip);
    info->fMDIApp = FALSE;
    info->hwndFrame = parent_;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
  }
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
  STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
  STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
  STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

  // IOleInPlaceUIWindow
  STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }

  // IOleInPlaceFrame
  STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
  STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

  void SetBounds(const RECT& bounds) { bounds_ = bounds; }

 private:
  ~Site() = default;

  ULONG references_ = 1;
  HWND parent_;
  RECT bounds_;
};
#pragma GCC diagnostic pop

TOleControl::TOleControl(HWND parent, const CLSID& clsid) : parent_(parent) {
  site_.Attach(new Site(parent_, bounds_));
  OleCheck(flash::CreateBuiltInObject(clsid, IID_IOleObject,
                                      reinterpret_cast<void**>(object_.GetAddressOf())));
  OleCheck(object_->SetClientSite(site_.Get()));
  ComPtr<IPersistStreamInit> persist;
  if (SUCCEEDED(object_.As(&persist))) OleCheck(persist->InitNew());
  OleCheck(object_.As(&dispatch_));
}

TOleControl::~TOleControl() {
  ComPtr<IOleInPlaceObject> in_place;
  if (SUCCEEDED(object_.As(&in_place))) in_place->InPlaceDeactivate();
  object_->Close(OLECLOSE_NOSAVE);
  object_->SetClientSite(nullptr);
}

void TOleControl::SetBounds(const RECT& bounds) {
  bounds_ = bounds;
  site_->SetBounds(bounds);
  if (!handle_) return;
  ComPtr<IOleInPlaceObject> in_place;
  OleCheck(object_.As(&in_place));
  RECT clip;
  GetClientRect(parent_, &clip);
  OleCheck(in_place->SetObjectRects(&bounds_, &clip));
}

void TOleControl::CreateWnd() {
  OleCheck(object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_.Get(), 0, parent_, &bounds_));
  ComPtr<IOleInPlaceObject> in_place;
  OleCheck(object_.As(&in_place));
  HWND window = nullptr;
  OleCheck(in_place->GetWindow(&window));
  if (window != handle_) {
    handle_ = window;
    WindowChanged(window);
  }
}

std::wstring TOleControl::GetStringProperty(DISPID id) {
  DISPPARAMS none{};
  Variant result;
  OleCheck(dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                             &result, nullptr, nullptr));
  OleCheck(VariantChangeType(&result, &result, 0, VT_BSTR));
  return result.bstrVal ? std::wstring(result.bstrVal, SysStringLen(result.bstrVal)) : L"";
}

void TOleControl::SetStringProperty(DISPID id, const std::wstring& value) {
  Variant argument;
  argument.vt = VT_BSTR;
  argument.bstrVal = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
  if (!argument.bstrVal) OleCheck(E_OUTOFMEMORY);
  PutProperty(id, argument);
}

void TOleControl::SetBoolProperty(DISPID id, bool value) {
  Variant argument;
  argument.vt = VT_BOOL;
  argument.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  PutProperty(id, argument);
}

void TOleControl::PutProperty(DISPID id, VARIANT& value) {
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS parameters{&value, &named, 1, 1};
  OleCheck(dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &parameters,
                             nullptr, nullptr, nullptr));
}

}  // namespace lumen::player
