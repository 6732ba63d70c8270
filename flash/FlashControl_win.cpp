#include "flash/FlashControl.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "audio/WaveOutDevice_win.h"
#include "flash/ClassTable.h"
#include "flash/ControlWindow.h"
#include "flash/StageLayout.h"

namespace lumen::flash {
namespace {

// A movie file larger than this is not read: the control holds the whole file in memory.
constexpr LONGLONG kMaxMovieFileBytes = 256ll << 20;
constexpr long kReadyStateLoading = 0;
constexpr long kReadyStateComplete = 4;
constexpr long kFlashVersion = 0x000A0000;  // 10.0, as major << 16 | minor
constexpr uint32_t kOpaque = 0xFF000000;
constexpr uint32_t kNoMovieBackground = 0xFFFFFF;

int64_t Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

int64_t TicksPerSecond() {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return frequency.QuadPart;
}

double Seconds(int64_t ticks) {
  return static_cast<double>(ticks) / static_cast<double>(TicksPerSecond());
}

// A control inside another program's window is a preview there (a screen saver's in the display
// settings): it keeps silent.
bool InForeignWindow(HWND window) {
  const HWND root = window ? GetAncestor(window, GA_ROOT) : nullptr;
  DWORD process = 0;
  if (root) GetWindowThreadProcessId(root, &process);
  return root && process != GetCurrentProcessId();
}

// Reads the whole file and closes it at once; nothing for a missing, unreadable or huge file.
std::optional<std::vector<uint8_t>> ReadWholeFile(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::optional<std::vector<uint8_t>> bytes;
  LARGE_INTEGER size;
  if (GetFileSizeEx(file, &size) && size.QuadPart <= kMaxMovieFileBytes) {
    std::vector<uint8_t> buffer(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (buffer.empty() ||
        (ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) &&
         read == buffer.size())) {
      bytes = std::move(buffer);
    }
  }
  CloseHandle(file);
  return bytes;
}

HRESULT OutText(BSTR* out, std::wstring_view text) {
  if (!out) return E_POINTER;
  *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out || text.empty() ? S_OK : E_OUTOFMEMORY;
}

template <typename T, typename V>
HRESULT Out(T* out, V value) {
  if (!out) return E_POINTER;
  *out = static_cast<T>(value);
  return S_OK;
}

DrawQuality ToDrawQuality(ControlSettings::Quality quality) {
  using Quality = ControlSettings::Quality;
  switch (quality) {
    case Quality::Low:
    case Quality::AutoLow:
      return DrawQuality::Low;
    case Quality::Medium:
      return DrawQuality::Medium;
    case Quality::High:
    case Quality::AutoHigh:
      return DrawQuality::High;
    case Quality::Best:
      return DrawQuality::Best;
  }
  return DrawQuality::High;
}

VARIANT_BOOL Bool(bool value) {
  return value ? VARIANT_TRUE : VARIANT_FALSE;
}

std::wstring_view Text(BSTR text) {
  return {text ? text : L"", text ? SysStringLen(text) : 0};
}

}  // namespace

HRESULT FlashControl::Create(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  auto* control = new (std::nothrow) FlashControl();
  if (!control) return E_OUTOFMEMORY;
  const HRESULT result = control->QueryInterface(iid, object);
  control->Release();
  return result;
}

FlashControl::FlashControl() : engine_(CreateMovieEngine()) {
  engine_->SetQuality(ToDrawQuality(settings_.quality));
}

// The window goes first, while everything it may call on is still whole.
FlashControl::~FlashControl() {
  window_.reset();
}

// --- IUnknown

HRESULT FlashControl::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
      IsEqualIID(iid, kIidShockwaveFlash)) {
    *object = static_cast<IShockwaveFlash*>(this);
  } else if (IsEqualIID(iid, IID_IOleObject)) {
    *object = static_cast<IOleObject*>(this);
  } else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceObject)) {
    *object = static_cast<IOleInPlaceObject*>(this);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG FlashControl::AddRef() {
  return static_cast<ULONG>(InterlockedIncrement(&references_));
}

ULONG FlashControl::Release() {
  const LONG left = InterlockedDecrement(&references_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

// --- Playback

void FlashControl::LoadMovie(const std::wstring& path) {
  sound_.Stop();  // the old movie's sound ends before anything else happens
  clock_ = FrameClock();
  zoom_.Reset();
  if (window_) window_->CancelTimer();
  const auto bytes = ReadWholeFile(path);
  if (!bytes || !engine_->Load(*bytes, std::filesystem::path(path).parent_path())) {
    engine_->Unload();
    Redraw();
    // A host stopping the movie this way expects the picture gone at once, not at the next paint.
    if (window_ && window_->Handle()) UpdateWindow(window_->Handle());
    return;
  }
  // A new movie plays from its first frame whatever the state was; its clock starts now. A
  // scripted movie's own first frame may already have stopped its timeline.
  clock_ = FrameClock(engine_->Stage().frame_rate, TicksPerSecond());
  clock_.Start(Now());
  movie_start_ = Now();
  settings_.playing = engine_->Scripted() ? engine_->TimelinePlaying() : true;
  StartSound();
  ScheduleFrame();
  Redraw();
}

void FlashControl::StartSound() {
  if (!engine_->HasSound()) return;
  std::unique_ptr<audio::AudioDevice> device;
  if (!(window_ && InForeignWindow(window_->Handle()))) {
    device = std::make_unique<audio::WaveOutDevice>();
  }
  sound_.Start(*engine_, std::move(device), Seconds(Now()));
}

void FlashControl::SetPlaying(bool playing) {
  const bool starting = playing && !settings_.playing;
  settings_.playing = playing;
  const bool scripted = engine_->Loaded() && engine_->Scripted();
  if (engine_->Loaded()) engine_->SetTimelinePlaying(playing);  // a stopped timeline's stream ends
  // A scripted movie goes on ticking with its timeline stopped: its scripts may still animate.
  if (!playing && !scripted) {
    if (window_) window_->CancelTimer();
    return;
  }
  // A scripted movie's clock runs on while its timeline is stopped.
  if (starting && engine_->Loaded() && !scripted) {
    clock_ = FrameClock(engine_->Stage().frame_rate, TicksPerSecond());
    clock_.Start(Now());
  }
  ScheduleFrame();
}

void FlashControl::SetFrame(uint32_t frame) {
  engine_->GotoFrame(frame);
  Redraw();
}

void FlashControl::ScheduleFrame() {
  if (!window_) return;
  // A stopped movie, one of one frame or one without a rate has nothing to step to: no timer
  // then, and no fine system timer period held for it.
  const StageInfo& stage = engine_->Stage();
  const bool scripted = engine_->Loaded() && engine_->Scripted();
  const bool steps = stage.frame_count > 1 || scripted;
  if ((!settings_.playing && !scripted) || !engine_->Loaded() || !steps || stage.frame_rate <= 0) {
    window_->CancelTimer();
    return;
  }
  const int64_t wait = clock_.TicksUntilNext(Now());
  const int64_t per_millisecond = std::max<int64_t>(1, TicksPerSecond() / 1000);
  const int64_t milliseconds = std::clamp<int64_t>((wait + per_millisecond - 1) / per_millisecond,
                                                   USER_TIMER_MINIMUM, 60 * 1000);
  window_->ScheduleTimer(static_cast<UINT>(milliseconds));
}

// While a stream sound plays, the sound heard says how many frames are due, not the clock.
uint32_t FlashControl::FramesDue() {
  sound_.Pump(Seconds(Now()));
  const uint32_t by_clock = clock_.Poll(Now());
  return sound_.FramesDue(by_clock, engine_->CurrentFrame(), engine_->Stage().frame_rate);
}

void FlashControl::OnFrameTimer() {
  if (!engine_->Loaded()) return;
  if (engine_->Scripted()) {
    // Scripts decide when the timeline stops; the ticks go on for their events and timers.
    const double ms =
        static_cast<double>(Now() - movie_start_) * 1000.0 / static_cast<double>(TicksPerSecond());
    for (uint32_t due = FramesDue(); due > 0; --due) engine_->Tick(ms, settings_.loop);
    settings_.playing = engine_->TimelinePlaying();
    PresentFrame();
    ScheduleFrame();
    return;
  }
  if (!settings_.playing) return;
  const uint32_t count = engine_->Stage().frame_count;
  for (uint32_t due = FramesDue(); due > 0 && settings_.playing; --due) {
    const uint32_t frame = engine_->CurrentFrame();
    if (frame + 1 < count) {
      engine_->AdvanceFrame();
    } else if (settings_.loop && count > 1) {
      engine_->GotoFrame(0);
    } else {
      settings_.playing = false;
    }
  }
  PresentFrame();
  ScheduleFrame();
}

void FlashControl::Redraw() {
  if (window_) window_->Invalidate();
}

uint32_t FlashControl::EffectiveBackground() const {
  uint32_t color = kNoMovieBackground;
  if (settings_.background >= 0) {
    color = static_cast<uint32_t>(settings_.background) & 0xFFFFFF;
  } else if (engine_->Loaded()) {
    color = engine_->Stage().background;
  }
  return kOpaque | color;
}

PixelRect FlashControl::Draw(const PixelTarget& target, bool kept) {
  const uint32_t background = EffectiveBackground();
  if (!engine_->Loaded()) {
    for (int y = 0; y < target.height; ++y) {
      uint32_t* row = target.pixels + y * target.stride;
      std::fill(row, row + target.width, background);
    }
    return {0, 0, target.width, target.height};
  }
  const StageInfo& stage = engine_->Stage();
  const StageView layout = LayoutStage(stage.width, stage.height, target.width, target.height,
                                       settings_.scale, settings_.align);
  return engine_->Render(target, zoom_.Apply(layout, target.width, target.height), background,
                         kept);
}

bool FlashControl::StagePoint(POINT at, double& x, double& y) const {
  if (!engine_->Loaded() || !window_ || !window_->Handle()) return false;
  RECT client{};
  GetClientRect(window_->Handle(), &client);
  const StageInfo& stage = engine_->Stage();
  const StageView view = zoom_.Apply(LayoutStage(stage.width, stage.height, client.right,
                                                 client.bottom, settings_.scale, settings_.align),
                                     client.right, client.bottom);
  if (view.scale_x == 0 || view.scale_y == 0) return false;
  x = ((at.x - view.offset_x) / view.scale_x + stage.x_min) / 20.0;
  y = ((at.y - view.offset_y) / view.scale_y + stage.y_min) / 20.0;
  return true;
}

void FlashControl::OnPointerMove(POINT at) {
  double x = 0, y = 0;
  if (!StagePoint(at, x, y)) return;
  engine_->PointerMoved(x, y);
  AfterInput();
}

void FlashControl::OnPointerButton(POINT at, bool down) {
  double x = 0, y = 0;
  if (!StagePoint(at, x, y)) return;
  engine_->PointerMoved(x, y);
  engine_->PointerButton(down);
  AfterInput();
}

void FlashControl::OnPointerLeave() {
  if (!engine_->Loaded()) return;
  engine_->PointerLeft();
  AfterInput();
}

void FlashControl::OnKeyDown(uint32_t virtual_key, uint32_t character) {
  if (const auto key = keys_.Press(virtual_key, character)) SendKey(*key, true);
}

void FlashControl::OnKeyUp(uint32_t virtual_key) {
  if (const auto key = keys_.Release(virtual_key)) SendKey(*key, false);
}

// Key.isDown must not go on answering true for keys released while the focus was elsewhere.
void FlashControl::OnFocusLost() {
  for (const KeyEvent& key : keys_.ReleaseAll()) SendKey(key, false);
}

void FlashControl::SendKey(const KeyEvent& key, bool down) {
  if (!engine_->Loaded()) return;
  if (down) {
    engine_->KeyDown(key.code, key.ascii);
  } else {
    engine_->KeyUp(key.code, key.ascii);
  }
  AfterInput();
}

// A movie with button actions is scripted: its ticks go on and pick up what the scripts started.
void FlashControl::AfterInput() {
  if (!window_) return;
  window_->Present();
  window_->RefreshCursor();
}

void FlashControl::PresentFrame() {
  if (!window_) return;
  if (window_->Present()) FramePresented(engine_->CurrentFrame());
  window_->RefreshCursor();
}

void FlashControl::SetQuality(ControlSettings::Quality quality) {
  settings_.quality = quality;
  engine_->SetQuality(ToDrawQuality(quality));
  Redraw();
}

void FlashControl::ZoomBy(double factor) {
  RECT client{};
  if (window_ && window_->Handle()) GetClientRect(window_->Handle(), &client);
  zoom_.ZoomBy(factor, client.right, client.bottom);
  Redraw();
}

void FlashControl::OnDrag(int dx, int dy, int width, int height) {
  zoom_.PanBy(dx, dy, width, height);
  Redraw();
}

void FlashControl::OnContextMenu(HWND window, POINT screen) {
  MenuState state;
  state.full = settings_.menu;
  state.frame_count = engine_->Loaded() ? engine_->Stage().frame_count : 0;
  state.frame = engine_->CurrentFrame();
  state.playing = settings_.playing;
  state.loop = settings_.loop;
  state.zoomed = zoom_.Zoomed();
  state.quality = settings_.quality;
  HMENU menu = CreatePopupMenu();
  if (!menu) return;
  for (const MenuItem& item : ControlMenuItems(state)) {
    if (item.command == MenuCommand::None) {
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
      continue;
    }
    const std::wstring text(item.text);
    AppendMenuW(menu,
                MF_STRING | (item.enabled ? MF_ENABLED : MF_GRAYED) |
                    (item.checked ? MF_CHECKED : MF_UNCHECKED),
                static_cast<UINT_PTR>(item.command), text.c_str());
  }
  const auto chosen =
      static_cast<MenuCommand>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY,
                                              screen.x, screen.y, 0, window, nullptr));
  DestroyMenu(menu);
  RunMenuCommand(chosen, window);
}

void FlashControl::RunMenuCommand(MenuCommand command, HWND window) {
  switch (command) {
    case MenuCommand::ZoomIn:
      ZoomBy(2);
      break;
    case MenuCommand::ZoomOut:
      ZoomBy(0.5);
      break;
    case MenuCommand::ShowAll:
      Zoom(0);
      break;
    case MenuCommand::QualityLow:
      SetQuality(ControlSettings::Quality::Low);
      break;
    case MenuCommand::QualityMedium:
      SetQuality(ControlSettings::Quality::Medium);
      break;
    case MenuCommand::QualityHigh:
      SetQuality(ControlSettings::Quality::High);
      break;
    case MenuCommand::Play:
      SetPlaying(!settings_.playing);
      break;
    case MenuCommand::Loop:
      settings_.loop = !settings_.loop;
      break;
    case MenuCommand::Rewind:
      Rewind();
      break;
    case MenuCommand::Forward:
      Forward();
      break;
    case MenuCommand::Back:
      Back();
      break;
    case MenuCommand::About:
      MessageBoxW(window, L"Lumenreel movie control\nPlays Lumenreel slideshow movies.",
                  L"About Lumenreel", MB_OK | MB_ICONINFORMATION);
      break;
    case MenuCommand::None:
      break;
  }
}

void FlashControl::OnWindowDestroyed() {
  WindowDestroyed();
}

// --- IShockwaveFlash

HRESULT FlashControl::get_ReadyState(long* state) {
  return Out(state, engine_->Loaded() ? kReadyStateComplete : kReadyStateLoading);
}
HRESULT FlashControl::get_TotalFrames(long* count) {
  return Out(count, engine_->Loaded() ? engine_->Stage().frame_count : 0);
}
HRESULT FlashControl::get_Playing(VARIANT_BOOL* playing) {
  return Out(playing, Bool(settings_.playing));
}
HRESULT FlashControl::put_Playing(VARIANT_BOOL playing) {
  SetPlaying(playing != VARIANT_FALSE);
  return S_OK;
}
HRESULT FlashControl::get_Quality(int* quality) {
  const auto value = static_cast<int>(settings_.quality);
  return Out(quality, value <= static_cast<int>(ControlSettings::Quality::AutoHigh) ? value : 1);
}
HRESULT FlashControl::put_Quality(int quality) {
  if (quality < 0 || quality > static_cast<int>(ControlSettings::Quality::AutoHigh)) {
    return E_INVALIDARG;
  }
  SetQuality(static_cast<ControlSettings::Quality>(quality));
  return S_OK;
}
HRESULT FlashControl::get_ScaleMode(int* mode) {
  return Out(mode, settings_.scale);
}
HRESULT FlashControl::put_ScaleMode(int mode) {
  if (mode < 0 || mode > static_cast<int>(ScaleMode::NoScale)) return E_INVALIDARG;
  settings_.scale = static_cast<ScaleMode>(mode);
  Redraw();
  return S_OK;
}
HRESULT FlashControl::get_AlignMode(int* mode) {
  return Out(mode, settings_.align);
}
HRESULT FlashControl::put_AlignMode(int mode) {
  settings_.align = mode & (kAlignLeft | kAlignRight | kAlignTop | kAlignBottom);
  Redraw();
  return S_OK;
}
HRESULT FlashControl::get_BackgroundColor(long* color) {
  return Out(color, settings_.background);
}
HRESULT FlashControl::put_BackgroundColor(long color) {
  settings_.background = color < 0 ? -1 : color & 0xFFFFFF;
  Redraw();
  return S_OK;
}
HRESULT FlashControl::get_Loop(VARIANT_BOOL* loop) {
  return Out(loop, Bool(settings_.loop));
}
HRESULT FlashControl::put_Loop(VARIANT_BOOL loop) {
  settings_.loop = loop != VARIANT_FALSE;
  return S_OK;
}
HRESULT FlashControl::get_Movie(BSTR* path) {
  return OutText(path, movie_);
}
HRESULT FlashControl::put_Movie(BSTR path) {
  movie_.assign(Text(path));
  LoadMovie(movie_);
  return S_OK;
}
HRESULT FlashControl::get_FrameNum(long* frame) {
  return CurrentFrame(frame);
}
HRESULT FlashControl::put_FrameNum(long frame) {
  return GotoFrame(frame);
}
// Left, top, right and bottom in stage twips.
HRESULT FlashControl::SetZoomRect(long left, long top, long right, long bottom) {
  if (right <= left || bottom <= top) return E_INVALIDARG;
  if (!engine_->Loaded() || !window_ || !window_->Handle()) return S_OK;
  RECT client{};
  GetClientRect(window_->Handle(), &client);
  const StageInfo& stage = engine_->Stage();
  const StageView view = LayoutStage(stage.width, stage.height, client.right, client.bottom,
                                     settings_.scale, settings_.align);
  const auto x = [&](long twips) { return view.offset_x + (twips - stage.x_min) * view.scale_x; };
  const auto y = [&](long twips) { return view.offset_y + (twips - stage.y_min) * view.scale_y; };
  zoom_.ZoomTo(x(left), y(top), x(right), y(bottom), client.right, client.bottom);
  Redraw();
  return S_OK;
}
// A percentage of the current view: 50 zooms in twice as far, 200 back out; 0 shows it all.
HRESULT FlashControl::Zoom(int percent) {
  if (percent < 0) return E_INVALIDARG;
  if (percent == 0) {
    zoom_.Reset();
    Redraw();
  } else {
    ZoomBy(100.0 / percent);
  }
  return S_OK;
}
// Mode 0 moves by pixels, 1 by percent of the window.
HRESULT FlashControl::Pan(long x, long y, int mode) {
  if (mode != 0 && mode != 1) return E_INVALIDARG;
  RECT client{};
  if (window_ && window_->Handle()) GetClientRect(window_->Handle(), &client);
  const double dx = mode == 0 ? x : x * client.right / 100.0;
  const double dy = mode == 0 ? y : y * client.bottom / 100.0;
  OnDrag(static_cast<int>(dx), static_cast<int>(dy), client.right, client.bottom);
  return S_OK;
}
HRESULT FlashControl::Play() {
  SetPlaying(true);
  return S_OK;
}
HRESULT FlashControl::Stop() {
  SetPlaying(false);
  return S_OK;
}
HRESULT FlashControl::Back() {
  SetPlaying(false);
  const uint32_t frame = engine_->CurrentFrame();
  if (frame > 0) SetFrame(frame - 1);
  return S_OK;
}
HRESULT FlashControl::Forward() {
  SetPlaying(false);
  SetFrame(engine_->CurrentFrame() + 1);
  return S_OK;
}
HRESULT FlashControl::Rewind() {
  SetPlaying(false);
  SetFrame(0);
  return S_OK;
}
HRESULT FlashControl::StopPlay() {
  return Stop();
}
HRESULT FlashControl::GotoFrame(long frame) {
  if (frame < 0) return E_INVALIDARG;
  SetFrame(static_cast<uint32_t>(frame));
  return S_OK;
}
HRESULT FlashControl::CurrentFrame(long* frame) {
  return Out(frame, engine_->CurrentFrame());
}
HRESULT FlashControl::IsPlaying(VARIANT_BOOL* playing) {
  return get_Playing(playing);
}
HRESULT FlashControl::PercentLoaded(long* percent) {
  return Out(percent, engine_->Loaded() ? 100 : 0);
}
HRESULT FlashControl::FrameLoaded(long frame, VARIANT_BOOL* loaded) {
  return Out(loaded, Bool(engine_->Loaded() && frame >= 0 &&
                          frame < static_cast<long>(engine_->Stage().frame_count)));
}
HRESULT FlashControl::FlashVersion(long* version) {
  return Out(version, kFlashVersion);
}
HRESULT FlashControl::get_WMode(BSTR* mode) {
  return OutText(mode, settings_.wmode);
}
HRESULT FlashControl::put_WMode(BSTR mode) {
  settings_.wmode.assign(Text(mode));
  return S_OK;
}
HRESULT FlashControl::get_SAlign(BSTR* align) {
  return OutText(align, AlignName(settings_.align));
}
HRESULT FlashControl::put_SAlign(BSTR align) {
  return put_AlignMode(ParseAlign(Text(align)));
}
HRESULT FlashControl::get_Menu(VARIANT_BOOL* menu) {
  return Out(menu, Bool(settings_.menu));
}
HRESULT FlashControl::put_Menu(VARIANT_BOOL menu) {
  settings_.menu = menu != VARIANT_FALSE;
  return S_OK;
}
HRESULT FlashControl::get_Base(BSTR* base) {
  return OutText(base, settings_.base);
}
HRESULT FlashControl::put_Base(BSTR base) {
  settings_.base.assign(Text(base));
  return S_OK;
}
HRESULT FlashControl::get_Scale(BSTR* scale) {
  return OutText(scale, ScaleName(settings_.scale));
}
HRESULT FlashControl::put_Scale(BSTR scale) {
  const auto mode = ParseScale(Text(scale));
  if (!mode) return E_INVALIDARG;
  return put_ScaleMode(static_cast<int>(*mode));
}
HRESULT FlashControl::get_DeviceFont(VARIANT_BOOL* device_font) {
  return Out(device_font, Bool(settings_.device_font));
}
HRESULT FlashControl::put_DeviceFont(VARIANT_BOOL device_font) {
  settings_.device_font = device_font != VARIANT_FALSE;
  return S_OK;
}
HRESULT FlashControl::get_EmbedMovie(VARIANT_BOOL* embed) {
  return Out(embed, Bool(settings_.embed_movie));
}
HRESULT FlashControl::put_EmbedMovie(VARIANT_BOOL embed) {
  settings_.embed_movie = embed != VARIANT_FALSE;
  return S_OK;
}
HRESULT FlashControl::get_BGColor(BSTR* color) {
  return OutText(color, ColorName(settings_.background));
}
HRESULT FlashControl::put_BGColor(BSTR color) {
  // An empty text goes back to the movie's own colour; any other must be a colour.
  const std::wstring_view text = Text(color);
  if (text.empty()) return put_BackgroundColor(-1);
  const auto value = ParseColor(text);
  if (!value) return E_INVALIDARG;
  return put_BackgroundColor(*value);
}
HRESULT FlashControl::get_Quality2(BSTR* quality) {
  return OutText(quality, QualityName(settings_.quality));
}
HRESULT FlashControl::put_Quality2(BSTR quality) {
  const auto value = ParseQuality(Text(quality));
  if (!value) return E_INVALIDARG;
  SetQuality(*value);
  return S_OK;
}

HRESULT FlashControl::get_AllowNetworking(BSTR* value) {
  return OutText(value, settings_.allow_networking);
}
HRESULT FlashControl::put_AllowNetworking(BSTR value) {
  settings_.allow_networking.assign(Text(value));
  return S_OK;
}

// --- IOleObject

HRESULT FlashControl::SetClientSite(IOleClientSite* site) {
  if (site) site->AddRef();
  client_site_ = ComRef<IOleClientSite>(site);
  return S_OK;
}
HRESULT FlashControl::GetClientSite(IOleClientSite** site) {
  if (!site) return E_POINTER;
  *site = client_site_.Get();
  if (*site) (*site)->AddRef();
  return S_OK;
}
HRESULT FlashControl::SetHostNames(LPCOLESTR, LPCOLESTR) {
  return S_OK;
}
HRESULT FlashControl::Close(DWORD) {
  return InPlaceDeactivate();
}
HRESULT FlashControl::SetMoniker(DWORD, IMoniker*) {
  return E_NOTIMPL;
}
HRESULT FlashControl::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker) *moniker = nullptr;
  return E_NOTIMPL;
}
HRESULT FlashControl::InitFromData(IDataObject*, BOOL, DWORD) {
  return E_NOTIMPL;
}
HRESULT FlashControl::GetClipboardData(DWORD, IDataObject** data) {
  if (data) *data = nullptr;
  return E_NOTIMPL;
}
HRESULT FlashControl::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent,
                             LPCRECT rect) {
  switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_UIACTIVATE:
    case OLEIVERB_INPLACEACTIVATE:
      return ActivateInPlace(site, parent, rect);
    case OLEIVERB_HIDE:
      if (window_ && window_->Handle()) ShowWindow(window_->Handle(), SW_HIDE);
      return S_OK;
    default:
      return verb > 0 ? OLEOBJ_S_INVALIDVERB : E_NOTIMPL;
  }
}
HRESULT FlashControl::EnumVerbs(IEnumOLEVERB** verbs) {
  if (verbs) *verbs = nullptr;
  return E_NOTIMPL;
}
HRESULT FlashControl::Update() {
  return S_OK;
}
HRESULT FlashControl::IsUpToDate() {
  return S_OK;
}
HRESULT FlashControl::GetUserClassID(CLSID* clsid) {
  return Out(clsid, kClsidShockwaveFlash);
}
HRESULT FlashControl::GetUserType(DWORD, LPOLESTR* type) {
  if (type) *type = nullptr;
  return OLE_S_USEREG;
}
HRESULT FlashControl::SetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!size) return E_POINTER;
  extent_ = *size;
  return S_OK;
}
HRESULT FlashControl::GetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  return Out(size, extent_);
}
HRESULT FlashControl::Advise(IAdviseSink*, DWORD* connection) {
  if (connection) *connection = 0;
  return E_NOTIMPL;
}
HRESULT FlashControl::Unadvise(DWORD) {
  return E_NOTIMPL;
}
HRESULT FlashControl::EnumAdvise(IEnumSTATDATA** advise) {
  if (advise) *advise = nullptr;
  return E_NOTIMPL;
}
HRESULT FlashControl::GetMiscStatus(DWORD, DWORD* status) {
  return Out(status, OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST | OLEMISC_INSIDEOUT |
                         OLEMISC_CANTLINKINSIDE | OLEMISC_RECOMPOSEONRESIZE);
}
HRESULT FlashControl::SetColorScheme(LOGPALETTE*) {
  return E_NOTIMPL;
}

