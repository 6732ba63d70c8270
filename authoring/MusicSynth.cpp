// Design: integer arithmetic only (32-bit phase accumulators, a polynomial sine, polynomial
// envelopes), so the piece has the same samples whatever the compiler, libm or processor. Notes
// render into a buffer one loop long and wrap at its end: a chord that swells in before the
// loop's end sounds on at its start, and the loop is seamless by construction.

#include "authoring/MusicSynth.h"

#include <algorithm>
#include <array>
#include <span>
#include <stdexcept>

namespace lumen::authoring {

namespace {

constexpr int kQ16 = 1 << 16;

// sin(2π · phase / 2^32) in Q15, from its odd Taylor series to the ninth power on a quarter wave.
int32_t Sine(uint32_t phase) {
  const uint32_t quadrant = phase >> 30;
  int64_t u = (phase >> 14) & 0xFFFF;  // the position in the quarter, Q16
  if (quadrant & 1) u = kQ16 - u;
  u <<= 14;  // Q30
  constexpr std::array<int64_t, 5> kTerms = {1686629713, -693598668, 85569306, -5026995, 172272};
  const int64_t u2 = u * u >> 30;
  int64_t sum = kTerms[4];
  for (int i = 3; i >= 0; --i) sum = kTerms[i] + (sum * u2 >> 30);
  const auto value = static_cast<int32_t>(std::min<int64_t>(sum * u >> 45, 32767));
  return quadrant & 2 ? -value : value;
}

// Phase steps per 44.1 kHz sample of C4 .. B4 (equal temperament, A4 = 440 Hz).
constexpr std::array<uint32_t, 12> kOctave4Steps = {25480119, 26995246, 28600467, 30301139,
                                                    32102938, 34011878, 36034330, 38177043,
                                                    40447168, 42852281, 45400411, 48100060};

uint32_t NoteStep(int midi) {
  const int octave = midi / 12 - 5;  // MIDI 60 is C4
  const uint32_t step = kOctave4Steps[static_cast<size_t>(midi % 12)];
  return octave >= 0 ? step << octave : step >> -octave;
}

// 3x² − 2x³ for x in Q16: a fade that starts and ends flat.
int64_t Smooth(int64_t x) {
  return x * x / kQ16 * (3 * kQ16 - 2 * x) / kQ16;
}

// (1 − x)⁴ for x in Q16: a struck note dying away.
int64_t Decay(int64_t x) {
  const int64_t rest = kQ16 - x;
  const int64_t squared = rest * rest / kQ16;
  return squared * squared / kQ16;
}

// Stereo sums of one loop; a note past the end goes on at the start.
class LoopMix {
 public:
  explicit LoopMix(int64_t length) : left_(static_cast<size_t>(length)), right_(left_) {}

  void Add(int64_t at, int32_t left, int32_t right) {
    const auto i = static_cast<size_t>(at % static_cast<int64_t>(left_.size()));
    left_[i] += left;
    right_[i] += right;
  }

  std::vector<int16_t> Samples() const {
    std::vector<int16_t> out(left_.size() * 2);
    for (size_t i = 0; i < left_.size(); ++i) {
      out[2 * i] = static_cast<int16_t>(std::clamp(left_[i], -32767, 32767));
      out[2 * i + 1] = static_cast<int16_t>(std::clamp(right_[i], -32767, 32767));
    }
    return out;
  }

