// bench_playback [SECONDS [SILENT.swf MUSIC.swf]]: plays a full-screen cross-fading slideshow in
// the movie control and prints how closely frames follow the movie's rate and how much CPU time
// playing takes, during transitions and during still stretches: one authored at the screen's
// size, then one authored at 800 x 600 and scaled up to the screen, as most shows are watched.
// Given a slideshow without and with its music, plays each and prints what the music adds to
// the CPU time, and what the sound device alone adds, fed silence beside the silent show: the
// share that is the platform's sound path, not the engine's decoding, mixing and keeping time.
#include <ole2.h>
#include <windows.h>

#include <mmsystem.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "audio/WaveOutDevice_win.h"
#include "authoring/FontEmbedder.h"
#include "authoring/Slideshow.h"
#include "axhost/HostSite.h"
#include "flash/ComRef.h"
#include "flash/FlashControl.h"

namespace {

using lumen::flash::ComRef;

constexpr double kGoalTransitionCpu = 25, kGoalStillCpu = 2, kGoalMusicCpu = 2;
// A show authored small and scaled up to the screen.
constexpr int kSmallWidth = 800, kSmallHeight = 600;
constexpr double kGoalScaledTransitionCpu = 20;
constexpr DWORD kSampleMs = 100;

int64_t Ticks() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

double Seconds(int64_t ticks) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(ticks) / static_cast<double>(frequency.QuadPart);
}

double CpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto value = [](FILETIME t) {
    return static_cast<double>(static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime);
  };
  return (value(kernel) + value(user)) / 1e7;
}

// The control, noting when each frame reached the screen.
class TimedControl final : public lumen::flash::FlashControl {
 public:
  struct Shown {
    int64_t ticks;
    uint32_t frame;
  };
  std::vector<Shown> shown;

 protected:
  void FramePresented(uint32_t frame) override { shown.push_back({Ticks(), frame}); }
};

// What the slideshow does at a frame.
enum class Phase { Still, CaptionFade, Transition };

Phase PhaseOf(const lumen::authoring::SlideshowSpec& spec, uint32_t frame) {
  const uint32_t period = spec.still_frames + spec.transition_frames;
  const uint32_t at = frame % period;
  if (at >= static_cast<uint32_t>(spec.still_frames)) return Phase::Transition;
  if (at < 12 || at + 12 >= static_cast<uint32_t>(spec.still_frames)) return Phase::CaptionFade;
  return Phase::Still;
}

struct Sample {
  int64_t ticks;
  double cpu;
  uint32_t frame;
};