HRESULT FlashControl::ActivateInPlace(IOleClientSite* site, HWND parent, LPCRECT rect) {
  if (!site) site = client_site_.Get();
  if (!site) return E_UNEXPECTED;
  if (!in_place_site_) {
    ComRef<IOleInPlaceSite> in_place;
    if (FAILED(site->QueryInterface(IID_IOleInPlaceSite, in_place.ReceiveVoid()))) {
      return E_NOINTERFACE;
    }
    if (in_place->CanInPlaceActivate() != S_OK) return E_FAIL;
    in_place->OnInPlaceActivate();
    in_place_site_ = in_place;
  }
  HWND site_window = nullptr;
  if (FAILED(in_place_site_->GetWindow(&site_window)) || !site_window) site_window = parent;
  ComRef<IOleInPlaceFrame> frame;
  ComRef<IOleInPlaceUIWindow> document;
  RECT position{}, clip{};
  OLEINPLACEFRAMEINFO frame_info{};
  frame_info.cb = sizeof frame_info;
  in_place_site_->GetWindowContext(frame.Receive(), document.Receive(), &position, &clip,
                                   &frame_info);
  if (rect) position = *rect;
  if (!window_ || !window_->Handle()) {
    window_.reset();
    window_ = std::make_unique<ControlWindow>(*this, site_window, position);
    if (!window_->Handle()) {
      window_.reset();
      return E_FAIL;
    }
  } else {
    window_->Move(position);
    ShowWindow(window_->Handle(), SW_SHOWNA);
  }
  ScheduleFrame();
  return S_OK;
}

// --- IOleWindow, IOleInPlaceObject

HRESULT FlashControl::GetWindow(HWND* window) {
  if (!window) return E_POINTER;
  *window = window_ ? window_->Handle() : nullptr;
  return *window ? S_OK : E_FAIL;
}
HRESULT FlashControl::ContextSensitiveHelp(BOOL) {
  return E_NOTIMPL;
}
HRESULT FlashControl::InPlaceDeactivate() {
  window_.reset();
  if (ComRef<IOleInPlaceSite> site = std::move(in_place_site_)) site->OnInPlaceDeactivate();
  return S_OK;
}
HRESULT FlashControl::UIDeactivate() {
  return S_OK;
}
HRESULT FlashControl::SetObjectRects(LPCRECT position, LPCRECT) {
  if (!position) return E_POINTER;
  if (window_) window_->Move(*position);
  return S_OK;
}
HRESULT FlashControl::ReactivateAndUndo() {
  return E_NOTIMPL;
}

}  // namespace lumen::flash
