#include "tests/player/PlayerDriver.h"

#include <stdexcept>
#include <thread>

namespace lumen::testing {

namespace {

struct FindContext {
  DWORD process;
  const wchar_t* class_name;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM data) {
  auto* context = reinterpret_cast<FindContext*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != context->process) return TRUE;
  wchar_t name[64];
  GetClassNameW(window, name, 64);
  if (context->class_name ? wcscmp(name, context->class_name) == 0 : IsWindowVisible(window)) {
    context->found.push_back(window);
  }
  return TRUE;
}

HWND ChildOfClass(HWND parent, const wchar_t* class_name) {
  return parent ? FindWindowExW(parent, nullptr, class_name, nullptr) : nullptr;
}

// `time` of 0 lets the system stamp the event when it queues it.
void SendMouse(DWORD flags, POINT screen, DWORD time = 0) {
  INPUT input{};
  input.mi.time = time;
  input.type = INPUT_MOUSE;
  input.mi.dx = MulDiv(screen.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
  input.mi.dy = MulDiv(screen.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
  input.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
  SendInput(1, &input, sizeof input);
}

constexpr int kDragSteps = 8;

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() > deadline) return condition();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

std::filesystem::path TestProgramFolder() {
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return std::filesystem::path(path).parent_path();
}

namespace {

// This process's environment with TMP and TEMP replaced, as a Unicode environment block.
std::wstring EnvironmentWithTemp(const std::wstring& temp) {
  std::wstring block;
  wchar_t* strings = GetEnvironmentStringsW();
  for (const wchar_t* entry = strings; *entry; entry += wcslen(entry) + 1) {
    const std::wstring_view text(entry);
    if (_wcsnicmp(entry, L"TMP=", 4) == 0 || _wcsnicmp(entry, L"TEMP=", 5) == 0) continue;
    block.append(text).push_back(L'\0');
  }
  FreeEnvironmentStringsW(strings);
  for (const wchar_t* name : {L"TMP=", L"TEMP="}) block.append(name).append(temp).push_back(L'\0');
  block.push_back(L'\0');
  return block;
}

}  // namespace

PlayerProcess::PlayerProcess(const std::filesystem::path& executable,
                             const std::filesystem::path& temp_folder) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  std::wstring command = L"\"" + executable.wstring() + L"\"";
  std::wstring environment;
  if (!temp_folder.empty()) environment = EnvironmentWithTemp(temp_folder.wstring());
  if (!CreateProcessW(executable.c_str(), command.data(), nullptr, nullptr, FALSE,
                      CREATE_UNICODE_ENVIRONMENT,
                      environment.empty() ? nullptr : environment.data(),
                      executable.parent_path().c_str(), &startup, &process_)) {
    throw std::runtime_error("cannot start the player");
  }
}

PlayerProcess::~PlayerProcess() {
  if (WaitForExit(std::chrono::milliseconds(0)) == STILL_ACTIVE) {
    Close();
    if (WaitForExit() == STILL_ACTIVE) TerminateProcess(process_.hProcess, 99);
  }
  CloseHandle(process_.hThread);
  CloseHandle(process_.hProcess);
}

std::vector<HWND> PlayerProcess::Windows(const wchar_t* class_name) const {
  FindContext context{process_.dwProcessId, class_name, {}};
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&context));
  return context.found;
}

HWND PlayerProcess::WaitForMainWindow() {
  WaitUntil([&] {
    const auto found = Windows(L"LumenReelPlayer");
    main_ = found.empty() || !IsWindowVisible(found[0]) ? nullptr : found[0];
    return main_ != nullptr;
  });
  return main_;
}

HWND PlayerProcess::MovieWindow() const {
  return ChildOfClass(main_, L"LumenFlashControl");
}

HWND PlayerProcess::ToolPanel() const {
  return ChildOfClass(main_, L"LumenToolPanel");
}

DWORD PlayerProcess::WaitForExit(std::chrono::milliseconds timeout) {
  WaitForSingleObject(process_.hProcess, static_cast<DWORD>(timeout.count()));
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(process_.hProcess, &code);
  return code;
}

void PlayerProcess::Close() {
  for (HWND window : Windows(L"LumenReelPlayer")) PostMessageW(window, WM_CLOSE, 0, 0);
}

void PlayerProcess::Focus() {
  WaitUntil([&] {
    SetForegroundWindow(main_);
    return GetForegroundWindow() == main_;
  });
}

void PlayerProcess::PressKeys(std::span<const WORD> keys) {
  Focus();
  std::vector<INPUT> inputs;
  for (WORD key : keys) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    inputs.push_back(input);
  }
  for (auto key = keys.end(); key != keys.begin();) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = *--key;
    input.ki.dwFlags = KEYEVENTF_KEYUP;
    inputs.push_back(input);
  }
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void PlayerProcess::MovePointer(POINT point) {
  Focus();
  ClientToScreen(main_, &point);
  SetCursorPos(point.x, point.y);
  SendMouse(0, point);
}