 private:
  std::vector<int32_t> left_, right_;
};

struct Chord {
  int root;  // semitones above C
  bool minor;
};

// C, A minor, F, D minor, G: the last leads back to the first when the show loops.
constexpr std::array<Chord, 5> kProgression = {
    {{0, false}, {9, true}, {5, false}, {2, true}, {7, false}}};

Chord ChordOfSlide(int slide) {
  return kProgression[static_cast<size_t>(slide) % kProgression.size()];
}

// A pad voice: three harmonics, the left a little flat and the right a little sharp for
// width, faded in over `fade`, held, and faded out over `fade`.
void Pad(LoopMix& mix, int64_t start, int64_t fade, int64_t hold, int midi, int32_t level) {
  const uint32_t step = NoteStep(midi);
  const uint32_t steps[2] = {step - step / 800, step + step / 800};
  uint32_t phases[2] = {0, 0x40000000};
  const int64_t length = 2 * fade + hold;
  for (int64_t t = 0; t < length; ++t) {
    int64_t envelope = kQ16;
    if (t < fade) envelope = Smooth(t * kQ16 / fade);
    if (t >= fade + hold) envelope = kQ16 - Smooth((t - fade - hold) * kQ16 / fade);
    const int64_t gain = level * envelope / kQ16;
    int32_t out[2];
    for (int c = 0; c < 2; ++c) {
      const uint32_t p = phases[c];
      const int64_t wave = 20 * int64_t{Sine(p)} + 6 * Sine(p * 2) + 2 * Sine(p * 3);
      out[c] = static_cast<int32_t>(gain * wave / (28 * 32768));
      phases[c] += steps[c];
    }
    mix.Add(start + t, out[0], out[1]);
  }
}

// A struck note: partials at `ratios` (Q8 multiples of the fundamental), each with its own
// level and ring, a short attack so the strike does not click, and a pan (0 left .. 256 right).
struct Partial {
  uint32_t ratio_q8;
  int32_t level;
  int64_t ring;  // samples
};

void Strike(LoopMix& mix, int64_t start, int midi, std::span<const Partial> partials, int pan) {
  constexpr int64_t kAttack = 132;  // 3 ms
  const uint32_t step = NoteStep(midi);
  for (const Partial& partial : partials) {
    const auto partial_step = static_cast<uint32_t>(uint64_t{step} * partial.ratio_q8 >> 8);
    uint32_t phase = 0;
    for (int64_t t = 0; t < partial.ring; ++t) {
      int64_t envelope = Decay(t * kQ16 / partial.ring);
      if (t < kAttack) envelope = envelope * t / kAttack;
      const int64_t value = partial.level * envelope / kQ16 * Sine(phase) / 32768;
      mix.Add(start + t, static_cast<int32_t>(value * (256 - pan) / 128),
              static_cast<int32_t>(value * pan / 128));
      phase += partial_step;
    }
  }
}

// A bell: inharmonic partials that die away faster the higher they lie.
constexpr std::array<Partial, 4> kChime = {
    {{256, 3600, 88200}, {512, 1500, 57330}, {707, 1300, 35280}, {1382, 800, 17640}}};
// A soft plucked tone for the melody.
constexpr std::array<Partial, 2> kPluck = {{{256, 2600, 48510}, {512, 500, 22050}}};

struct Timing {
  int64_t cycle_frames;  // a slide and the transition after it
  int64_t still_frames, transition_frames;
  int frame_rate;

  int64_t Sample(int64_t frame) const { return FrameSample(frame, frame_rate); }
  int64_t SlideStart(int slide) const { return Sample(slide * cycle_frames); }
  int64_t TransitionStart(int slide) const { return Sample(slide * cycle_frames + still_frames); }
};

// The chord of `slide` swells in through the transition bringing it and fades through the next.
void PadOfSlide(LoopMix& mix, const Timing& timing, int slide, int slides) {
  const int previous = (slide + slides - 1) % slides;
  const int64_t start = timing.TransitionStart(previous);
  const int64_t fade = std::max<int64_t>(timing.Sample(timing.transition_frames), 1);
  const int64_t hold = timing.Sample(timing.still_frames);
  const Chord chord = ChordOfSlide(slide);
  const int base = 48 + chord.root;  // the octave of C3
  const int third = chord.minor ? 3 : 4;
  Pad(mix, start, fade, hold, base - 12, 2400);
  Pad(mix, start, fade, hold, base, 2200);
  Pad(mix, start, fade, hold, base + third, 1900);
  Pad(mix, start, fade, hold, base + 7, 1900);
}

// Four notes over the slide, climbing through its chord from a different tone each slide.
void MelodyOfSlide(LoopMix& mix, const Timing& timing, int slide) {
  const Chord chord = ChordOfSlide(slide);
  const int tones[3] = {0, chord.minor ? 3 : 4, 7};
  for (int n = 0; n < 4; ++n) {
    const int index = slide + n;
    const int midi = 72 + chord.root + tones[index % 3] + 12 * (index % 3 == 0 && n > 0);
    const int64_t at = timing.Sample(slide * timing.cycle_frames + timing.still_frames * n / 4);
    Strike(mix, at, midi, kPluck, n % 2 ? 170 : 86);
  }
}

}  // namespace

int64_t FrameSample(int64_t frame, int frame_rate) {
  return frame * kMusicRate / frame_rate;
}

std::vector<int16_t> SlideshowMusic(const SlideshowSpec& spec) {
  const Timing timing{int64_t{spec.still_frames} + spec.transition_frames, spec.still_frames,
                      spec.transition_frames, spec.frame_rate};
  if (spec.frame_rate <= 0 || spec.slides <= 0 || spec.still_frames < 0 ||
      spec.transition_frames < 0 || timing.cycle_frames <= 0) {
    throw std::invalid_argument("the slideshow has no frames to set music to");
  }
  const int64_t most_frames = int64_t{600} * spec.frame_rate;
  if (timing.cycle_frames > most_frames || spec.slides * timing.cycle_frames > most_frames) {
    throw std::invalid_argument("the slideshow is too long for its music");
  }
  LoopMix mix(timing.SlideStart(spec.slides));
  for (int slide = 0; slide < spec.slides; ++slide) {
    PadOfSlide(mix, timing, slide, spec.slides);
    MelodyOfSlide(mix, timing, slide);
    // The chime strikes the chord of the slide coming in.
    const Chord next = ChordOfSlide((slide + 1) % spec.slides);
    Strike(mix, timing.TransitionStart(slide), 84 + next.root, kChime, 128);
  }
  return mix.Samples();
}

}  // namespace lumen::authoring
