#pragma once

// The stage's side of scripting: owns the script engine, keeps the clips in the order the
// reference runs them (newest first), queues frame scripts and clip events, and answers the
// engine's questions about the stage and the host (trace output, the clock, the mouse, URLs).

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "avm1/StageBridge.h"
#include "avm1/Vm.h"
#include "movie/Movie.h"
#include "stage/ClipRegistry.h"
#include "stage/MovieFolder.h"
#include "stage/StageSound.h"

namespace lumen::stage {

class Clip;
class MovieLibrary;

// The clip events of PlaceObject's clip actions, by their flag bits.
enum ClipEvent : uint32_t {
  kEventLoad = 0x1,
  kEventEnterFrame = 0x2,
  kEventUnload = 0x4,
  kEventMouseMove = 0x8,
  kEventMouseDown = 0x10,
  kEventMouseUp = 0x20,
  kEventKeyDown = 0x40,
  kEventKeyUp = 0x80,
  kEventData = 0x100,
  kEventInitialize = 0x200,
  kEventConstruct = 0x40000,
};

class ScriptHost final : public avm1::StageBridge {
 public:
  ScriptHost(const movie::Movie& movie, const avm1::VmLimits& limits = {});
  ~ScriptHost();
  ScriptHost(const ScriptHost&) = delete;
  ScriptHost& operator=(const ScriptHost&) = delete;

  avm1::Vm& Engine() { return *vm_; }
  void SetRoot(Clip* root) { root_ = root; }
  avm1::ClipLink* RootLink();
  // The root clip of level `level` above 0; null removes it.
  void SetLevel(int level, Clip* root);

  // A loadMovie or unloadMovie waiting for the next tick: into `clip`, or into level `level`
  // when it is null; `ticket` names a MovieClipLoader's load (0: none).
  struct MovieRequest {
    std::string url;
    Clip* clip;
    int level;
    uint32_t ticket;
  };
  // The requests due in this tick, one at a time, from the `load_movies` hook; a request whose
  // clip goes away meanwhile is dropped.
  bool TakeDueMovie(MovieRequest& out);
  // The loader's onLoadInit, after the first frame of the clip it loaded has run.
  void QueueLoadInit(Clip& clip, uint32_t ticket);
  bool Alive(const Clip* clip) const;

  // What clips tell about their lives. A clip registers as it is made: its initialize and
  // construct events (and the constructor of a class registered for its symbol) go ahead of
  // other scripts. Its load event waits until the frame that placed it has run.
  avm1::ClipObject* Register(Clip& clip);
  // Queues no unload events for a clip whose removal queued them already.
  void Unregister(Clip& clip);
  // Whether the clip has an unload handler (clip actions or onUnload) for its removal to run.
  bool HearsUnload(Clip& clip);
  // Queues the clip's unload events now, while it stays on stage.
  void QueueUnload(Clip& clip);
  void QueueLoad(Clip& clip);
  void QueueActions(Clip& clip, std::span<const uint8_t> code);
  void QueueEvent(Clip& clip, uint32_t event, const char* method);
  // A sprite's init actions, once per sprite of each movie, run on `clip`.
  void RunInitActions(Clip& clip, const MovieLibrary& library, uint16_t sprite,
                      std::span<const uint8_t> code);
  void RunNow(Clip& clip, std::span<const uint8_t> code);

  // One tick: enterFrame events and timelines, newest clip first; then the queued scripts,
  // the due timers, and a collection when one is due.
  void Tick(bool loop_root);
  void RunQueue();
  // The host closes (the "quit" FSCommand): the script running ends as it would, but no queued
  // script runs after it.
  void Halt() { halted_ = true; }
  // The same event to every clip, newest first (mouse and key events).
  void Broadcast(uint32_t event, const char* method);

  // The host's side.
  std::function<void(std::string_view)> trace_sink;
  MovieFolder folder;  // where scripts load files from
  StageSound* sound = nullptr;
  std::function<void(std::string_view command, std::string_view args)> fscommand_sink;
  std::function<void(std::string_view url, std::string_view target)> url_sink;
  std::function<avm1::TextExtent(const avm1::FormatValues&, std::string_view, double)> measure;
  // Carries out the loads due, each tick after its frame scripts.
  std::function<void()> load_movies;
  // Hears a script move the keyboard focus.
  std::function<void(avm1::Object*)> focus_moved;
  void SetClock(double ms) { clock_ms_ = ms; }
  void SetMouse(double x, double y) {
    mouse_x_ = x;
    mouse_y_ = y;
  }
  void SetStageSize(double width, double height) {
    stage_width_ = width;
    stage_height_ = height;
  }
  void SetUrl(std::string url) { url_ = std::move(url); }

