// Design: the feeder thread owns the buffers. It waits on the event that waveOut signals when a
// buffer is done (or until the latency bound lets the next buffer go), fills the free buffers in
// ring order outside the lock and hands each to the device under the lock, so Stop can silence the
// device at once even while the source is still filling. It never runs more than a few tens of
// milliseconds ahead of the played position: some drivers mark buffers done as soon as they have
// copied them, which would otherwise let latency grow to their own buffer's size. Any error from
// the device ends it: the clock carries on from the wall and the feeder closes the device.

#include "audio/WaveOutDevice_win.h"

#include <algorithm>

namespace lumen::audio {

namespace {

int64_t Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

int64_t TicksPerSecond() {
  LARGE_INTEGER rate;
  QueryPerformanceFrequency(&rate);
  return std::max<int64_t>(rate.QuadPart, 1);
}

// How long the feeder sleeps when every buffer is queued: the device's event wakes it sooner;
// this only bounds the wait with a driver that forgets to signal.
constexpr DWORD kIdleMs = 50;

// The device sets WHDR_DONE from its own thread; dwUser marks a header we have written.
bool IsFree(const WAVEHDR& header) {
  const DWORD flags = *static_cast<const volatile DWORD*>(&header.dwFlags);
  return header.dwUser == 0 || (flags & WHDR_DONE) != 0;
}

}  // namespace

UINT WaveOutApi::NumDevs() {
  return waveOutGetNumDevs();
}

MMRESULT WaveOutApi::Open(HWAVEOUT* out, const WAVEFORMATEX& format, HANDLE event) {
  return waveOutOpen(out, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(event), 0,
                     CALLBACK_EVENT);
}

MMRESULT WaveOutApi::Prepare(HWAVEOUT handle, WAVEHDR& header) {
  return waveOutPrepareHeader(handle, &header, sizeof header);
}

MMRESULT WaveOutApi::Unprepare(HWAVEOUT handle, WAVEHDR& header) {
  return waveOutUnprepareHeader(handle, &header, sizeof header);
}

MMRESULT WaveOutApi::Write(HWAVEOUT handle, WAVEHDR& header) {
  return waveOutWrite(handle, &header, sizeof header);
}

MMRESULT WaveOutApi::Pause(HWAVEOUT handle) {
  return waveOutPause(handle);
}

MMRESULT WaveOutApi::Restart(HWAVEOUT handle) {
  return waveOutRestart(handle);
}

MMRESULT WaveOutApi::Reset(HWAVEOUT handle) {
  return waveOutReset(handle);
}

MMRESULT WaveOutApi::Close(HWAVEOUT handle) {
  return waveOutClose(handle);
}

MMRESULT WaveOutApi::Position(HWAVEOUT handle, MMTIME& time) {
  return waveOutGetPosition(handle, &time, sizeof time);
}

WaveOutApi& SystemWaveOut() {
  static WaveOutApi api;
  return api;
}

uint64_t PlayClock::FromDevice(uint32_t samples) {
  if (!counting_) {
    // The first answer after Start is the base, whatever a driver counts from.
    counting_ = true;
    last_samples_ = samples;
    return frames_;
  }
  const uint32_t step = samples - last_samples_;
  // A step of more than half the range is the count going back (a device that restarted its
  // count); the clock then holds still rather than jumping.
  if (step <= 0x7FFFFFFFu) frames_ += step;
  last_samples_ = samples;
  return frames_;
}

void PlayClock::FollowWall(int64_t now_ticks) {
  if (on_wall_) return;
  on_wall_ = true;
  wall_start_ = now_ticks;
}

void PlayClock::Freeze(int64_t now_ticks) {
  frames_ = Frames(now_ticks);
  on_wall_ = false;
}

uint64_t PlayClock::Frames(int64_t now_ticks) const {
  if (!on_wall_) return frames_;
  const int64_t elapsed = std::max<int64_t>(now_ticks - wall_start_, 0);
  const int64_t whole = elapsed / ticks_per_second_;
  const int64_t part = elapsed % ticks_per_second_;
  return frames_ + static_cast<uint64_t>(whole) * kOutputRate +
         static_cast<uint64_t>(part * kOutputRate / ticks_per_second_);
}

WaveOutDevice::WaveOutDevice() : WaveOutDevice(SystemWaveOut()) {}

WaveOutDevice::WaveOutDevice(WaveOutApi& api)
    : api_(api),
      ticks_per_second_(TicksPerSecond()),
      event_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

WaveOutDevice::~WaveOutDevice() {
  Stop();
  if (event_) CloseHandle(event_);
}

bool WaveOutDevice::Start(SampleSource& source) {
  Stop();
  if (!event_ || api_.NumDevs() == 0) return false;
  std::lock_guard lock(mutex_);
  if (!OpenLocked()) return false;
  source_ = &source;
  stopping_ = false;
  lost_ = false;
  clock_ = PlayClock(ticks_per_second_);
  next_ = 0;
  written_frames_ = 0;
  feeder_ = std::thread(&WaveOutDevice::Feed, this);
  return true;
}

void WaveOutDevice::Stop() {
  if (!feeder_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    if (handle_ && !lost_) ReadPositionLocked();  // the last count, which may find it lost
    // Silent at once, even while the feeder is still inside Fill.
    if (handle_ && !lost_) api_.Reset(handle_);
    stopping_ = true;
    clock_.Freeze(Now());
  }
  SetEvent(event_);
  feeder_.join();
  std::lock_guard lock(mutex_);
  CloseLocked();
}

uint64_t WaveOutDevice::PlayedFrames() const {
  std::lock_guard lock(mutex_);
  if (handle_ && !lost_ && !stopping_) ReadPositionLocked();
  return clock_.Frames(Now());
}

bool WaveOutDevice::OpenLocked() {
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 2;
  format.nSamplesPerSec = kOutputRate;
  format.wBitsPerSample = 16;
  format.nBlockAlign = 4;
  format.nAvgBytesPerSec = kOutputRate * 4;
  if (api_.Open(&handle_, format, event_) != MMSYSERR_NOERROR) {
    handle_ = nullptr;
    return false;
  }
  // Paused until every buffer is queued: a device started with one buffer can run dry at once.
  if (api_.Pause(handle_) != MMSYSERR_NOERROR) {
    CloseLocked();
    return false;
  }
  headers_ = {};
  for (size_t i = 0; i < kBufferCount; ++i) {
    headers_[i].lpData = reinterpret_cast<LPSTR>(buffers_[i].data());
    headers_[i].dwBufferLength = sizeof(Buffer);
    if (api_.Prepare(handle_, headers_[i]) != MMSYSERR_NOERROR) {
      CloseLocked();
      return false;
    }
  }
  return true;
}

void WaveOutDevice::CloseLocked() {
  if (!handle_) return;
  api_.Reset(handle_);
  for (WAVEHDR& header : headers_) {
    if (header.dwFlags & WHDR_PREPARED) api_.Unprepare(handle_, header);
  }
  api_.Close(handle_);
  handle_ = nullptr;
}

void WaveOutDevice::ReadPositionLocked() const {
  MMTIME time{};
  time.wType = TIME_SAMPLES;
  // A driver that cannot count samples cannot be a clock either.
  if (api_.Position(handle_, time) != MMSYSERR_NOERROR || time.wType != TIME_SAMPLES) {
    LoseDeviceLocked();
  } else {
    clock_.FromDevice(time.u.sample);
  }
}

void WaveOutDevice::LoseDeviceLocked() const {
  lost_ = true;
  clock_.FollowWall(Now());
  SetEvent(event_);  // the feeder closes it
}

void WaveOutDevice::Feed() {
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
  DWORD wait_ms = 0;
  if (Refill(wait_ms) && Play()) {
    while (Refill(wait_ms)) WaitForSingleObject(event_, wait_ms);
  }
  std::lock_guard lock(mutex_);
  if (lost_) CloseLocked();
}

bool WaveOutDevice::Play() {
  std::lock_guard lock(mutex_);
  if (stopping_ || lost_) return false;
  if (api_.Restart(handle_) != MMSYSERR_NOERROR) {
    LoseDeviceLocked();
    return false;
  }
  return true;
}

bool WaveOutDevice::Refill(DWORD& wait_ms) {
  while (!FeedingEnds()) {
    WAVEHDR& header = headers_[next_];
    if (!IsFree(header)) {
      wait_ms = kIdleMs;
      return true;
    }
    const uint64_t allowed = PlayedFrames() + kMaxAheadFrames;
    if (written_frames_ + kBufferFrames > allowed) {
      // Wakes when the next buffer is allowed, not before: fewer wake-ups cost less.
      const uint64_t early = written_frames_ + kBufferFrames - allowed;
      wait_ms = static_cast<DWORD>(std::min<uint64_t>(early * 1000 / kOutputRate + 1, kIdleMs));
      return true;
    }
    source_->Fill(buffers_[next_]);
    if (!Write(header)) return false;
    next_ = (next_ + 1) % kBufferCount;
  }
  return false;
}

bool WaveOutDevice::Write(WAVEHDR& header) {
  std::lock_guard lock(mutex_);
  if (stopping_ || lost_) return false;
  header.dwUser = 1;
  if (api_.Write(handle_, header) != MMSYSERR_NOERROR) {
    header.dwUser = 0;
    LoseDeviceLocked();
    return false;
  }
  written_frames_ += kBufferFrames;
  return true;
}

bool WaveOutDevice::FeedingEnds() const {
  std::lock_guard lock(mutex_);
  return stopping_ || lost_;
}

}  // namespace lumen::audio