void PumpFor(DWORD milliseconds) {
  const DWORD end = timeGetTime() + milliseconds;
  for (DWORD now = timeGetTime(); static_cast<int32_t>(end - now) > 0; now = timeGetTime()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, end - now, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
}

void Report(const lumen::authoring::SlideshowSpec& spec, const std::vector<Sample>& samples,
            const std::vector<TimedControl::Shown>& shown, double idle_share,
            double transition_goal) {
  double time[3] = {}, cpu[3] = {};
  for (size_t i = 1; i < samples.size(); ++i) {
    const Phase from = PhaseOf(spec, samples[i - 1].frame), to = PhaseOf(spec, samples[i].frame);
    if (from != to) continue;  // a sample spanning two phases counts for neither
    time[static_cast<int>(from)] += Seconds(samples[i].ticks - samples[i - 1].ticks);
    cpu[static_cast<int>(from)] += samples[i].cpu - samples[i - 1].cpu;
  }
  // The timeline's transition frames, counted from the sampled frame numbers.
  size_t passed_transition_frames = 0, passed_frames = 0;
  const uint32_t count = spec.slides * (spec.still_frames + spec.transition_frames);
  for (size_t i = 1; i < samples.size(); ++i) {
    for (uint32_t f = samples[i - 1].frame; f != samples[i].frame; f = (f + 1) % count) {
      ++passed_frames;
      if (PhaseOf(spec, (f + 1) % count) == Phase::Transition) ++passed_transition_frames;
    }
  }
  size_t transition_frames = 0;
  double largest_gap = 0, largest_any = 0;
  for (size_t i = 0; i < shown.size(); ++i) {
    if (PhaseOf(spec, shown[i].frame) == Phase::Transition) ++transition_frames;
    if (i == 0) continue;
    const double gap = Seconds(shown[i].ticks - shown[i - 1].ticks);
    largest_any = std::max(largest_any, gap);
    // Gaps between frames that follow each other show stalls; a still stretch is no stall.
    if (shown[i].frame == shown[i - 1].frame + 1) largest_gap = std::max(largest_gap, gap);
  }
  const double elapsed = Seconds(samples.back().ticks - samples.front().ticks);
  const auto share = [&](Phase p) {
    const int i = static_cast<int>(p);
    return time[i] > 0 ? 100 * cpu[i] / time[i] : 0.0;
  };
  std::printf("movie: %dx%d shown at %dx%d, %d fps, %d still + %d cross-fade frames per slide\n",
              spec.width, spec.height, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
              spec.frame_rate, spec.still_frames, spec.transition_frames);
  std::printf("played %.1f s, %zu frames presented\n", elapsed, shown.size());
  std::printf("timeline: %.2f frames per second (movie rate %d)\n", passed_frames / elapsed,
              spec.frame_rate);
  std::printf("frames shown per second during transitions: %.2f (movie rate %d)\n",
              passed_transition_frames > 0
                  ? spec.frame_rate * static_cast<double>(transition_frames) /
                        static_cast<double>(passed_transition_frames)
                  : 0.0,
              spec.frame_rate);
  std::printf(
      "CPU, share of one core: transitions %.1f %% (goal <= %.0f %%), still %.1f %% "
      "(goal <= %.0f %%), caption fades %.1f %%; stopped movie %.1f %%\n",
      share(Phase::Transition), transition_goal, share(Phase::Still), kGoalStillCpu,
      share(Phase::CaptionFade), idle_share);
  std::printf(
      "largest gap between consecutive frames presented: %.1f ms (frame period %.1f ms); "
      "between any two presented: %.1f ms\n",
      largest_gap * 1000, 1000.0 / spec.frame_rate, largest_any * 1000);
}

void Load(TimedControl& control, const std::wstring& path) {
  BSTR movie = path.empty() ? nullptr : SysAllocString(path.c_str());
  control.put_Movie(movie);
  SysFreeString(movie);
}

bool WriteShow(const lumen::authoring::SlideshowSpec& spec, const std::wstring& path) {
  const auto movie = lumen::authoring::BuildSlideshow(spec);
  std::ofstream out(path.c_str(), std::ios::binary);
  out.write(reinterpret_cast<const char*>(movie.data()),
            static_cast<std::streamsize>(movie.size()));
  return static_cast<bool>(out);
}

// Plays `path` from its start for `seconds`, noting the frame and the CPU time every sample.
std::vector<Sample> PlayAndSample(TimedControl& control, const std::wstring& path, int seconds) {
  Load(control, L"");
  control.shown.clear();
  Load(control, path);
  std::vector<Sample> samples;
  const auto sample = [&] {
    long frame = 0;
    control.CurrentFrame(&frame);
    samples.push_back({Ticks(), CpuSeconds(), static_cast<uint32_t>(frame)});
  };
  sample();
  for (DWORD i = 0; i < seconds * 1000 / kSampleMs; ++i) {
    PumpFor(kSampleMs);
    sample();
  }
  return samples;
}

class Silence final : public lumen::audio::SampleSource {
 public:
  void Fill(std::span<int16_t> out) override { std::fill(out.begin(), out.end(), int16_t{0}); }
};

// The process's CPU time as a share of one core while `path` plays, from its second second on,
// with a sound device of its own playing `silence` beside it when one is given.
double PlayingShare(TimedControl& control, const std::wstring& path, int seconds,
                    Silence* silence = nullptr) {
  Load(control, path);
  std::optional<lumen::audio::WaveOutDevice> device;
  if (silence) device.emplace().Start(*silence);
  PumpFor(1000);
  const int64_t start = Ticks();
  const double cpu = CpuSeconds();
  PumpFor(static_cast<DWORD>(seconds) * 1000);
  const double share = 100 * (CpuSeconds() - cpu) / Seconds(Ticks() - start);
  device.reset();
  Load(control, L"");
  return share;
}

// Silent and with music in turn, twice, so that a slow drift of the machine weighs on both.
void ReportMusic(TimedControl& control, const std::wstring& silent, const std::wstring& music,
                 int seconds) {
  double without = 0, with = 0, device = 0;
  Silence silence;
  for (int round = 0; round < 2; ++round) {
    without += PlayingShare(control, silent, seconds) / 2;
    with += PlayingShare(control, music, seconds) / 2;
    device += PlayingShare(control, silent, seconds, &silence) / 2;
  }
  std::printf(
      "music: CPU share of one core playing the sample slideshow without music %.1f %%, with "
      "its MP3 stream %.1f %%: added %.1f %% (goal <= %.0f %%: %s)\n",
      without, with, with - without, kGoalMusicCpu,
      with - without <= kGoalMusicCpu ? "met" : "MISSED");
  std::printf(
      "music: the sound device alone, fed silence beside the silent show, adds %.1f %%; the "
      "engine's own sound work adds %.1f %%\n",
      device - without, with - device);
}

std::wstring Wide(const char* text) {
  std::wstring wide;
  for (const char* c = text; *c; ++c) wide += static_cast<wchar_t>(static_cast<unsigned char>(*c));
  return wide;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::clamp(std::atoi(argv[1]), 1, 600) : 20;
  lumen::authoring::SlideshowSpec spec;
  spec.width = GetSystemMetrics(SM_CXSCREEN);
  spec.height = GetSystemMetrics(SM_CYSCREEN);
  spec.still_zoom = false;
  spec.cross_fades_only = true;
  spec.slides = 4;
  spec.still_frames = 48;
  spec.transition_frames = 24;
  spec.caption_font = lumen::authoring::ReadCaptionFont();

  lumen::authoring::SlideshowSpec small = spec;
  small.width = kSmallWidth;
  small.height = kSmallHeight;

  wchar_t folder[MAX_PATH];
  if (!GetTempPathW(MAX_PATH, folder)) return 1;
  const std::wstring path = std::wstring(folder) + L"lumen-bench.swf";
  const std::wstring small_path = std::wstring(folder) + L"lumen-bench-small.swf";
  if (!WriteShow(spec, path) || !WriteShow(small, small_path)) return 1;

  OleInitialize(nullptr);
  HWND window = CreateWindowExW(WS_EX_TOPMOST, L"STATIC", L"bench", WS_POPUP | WS_VISIBLE, 0, 0,
                                spec.width, spec.height, nullptr, nullptr, nullptr, nullptr);
  auto* control = new TimedControl();
  ComRef<IOleObject> object;
  control->QueryInterface(IID_IOleObject, object.ReceiveVoid());
  ComRef<lumen::axhost::HostSite> site(lumen::axhost::HostSite::Create(window));
  object->SetClientSite(site.Get());
  const RECT rect{0, 0, spec.width, spec.height};
  object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site.Get(), 0, window, &rect);
  control->shown.reserve(static_cast<size_t>(seconds) * spec.frame_rate * 2);
  Load(*control, path);

  // What the process costs with the movie stopped: the floor under the figures below.
  control->put_Playing(VARIANT_FALSE);
  PumpFor(500);
  const int64_t idle_start = Ticks();
  const double idle_cpu = CpuSeconds();
  PumpFor(2000);
  const double idle_share = 100 * (CpuSeconds() - idle_cpu) / Seconds(Ticks() - idle_start);

  Report(spec, PlayAndSample(*control, path, seconds), control->shown, idle_share,
         kGoalTransitionCpu);
  Report(small, PlayAndSample(*control, small_path, seconds), control->shown, idle_share,
         kGoalScaledTransitionCpu);
  if (argc > 3) ReportMusic(*control, Wide(argv[2]), Wide(argv[3]), seconds);

  object->Close(OLECLOSE_NOSAVE);
  object->SetClientSite(nullptr);
  object.Reset();
  control->Release();
  DestroyWindow(window);
  OleUninitialize();
  DeleteFileW(path.c_str());
  DeleteFileW(small_path.c_str());
  return 0;
}
