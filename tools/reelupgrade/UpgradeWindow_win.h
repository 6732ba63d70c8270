#pragma once

#include <windows.h>

#include <shellapi.h>

#include <deque>
#include <filesystem>
#include <thread>

#include "upgrade/Upgrader.h"

namespace lumen::tools {

// The window front end of reelupgrade: files dropped on the window, picked in the open dialog, or
// handed over on the command line, are upgraded one at a time on a worker thread, so the window
// stays responsive; a progress bar counts them and a list shows one line per file. Outputs already
// there are kept.
class UpgradeWindow {
 public:
  explicit UpgradeWindow(upgrade::UpgradeSettings settings) : settings_(std::move(settings)) {}
  ~UpgradeWindow();
  UpgradeWindow(const UpgradeWindow&) = delete;
  UpgradeWindow& operator=(const UpgradeWindow&) = delete;

  // Creates and shows the window; false when Windows refuses.
  bool Create(HINSTANCE instance, int show);
  void Add(const std::filesystem::path& file);

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
  void CreateChildren();
  void Layout(int width, int height);
  void Drop(HDROP drop);
  void Choose();
  void StartNext();
  void Finish(LPARAM outcome);
  void ShowProgress();
  // Waits for the worker and drops the outcome it posted, unread.
  void DropWorker();

  upgrade::UpgradeSettings settings_;
  HWND window_ = nullptr;
  HWND hint_ = nullptr;
  HWND choose_ = nullptr;
  HWND progress_ = nullptr;
  HWND list_ = nullptr;
  HFONT font_ = nullptr;
  std::deque<std::filesystem::path> pending_;
  std::thread worker_;  // runs while a file is being upgraded
  bool busy_ = false;
  int done_ = 0;
  int upgraded_ = 0;
  int total_ = 0;
};

}  // namespace lumen::tools
