#pragma once

// The Windows sound output: waveOut fed from a thread of its own, a few short buffers ahead of
// what is heard, with the device's played position as the movie's clock.

#include <windows.h>
// Needs the types of windows.h first.
#include <mmsystem.h>

#include <array>
#include <cstdint>
#include <mutex>
#include <thread>

#include "audio/AudioDevice.h"

namespace lumen::audio {

// The winmm calls the device makes, virtual so that a test can make them fail.
class WaveOutApi {
 public:
  virtual ~WaveOutApi() = default;
  virtual UINT NumDevs();
  // Opens the default device for `format`, signalling `event` whenever a buffer is done.
  virtual MMRESULT Open(HWAVEOUT* out, const WAVEFORMATEX& format, HANDLE event);
  virtual MMRESULT Prepare(HWAVEOUT handle, WAVEHDR& header);
  virtual MMRESULT Unprepare(HWAVEOUT handle, WAVEHDR& header);
  virtual MMRESULT Write(HWAVEOUT handle, WAVEHDR& header);
  virtual MMRESULT Pause(HWAVEOUT handle);
  virtual MMRESULT Restart(HWAVEOUT handle);
  virtual MMRESULT Reset(HWAVEOUT handle);
  virtual MMRESULT Close(HWAVEOUT handle);
  virtual MMRESULT Position(HWAVEOUT handle, MMTIME& time);
};

WaveOutApi& SystemWaveOut();

// Frames heard since Start. The device counts in 32 bits, which wrap after 27 hours: the count is
// widened to 64 bits and never steps back. Once the device is lost the clock follows the wall
// from where it was, so a picture kept to it never stalls.
class PlayClock {
 public:
  explicit PlayClock(int64_t ticks_per_second) : ticks_per_second_(ticks_per_second) {}
  uint64_t FromDevice(uint32_t samples);
  void FollowWall(int64_t now_ticks);
  // Stops the wall clock, if it runs, at `now_ticks`.
  void Freeze(int64_t now_ticks);
  uint64_t Frames(int64_t now_ticks) const;

 private:
  int64_t ticks_per_second_;
  uint64_t frames_ = 0;
  bool counting_ = false;
  uint32_t last_samples_ = 0;
  bool on_wall_ = false;
  int64_t wall_start_ = 0;
};

class WaveOutDevice final : public AudioDevice {
 public:
  // 20 ms buffers; the feeder never runs more than kMaxAheadFrames ahead of what is heard, so
  // a driver that takes buffers eagerly cannot add latency.
  static constexpr uint32_t kBufferFrames = kOutputRate / 50;
  static constexpr size_t kBufferCount = 6;
  static constexpr uint64_t kMaxAheadFrames = kOutputRate * 80 / 1000;

  WaveOutDevice();
  explicit WaveOutDevice(WaveOutApi& api);
  ~WaveOutDevice() override;
  WaveOutDevice(const WaveOutDevice&) = delete;
  WaveOutDevice& operator=(const WaveOutDevice&) = delete;

  bool Start(SampleSource& source) override;
  void Stop() override;
  uint64_t PlayedFrames() const override;

 private:
  using Buffer = std::array<int16_t, kBufferFrames * 2>;

  // The *Locked members run with mutex_ held.
  bool OpenLocked();
  void CloseLocked();
  void ReadPositionLocked() const;
  void LoseDeviceLocked() const;
  void Feed();
  bool Play();
  // Writes every free buffer that the latency bound allows and says how long to wait before
  // the next try; false once feeding must end.
  bool Refill(DWORD& wait_ms);
  bool Write(WAVEHDR& header);
  bool FeedingEnds() const;

  WaveOutApi& api_;
  const int64_t ticks_per_second_;
  HANDLE event_;
  SampleSource* source_ = nullptr;
  std::thread feeder_;

  // Guards the handle, the headers' hand-over to the device and the clock.
  mutable std::mutex mutex_;
  HWAVEOUT handle_ = nullptr;
  bool stopping_ = false;
  mutable bool lost_ = false;
  mutable PlayClock clock_{1};

  // The feeder's own.
  std::array<WAVEHDR, kBufferCount> headers_{};
  std::array<Buffer, kBufferCount> buffers_{};
  size_t next_ = 0;
  uint64_t written_frames_ = 0;
};

}  // namespace lumen::audio