  // avm1::StageBridge
  void Trace(std::string_view line) override;
  double Timer() override { return clock_ms_; }
  avm1::ClipLink* LevelRoot(int level) override;
  double StageWidth() override { return stage_width_; }
  double StageHeight() override { return stage_height_; }
  double MouseX() override { return mouse_x_; }
  double MouseY() override { return mouse_y_; }
  void GetUrl(std::string_view url, std::string_view target) override;
  void LoadMovie(std::string_view url, avm1::ClipLink* clip, int level, uint32_t ticket) override;
  void StopSounds() override {
    if (sound != nullptr) sound->Mixer().StopAll();
  }
  void ToggleQuality() override;
  std::string Quality() override { return quality_; }
  void SetQuality(std::string_view quality) override;
  size_t BytesLoaded(avm1::ClipLink* clip) override;
  size_t BytesTotal(avm1::ClipLink* clip) override;
  std::string Url() override { return url_; }
  avm1::TextExtent MeasureText(const avm1::FormatValues& format, std::string_view text,
                               double width) override {
    return measure ? measure(format, text, width) : avm1::TextExtent{};
  }
  void VariablesLoaded(avm1::ClipLink& clip) override;
  std::optional<std::string> ReadMovieFile(std::string_view name) override {
    return folder.Read(name);
  }
  uint32_t ExportedSound(std::string_view name) override;
  uint32_t LoadSound(std::string_view url) override;
  std::optional<double> SoundDuration(uint32_t id) override;
  std::optional<size_t> SoundFileBytes(uint32_t id) override;
  uint64_t StartSound(uint32_t id, avm1::ClipLink* owner, double offset, int loops) override;
  void StopSound(avm1::ClipLink* owner, uint32_t id) override;
  std::optional<double> SoundPosition(uint64_t handle) override;
  avm1::SoundTransformValues SoundTransform(avm1::ClipLink* owner) override;
  void SetSoundTransform(avm1::ClipLink* owner, const avm1::SoundTransformValues& values) override;
  void Construct(avm1::ClipLink* clip) override;
  void FocusMoved(avm1::Object* focus) override {
    if (focus_moved) focus_moved(focus);
  }
  std::shared_ptr<avm1::BitmapPixels> ExportedBitmap(std::string_view name) override;

 private:
  enum class Kind : uint8_t { Actions, Event, Construct, LoadInit };
  // Initialize events run before construct events, and both before the rest.
  enum Priority : uint8_t { kInitialize, kConstruct, kNormal, kPriorities };
  struct Queued {
    Kind kind;
    avm1::ClipObject* clip;
    std::span<const uint8_t> code;
    const char* method = nullptr;
    avm1::Object* ctor = nullptr;
    bool after_unload = false;
    uint8_t version = 0;  // of the movie the code comes from
    uint32_t ticket = 0;  // LoadInit
  };
  void QueueClipActions(Clip& clip, avm1::ClipObject* object, uint32_t event, Priority priority,
                        bool after_unload);
  void Push(Priority priority, const Queued& entry) { queues_[priority].push_back(entry); }
  bool PopNext(Queued& out);
  void Run(const Queued& entry);

  const movie::Movie& movie_;
  std::unique_ptr<avm1::Vm> vm_;
  Clip* root_ = nullptr;
  std::map<int, Clip*> levels_;               // above 0
  std::vector<MovieRequest> movie_requests_;  // for the next tick
  std::vector<MovieRequest> movie_due_;       // in this tick
  ClipRegistry clips_;
  std::vector<Queued> queues_[kPriorities];  // each runs from its `next_`; kept between ticks
  size_t next_[kPriorities] = {};
  bool running_ = false;
  bool halted_ = false;
  std::vector<avm1::ClipObject*> order_;
  std::set<std::pair<const MovieLibrary*, uint16_t>> inits_run_;
  double clock_ms_ = 0;
  double mouse_x_ = 0, mouse_y_ = 0;
  double stage_width_ = 0, stage_height_ = 0;
  std::string quality_ = "HIGH";
  std::string url_;
};

// Calls `found` with each handler of a PlaceObject clip-action list that answers `event`, in
// their order.
template <typename Found>
void ForClipActions(std::span<const uint8_t> clip_actions, uint8_t version, uint32_t event,
                    Found&& found);

template <typename Found>
void ForClipActions(std::span<const uint8_t> bytes, uint8_t version, uint32_t event,
                    Found&& found) {
  const size_t flag_size = version >= 6 ? 4 : 2;
  size_t pos = 2;  // after the reserved word
  auto read = [&](size_t n) {
    uint32_t v = 0;
    for (size_t i = 0; i < n; ++i) v |= static_cast<uint32_t>(bytes[pos + i]) << (8 * i);
    pos += n;
    return v;
  };
  if (bytes.size() < pos + flag_size) return;
  // The union of all flags: an event a record lists but the union leaves out is not heard.
  const uint32_t heard = read(flag_size);
  while (pos + flag_size <= bytes.size()) {
    const uint32_t flags = read(flag_size);
    if (flags == 0 || pos + 4 > bytes.size()) break;
    const uint32_t size = read(4);
    if (size > bytes.size() - pos) break;
    std::span<const uint8_t> code = bytes.subspan(pos, size);
    pos += size;
    if (!(flags & heard & event)) continue;
    constexpr uint32_t kKeyPress = 0x20000;
    if ((flags & kKeyPress) && !code.empty()) code = code.subspan(1);
    found(code);
  }
}

}  // namespace lumen::stage
