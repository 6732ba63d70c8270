// The control's IDispatch: names to DISPIDs, and each DISPID to the member of the vtable that does
// the work, so late- and early-bound callers reach the same code.
#include <array>
#include <cwctype>
#include <string_view>

#include "flash/FlashControl.h"

namespace lumen::flash {
namespace {

struct NamedDispId {
  std::wstring_view name;
  DISPID id;
};

constexpr std::array<NamedDispId, 35> kNames = {{
    {L"ReadyState", kDispReadyState},
    {L"TotalFrames", kDispTotalFrames},
    {L"Playing", kDispPlaying},
    {L"Quality", kDispQuality},
    {L"ScaleMode", kDispScaleMode},
    {L"AlignMode", kDispAlignMode},
    {L"BackgroundColor", kDispBackgroundColor},
    {L"Loop", kDispLoop},
    {L"Movie", kDispMovie},
    {L"FrameNum", kDispFrameNum},
    {L"SetZoomRect", kDispSetZoomRect},
    {L"Zoom", kDispZoom},
    {L"Pan", kDispPan},
    {L"Play", kDispPlay},
    {L"Stop", kDispStop},
    {L"Back", kDispBack},
    {L"Forward", kDispForward},
    {L"Rewind", kDispRewind},
    {L"StopPlay", kDispStopPlay},
    {L"GotoFrame", kDispGotoFrame},
    {L"CurrentFrame", kDispCurrentFrame},
    {L"IsPlaying", kDispIsPlaying},
    {L"PercentLoaded", kDispPercentLoaded},
    {L"FrameLoaded", kDispFrameLoaded},
    {L"FlashVersion", kDispFlashVersion},
    {L"WMode", kDispWMode},
    {L"SAlign", kDispSAlign},
    {L"Menu", kDispMenu},
    {L"Base", kDispBase},
    {L"Scale", kDispScale},
    {L"DeviceFont", kDispDeviceFont},
    {L"EmbedMovie", kDispEmbedMovie},
    {L"BGColor", kDispBGColor},
    {L"Quality2", kDispQuality2},
    {L"AllowNetworking", kDispAllowNetworking},
}};

bool SameText(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  }
  return true;
}

template <typename T>
constexpr VARTYPE kVarType = VT_I4;
template <>
constexpr VARTYPE kVarType<VARIANT_BOOL> = VT_BOOL;
template <>
constexpr VARTYPE kVarType<BSTR> = VT_BSTR;

// The positional arguments of one call, converted on demand; DISPPARAMS lists them last first.
class Arguments {
 public:
  Arguments(DISPPARAMS* params, UINT* arg_error) : params_(params), arg_error_(arg_error) {}
  ~Arguments() {
    for (VARIANT& value : converted_) VariantClear(&value);
  }
  Arguments(const Arguments&) = delete;
  Arguments& operator=(const Arguments&) = delete;

  UINT Count() const { return params_ ? params_->cArgs : 0; }

  template <typename T>
  HRESULT Get(UINT index, T* out) {
    if (index >= Count() || index >= converted_.size()) return DISP_E_BADPARAMCOUNT;
    VARIANT& value = converted_[index];
    VariantInit(&value);
    VARIANT* source = &params_->rgvarg[Count() - 1 - index];
    const HRESULT result = VariantChangeType(&value, source, 0, kVarType<T>);
    if (FAILED(result)) {
      if (arg_error_) *arg_error_ = Count() - 1 - index;
      return DISP_E_TYPEMISMATCH;
    }
    if constexpr (kVarType<T> == VT_BOOL) {
      *out = value.boolVal;
    } else if constexpr (kVarType<T> == VT_BSTR) {
      *out = value.bstrVal;
    } else {
      *out = static_cast<T>(value.lVal);
    }
    return S_OK;
  }

 private:
  DISPPARAMS* params_;
  UINT* arg_error_;
  std::array<VARIANT, 4> converted_{};
};

template <typename T>
void Store(VARIANT* result, T value) {
  if (!result) {
    if constexpr (kVarType<T> == VT_BSTR) SysFreeString(value);
    return;
  }
  VariantInit(result);
  result->vt = kVarType<T>;
  if constexpr (kVarType<T> == VT_BOOL) {
    result->boolVal = value;
  } else if constexpr (kVarType<T> == VT_BSTR) {
    result->bstrVal = value;
  } else {
    result->lVal = static_cast<LONG>(value);
  }
}

// One property: a get and (optionally) a put member of the vtable.
template <typename T>
HRESULT Property(FlashControl& control, HRESULT (STDMETHODCALLTYPE FlashControl::*get)(T*),
                 HRESULT (STDMETHODCALLTYPE FlashControl::*put)(T), WORD flags, Arguments& args,
                 VARIANT* result) {
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    if (!put) return DISP_E_MEMBERNOTFOUND;
    T value{};
    const HRESULT converted = args.Get(0, &value);
    if (FAILED(converted)) return converted;
    return (control.*put)(value);
  }
  if (!(flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD))) return DISP_E_MEMBERNOTFOUND;
  T value{};
  const HRESULT got = (control.*get)(&value);
  if (SUCCEEDED(got)) Store(result, value);
  return got;
}

}  // namespace

HRESULT FlashControl::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT FlashControl::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}

