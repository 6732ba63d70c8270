// The class table of the probe saver: the real control, tracing to a log file what is done to it,
// and with the failures the saver must survive. LUMEN_PROBE_LOG names the log; LUMEN_PROBE is
// "nocontrol" (the control cannot be created) or "failplay" (Play fails).
#include <windows.h>

#include <cstdio>
#include <string>

#include "flash/ClassTable.h"
#include "flash/FlashControl.h"

namespace lumen::flash {
namespace {

std::wstring Variable(const wchar_t* name) {
  wchar_t value[1024] = {};
  const DWORD length = GetEnvironmentVariableW(name, value, 1024);
  return length > 0 && length < 1024 ? value : L"";
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (const wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
  return out;
}

// The movie file the control was handed; its presence is noted with every event.
std::wstring g_movie;

void Log(const std::string& event) {
  std::string line = event;
  if (!g_movie.empty()) {
    line += GetFileAttributesW(g_movie.c_str()) != INVALID_FILE_ATTRIBUTES ? " file=1" : " file=0";
  }
  FILE* log = _wfopen(Variable(L"LUMEN_PROBE_LOG").c_str(), L"ab");
  if (!log) return;
  std::fprintf(log, "%s\n", line.c_str());
  std::fclose(log);
}

class ProbeControl final : public FlashControl {
 public:
  static HRESULT Create(REFIID iid, void** object) {
    if (Variable(L"LUMEN_PROBE") == L"nocontrol") return REGDB_E_CLASSNOTREG;
    auto* control = new ProbeControl();
    const HRESULT result = control->QueryInterface(iid, object);
    control->Release();
    return result;
  }

  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = FlashControl::Release();  // may delete this object: use nothing of it
    Log("Release " + std::to_string(left));
    return left;
  }
  HRESULT STDMETHODCALLTYPE put_BackgroundColor(long color) override {
    Log("BackgroundColor " + std::to_string(color));
    return FlashControl::put_BackgroundColor(color);
  }
  HRESULT STDMETHODCALLTYPE put_Movie(BSTR path) override {
    g_movie.assign(path ? path : L"");
    WIN32_FILE_ATTRIBUTE_DATA data{};
    const bool found = GetFileAttributesExW(g_movie.c_str(), GetFileExInfoStandard, &data);
    Log("Movie " + Narrow(g_movie) + " size=" + (found ? std::to_string(data.nFileSizeLow) : "-"));
    return FlashControl::put_Movie(path);
  }
  HRESULT STDMETHODCALLTYPE Play() override {
    Log("Play");
    if (Variable(L"LUMEN_PROBE") == L"failplay") return E_FAIL;
    return FlashControl::Play();
  }

 protected:
  void WindowDestroyed() override { Log("WindowDestroyed"); }
};

}  // namespace

std::span<const BuiltInClass> BuiltInClasses() {
  static constexpr BuiltInClass kClasses[] = {
      {kClsidShockwaveFlash, kProgIdShockwaveFlash, &ProbeControl::Create},
  };
  return kClasses;
}

}  // namespace lumen::flash
