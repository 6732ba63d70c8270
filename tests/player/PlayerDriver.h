#pragma once

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

namespace lumen::testing {

// Polls `condition` until it holds or `timeout` passes; answers the last result.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

// The folder of the running test program.
std::filesystem::path TestProgramFolder();

// A running player process and what a user does to it.
class PlayerProcess {
 public:
  // `temp_folder`, when given, becomes the process's TMP and TEMP.
  explicit PlayerProcess(const std::filesystem::path& executable,
                         const std::filesystem::path& temp_folder = {});
  ~PlayerProcess();
  PlayerProcess(const PlayerProcess&) = delete;
  PlayerProcess& operator=(const PlayerProcess&) = delete;

  // Top-level windows of the process with the given class (all visible ones when empty).
  std::vector<HWND> Windows(const wchar_t* class_name) const;
  // Waits for the visible main window; null when none appears.
  HWND WaitForMainWindow();
  // The movie control's window inside the main window.
  HWND MovieWindow() const;
  HWND ToolPanel() const;
  // Waits for the process to end; answers its exit code, or STILL_ACTIVE on timeout.
  DWORD WaitForExit(std::chrono::milliseconds timeout = std::chrono::seconds(10));
  void Close();

  HWND main() const { return main_; }

  // Input as a user gives it: keys held down in order and released in reverse.
  void PressKeys(std::initializer_list<WORD> keys) { PressKeys(std::span<const WORD>(keys)); }
  void PressKeys(std::span<const WORD> keys);
  // Puts the pointer on a point as a user's mouse moves it there.
  void MovePointer(POINT client_point);
  void Click(POINT client_point);
  void DoubleClick(POINT client_point);
  // Drags with the left button from one screen point to another in steps. `step_taken` is
  // given each step's offset from `from` and tells when the window has carried the step out.
  // False when the press started no system move or size, or a step was not taken in time.
  bool Drag(POINT from, POINT to, const std::function<bool(SIZE offset)>& step_taken);
  // The centre of tool-bar button 0 (play), 1 (stop) or 2 (full screen), in client coordinates.
  POINT ButtonCentre(int index) const;

  // Window facts.
  std::wstring Caption() const;
  SIZE ClientSize() const;
  RECT Bounds() const;
  bool FullScreen() const;  // no frame, maximised over the screen, tool panel hidden
  bool Windowed() const;    // sizeable frame, not maximised, tool panel shown
  // The window of the player's that has the keyboard focus.
  HWND FocusedWindow() const;
  // The colour on screen at a point of the client area, as 0xRRGGBB.
  uint32_t ColourAt(POINT client_point) const;
  // The user is still moving or sizing the window (the system's modal loop runs).
  bool InMoveSize() const;

 private:
  void Focus();

  PROCESS_INFORMATION process_{};
  HWND main_ = nullptr;
};

// Captures a window's pixels from the screen as 8-bit RGB rows.
std::vector<uint8_t> CaptureWindow(HWND window, int& width, int& height);

}  // namespace lumen::testing