HRESULT FlashControl::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!names || !ids) return E_POINTER;
  HRESULT result = S_OK;
  for (UINT i = 0; i < count; ++i) {
    ids[i] = DISPID_UNKNOWN;
    if (i > 0) {
      result = DISP_E_UNKNOWNNAME;  // no member takes named arguments
      continue;
    }
    for (const NamedDispId& entry : kNames) {
      if (names[i] && SameText(entry.name, names[i])) ids[i] = entry.id;
    }
    if (ids[i] == DISPID_UNKNOWN) result = DISP_E_UNKNOWNNAME;
  }
  return result;
}

HRESULT FlashControl::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                             VARIANT* result, EXCEPINFO*, UINT* arg_error) {
  Arguments args(params, arg_error);
  using Self = FlashControl;
  switch (id) {
    case kDispReadyState:
      return Property<long>(*this, &Self::get_ReadyState, nullptr, flags, args, result);
    case kDispTotalFrames:
      return Property<long>(*this, &Self::get_TotalFrames, nullptr, flags, args, result);
    case kDispPlaying:
      return Property(*this, &Self::get_Playing, &Self::put_Playing, flags, args, result);
    case kDispQuality:
      return Property(*this, &Self::get_Quality, &Self::put_Quality, flags, args, result);
    case kDispScaleMode:
      return Property(*this, &Self::get_ScaleMode, &Self::put_ScaleMode, flags, args, result);
    case kDispAlignMode:
      return Property(*this, &Self::get_AlignMode, &Self::put_AlignMode, flags, args, result);
    case kDispBackgroundColor:
      return Property(*this, &Self::get_BackgroundColor, &Self::put_BackgroundColor, flags, args,
                      result);
    case kDispLoop:
      return Property(*this, &Self::get_Loop, &Self::put_Loop, flags, args, result);
    case kDispMovie:
      return Property(*this, &Self::get_Movie, &Self::put_Movie, flags, args, result);
    case kDispFrameNum:
      return Property(*this, &Self::get_FrameNum, &Self::put_FrameNum, flags, args, result);
    case kDispWMode:
      return Property(*this, &Self::get_WMode, &Self::put_WMode, flags, args, result);
    case kDispSAlign:
      return Property(*this, &Self::get_SAlign, &Self::put_SAlign, flags, args, result);
    case kDispMenu:
      return Property(*this, &Self::get_Menu, &Self::put_Menu, flags, args, result);
    case kDispBase:
      return Property(*this, &Self::get_Base, &Self::put_Base, flags, args, result);
    case kDispScale:
      return Property(*this, &Self::get_Scale, &Self::put_Scale, flags, args, result);
    case kDispDeviceFont:
      return Property(*this, &Self::get_DeviceFont, &Self::put_DeviceFont, flags, args, result);
    case kDispEmbedMovie:
      return Property(*this, &Self::get_EmbedMovie, &Self::put_EmbedMovie, flags, args, result);
    case kDispBGColor:
      return Property(*this, &Self::get_BGColor, &Self::put_BGColor, flags, args, result);
    case kDispQuality2:
      return Property(*this, &Self::get_Quality2, &Self::put_Quality2, flags, args, result);
    case kDispAllowNetworking:
      return Property(*this, &Self::get_AllowNetworking, &Self::put_AllowNetworking, flags, args,
                      result);
    case kDispCurrentFrame:
      return Property<long>(*this, &Self::CurrentFrame, nullptr, flags, args, result);
    case kDispIsPlaying:
      return Property<VARIANT_BOOL>(*this, &Self::IsPlaying, nullptr, flags, args, result);
    case kDispPercentLoaded:
      return Property<long>(*this, &Self::PercentLoaded, nullptr, flags, args, result);
    case kDispFlashVersion:
      return Property<long>(*this, &Self::FlashVersion, nullptr, flags, args, result);
    default:
      break;
  }
  if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
  switch (id) {
    case kDispPlay:
      return Play();
    case kDispStop:
      return Stop();
    case kDispBack:
      return Back();
    case kDispForward:
      return Forward();
    case kDispRewind:
      return Rewind();
    case kDispStopPlay:
      return StopPlay();
    case kDispGotoFrame: {
      long frame = 0;
      const HRESULT got = args.Get(0, &frame);
      return FAILED(got) ? got : GotoFrame(frame);
    }
    case kDispFrameLoaded: {
      long frame = 0;
      VARIANT_BOOL loaded = VARIANT_FALSE;
      HRESULT got = args.Get(0, &frame);
      if (SUCCEEDED(got)) got = FrameLoaded(frame, &loaded);
      if (SUCCEEDED(got)) Store(result, loaded);
      return got;
    }
    case kDispZoom: {
      int factor = 0;
      const HRESULT got = args.Get(0, &factor);
      return FAILED(got) ? got : Zoom(factor);
    }
    case kDispPan: {
      long x = 0, y = 0;
      int mode = 0;
      HRESULT got = args.Get(0, &x);
      if (SUCCEEDED(got)) got = args.Get(1, &y);
      if (SUCCEEDED(got)) got = args.Get(2, &mode);
      return FAILED(got) ? got : Pan(x, y, mode);
    }
    case kDispSetZoomRect: {
      long left = 0, top = 0, right = 0, bottom = 0;
      HRESULT got = args.Get(0, &left);
      if (SUCCEEDED(got)) got = args.Get(1, &top);
      if (SUCCEEDED(got)) got = args.Get(2, &right);
      if (SUCCEEDED(got)) got = args.Get(3, &bottom);
      return FAILED(got) ? got : SetZoomRect(left, top, right, bottom);
    }
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

}  // namespace lumen::flash