void PlayerProcess::Click(POINT point) {
  Focus();
  ClientToScreen(main_, &point);
  SendMouse(0, point);
  SendMouse(MOUSEEVENTF_LEFTDOWN, point);
  SendMouse(MOUSEEVENTF_LEFTUP, point);
}

// The target tells a double click from two clicks by the event times, so both clicks carry
// times within the double-click time: a test thread held up between them by a busy machine must
// not turn them into two single clicks.
void PlayerProcess::DoubleClick(POINT point) {
  Focus();
  ClientToScreen(main_, &point);
  const DWORD first = GetTickCount();
  const DWORD second = first + GetDoubleClickTime() / 4;
  SendMouse(0, point, first);
  SendMouse(MOUSEEVENTF_LEFTDOWN, point, first);
  SendMouse(MOUSEEVENTF_LEFTUP, point, first);
  SendMouse(MOUSEEVENTF_LEFTDOWN, point, second);
  SendMouse(MOUSEEVENTF_LEFTUP, point, second);
}

// The system's move and size loop starts only when the window has handled the press, and every
// step is waited for: a release queued ahead of the window's work could end the drag at any step.
// A step's move is sent again while the window has not followed it: on a busy machine the size
// loop can miss a move, as it would a jittering hand's.
bool PlayerProcess::Drag(POINT from, POINT to, const std::function<bool(SIZE)>& step_taken) {
  Focus();
  SendMouse(0, from);
  SendMouse(MOUSEEVENTF_LEFTDOWN, from);
  bool taken = WaitUntil([&] { return InMoveSize(); });
  for (int step = 1; taken && step <= kDragSteps; ++step) {
    const SIZE offset{(to.x - from.x) * step / kDragSteps, (to.y - from.y) * step / kDragSteps};
    taken = false;
    for (int attempt = 0; !taken && attempt < 5; ++attempt) {
      SendMouse(0, {from.x + offset.cx, from.y + offset.cy});
      taken = WaitUntil([&] { return step_taken(offset); }, std::chrono::seconds(2));
    }
  }
  SendMouse(MOUSEEVENTF_LEFTUP, to);
  return WaitUntil([&] { return !InMoveSize(); }) && taken;
}

POINT PlayerProcess::ButtonCentre(int index) const {
  const SIZE client = ClientSize();
  return {(client.cx - 169) / 2 + 72 * index + 12, client.cy - 35 + 5 + 12};
}

std::wstring PlayerProcess::Caption() const {
  wchar_t text[512] = {};
  GetWindowTextW(main_, text, 512);
  return text;
}

SIZE PlayerProcess::ClientSize() const {
  RECT client{};
  GetClientRect(main_, &client);
  return {client.right, client.bottom};
}

RECT PlayerProcess::Bounds() const {
  RECT bounds{};
  GetWindowRect(main_, &bounds);
  return bounds;
}

bool PlayerProcess::FullScreen() const {
  const LONG style = GetWindowLongW(main_, GWL_STYLE);
  if ((style & (WS_CAPTION | WS_THICKFRAME)) || !IsZoomed(main_) || IsWindowVisible(ToolPanel())) {
    return false;
  }
  // The maximised style is set before the window is moved: only covering the screen ends it.
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(main_, MONITOR_DEFAULTTONEAREST), &monitor);
  RECT covered{};
  const RECT bounds = Bounds();
  return IntersectRect(&covered, &bounds, &monitor.rcWork) && EqualRect(&covered, &monitor.rcWork);
}

bool PlayerProcess::Windowed() const {
  const LONG style = GetWindowLongW(main_, GWL_STYLE);
  return (style & WS_CAPTION) == WS_CAPTION && (style & WS_THICKFRAME) && !IsZoomed(main_) &&
         IsWindowVisible(ToolPanel());
}

uint32_t PlayerProcess::ColourAt(POINT point) const {
  ClientToScreen(main_, &point);
  HDC screen = GetDC(nullptr);
  const COLORREF colour = GetPixel(screen, point.x, point.y);
  ReleaseDC(nullptr, screen);
  return GetRValue(colour) << 16 | GetGValue(colour) << 8 | GetBValue(colour);
}

HWND PlayerProcess::FocusedWindow() const {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(process_.dwThreadId, &info) ? info.hwndFocus : nullptr;
}

bool PlayerProcess::InMoveSize() const {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(process_.dwThreadId, &info) && (info.flags & GUI_INMOVESIZE);
}

std::vector<uint8_t> CaptureWindow(HWND window, int& width, int& height) {
  RECT bounds;
  GetWindowRect(window, &bounds);
  width = bounds.right - bounds.left;
  height = bounds.bottom - bounds.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, bounds.left, bounds.top, SRCCOPY);
  GdiFlush();
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
  const auto* bgra = static_cast<const uint8_t*>(bits);
  for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) {
    rgb[i * 3] = bgra[i * 4 + 2];
    rgb[i * 3 + 1] = bgra[i * 4 + 1];
    rgb[i * 3 + 2] = bgra[i * 4];
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return rgb;
}

}  // namespace lumen::testing
