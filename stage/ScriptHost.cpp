#include "stage/ScriptHost.h"

#include "avm1/BitmapPixels.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "avm1/BitmapPixels.h"
#include "avm1/ClipObject.h"
#include "avm1/Names.h"
#include "avm1/builtins/MovieClipLoaderClass.h"
#include "avm1/builtins/PlayerObjects.h"
#include "avm1/builtins/SoundClass.h"
#include "stage/Clip.h"

namespace lumen::stage {

namespace {

// Scripts one tick may queue at most: a goto loop between two frames queues without end.
constexpr size_t kMaxQueuedPerTick = 100000;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

ScriptHost::ScriptHost(const movie::Movie& movie, const avm1::VmLimits& limits)
    : movie_(movie), vm_(std::make_unique<avm1::Vm>(movie.version, *this, limits)) {
  stage_width_ = (movie.stage.x_max - movie.stage.x_min) / 20.0;
  stage_height_ = (movie.stage.y_max - movie.stage.y_min) / 20.0;
}

ScriptHost::~ScriptHost() = default;

avm1::ClipLink* ScriptHost::RootLink() {
  return root_;
}

avm1::ClipLink* ScriptHost::LevelRoot(int level) {
  if (level == 0) return root_;
  const auto it = levels_.find(level);
  return it == levels_.end() ? nullptr : it->second;
}

void ScriptHost::SetLevel(int level, Clip* root) {
  if (root != nullptr) {
    levels_[level] = root;
  } else {
    levels_.erase(level);
  }
}

void ScriptHost::LoadMovie(std::string_view url, avm1::ClipLink* clip, int level, uint32_t ticket) {
  // Loads a script asks for within one tick; a loop asking for more is cut off.
  constexpr size_t kMaxRequests = 64;
  if (movie_requests_.size() >= kMaxRequests || level < 0) {
    vm_->DropLoader(ticket);
    return;
  }
  movie_requests_.push_back({std::string(url), static_cast<Clip*>(clip), level, ticket});
}

void ScriptHost::VariablesLoaded(avm1::ClipLink& clip) {
  QueueEvent(static_cast<Clip&>(clip), kEventData, "onData");
}

bool ScriptHost::TakeDueMovie(MovieRequest& out) {
  if (movie_due_.empty()) return false;
  out = std::move(movie_due_.front());
  movie_due_.erase(movie_due_.begin());
  return true;
}

void ScriptHost::QueueLoadInit(Clip& clip, uint32_t ticket) {
  if (clip.ScriptObject() == nullptr) return;
  Queued entry{Kind::LoadInit, clip.ScriptObject(), {}};
  entry.ticket = ticket;
  Push(kNormal, entry);
}

bool ScriptHost::Alive(const Clip* clip) const {
  return clips_.Contains(clip);
}

size_t ScriptHost::BytesLoaded(avm1::ClipLink* clip) {
  return clip ? static_cast<Clip*>(clip)->BytesLoaded() : movie_.loaded_length;
}

size_t ScriptHost::BytesTotal(avm1::ClipLink* clip) {
  return clip ? static_cast<Clip*>(clip)->BytesTotal() : movie_.file_length;
}

avm1::ClipObject* ScriptHost::Register(Clip& clip) {
  clips_.Add(&clip);
  avm1::ClipObject* object = vm_->MakeClipObject(clip, clip.Button() != nullptr);
  if (clip.IsVideo() && vm_->builtins().video_proto != nullptr) {
    object->SetProto(vm_->builtins().video_proto);
    object->video = true;
  }
  // A level's root carries the player's version for movies that check it.
  if (clip.Parent() == nullptr) vm_->SetOwn(object, "$version", vm_->Str(avm1::PlayerVersion()));
  // The first root is _root already while its first frame is placed: a field there bound to
  // "_root.name" gives that variable its text.
  if (clip.Parent() == nullptr && root_ == nullptr) root_ = &clip;
  QueueClipActions(clip, object, kEventInitialize, kInitialize, false);
  QueueClipActions(clip, object, kEventConstruct, kConstruct, false);
  const auto symbol = clip.Library().SymbolName(clip.CharacterId());
  if (symbol && clip.CharacterId() != 0) {
    if (avm1::Object* ctor = vm_->RegisteredClass(*symbol)) {
      avm1::Object* proto = vm_->Get(ctor, "prototype").AsObject();
      if (proto != nullptr) object->SetProto(proto);
      Push(kConstruct, {Kind::Construct, object, {}, nullptr, ctor, false});
      return object;
    }
  }
  // A clip of no class of its own hears its construction, where its prototype listens.
  if (clip.Parent() != nullptr && vm_->Has(object, "onConstruct")) {
    Push(kConstruct, {Kind::Event, object, {}, "onConstruct"});
  }
  return object;
}

void ScriptHost::Unregister(Clip& clip) {
  avm1::ClipObject* object = clip.ScriptObject();
  bool heard = false;
  if (clip.Loaded() && object != nullptr && !clip.UnloadQueued()) {
    const size_t before = queues_[kNormal].size();
    QueueClipActions(clip, object, kEventUnload, kNormal, true);
    heard = queues_[kNormal].size() > before || vm_->Has(object, "onUnload");
    Push(kNormal, {Kind::Event, object, {}, "onUnload", nullptr, true});
  }
  if (object != nullptr) object->Unlink(vm_->TargetPath(object), heard);
  clips_.Remove(&clip);
  if (root_ == &clip) root_ = nullptr;
  std::erase_if(levels_, [&clip](const auto& level) { return level.second == &clip; });
  for (std::vector<MovieRequest>* list : {&movie_requests_, &movie_due_}) {
    std::erase_if(*list, [&](const MovieRequest& request) {
      if (request.clip != &clip) return false;
      vm_->DropLoader(request.ticket);
      return true;
    });
  }
}

bool ScriptHost::HearsUnload(Clip& clip) {
  avm1::ClipObject* object = clip.ScriptObject();
  if (!clip.Loaded() || object == nullptr) return false;
  if (vm_->Has(object, "onUnload")) return true;
  const uint8_t version = clip.ParentClip() ? clip.ParentClip()->Version() : clip.Version();
  bool heard = false;
  ForClipActions(clip.ClipActions(), version, kEventUnload,
                 [&](std::span<const uint8_t>) { heard = true; });
  return heard;
}

void ScriptHost::QueueUnload(Clip& clip) {
  avm1::ClipObject* object = clip.ScriptObject();
  if (!clip.Loaded() || object == nullptr) return;
  QueueClipActions(clip, object, kEventUnload, kNormal, true);
  Push(kNormal, {Kind::Event, object, {}, "onUnload", nullptr, true});
}

void ScriptHost::QueueLoad(Clip& clip) {
  avm1::ClipObject* object = clip.ScriptObject();
  if (object == nullptr) return;
  QueueClipActions(clip, object, kEventLoad, kNormal, false);
  // A placed clip's onLoad is looked for as it is placed, so one its parent's frame script sets
  // comes too late; the root's first frame sets its own in time.
  if (clip.ParentClip() != nullptr && !vm_->Has(object, "onLoad")) return;
  Push(kNormal, {Kind::Event, object, {}, "onLoad", nullptr, false});
}

void ScriptHost::QueueActions(Clip& clip, std::span<const uint8_t> code) {
  if (clip.ScriptObject() == nullptr) return;
  Push(kNormal,
       {Kind::Actions, clip.ScriptObject(), code, nullptr, nullptr, false, clip.Version()});
}

void ScriptHost::QueueClipActions(Clip& clip, avm1::ClipObject* object, uint32_t event,
                                  Priority priority, bool after_unload) {
  // Clip actions belong to the PlaceObject, and so to the parent's movie.
  const uint8_t version = clip.ParentClip() ? clip.ParentClip()->Version() : clip.Version();
  ForClipActions(clip.ClipActions(), version, event, [&](std::span<const uint8_t> code) {
    Push(priority, {Kind::Actions, object, code, nullptr, nullptr, after_unload, version});
  });
}

void ScriptHost::QueueEvent(Clip& clip, uint32_t event, const char* method) {
  if (clip.ScriptObject() == nullptr) return;
  QueueClipActions(clip, clip.ScriptObject(), event, kNormal, false);
  // Only a clip with the handler now gets an entry, so that ticks without scripts stay free.
  if (method != nullptr && vm_->Has(clip.ScriptObject(), method)) {
    Push(kNormal, {Kind::Event, clip.ScriptObject(), {}, method});
  }
}

void ScriptHost::RunInitActions(Clip& clip, const MovieLibrary& library, uint16_t sprite,
                                std::span<const uint8_t> code) {
  if (!inits_run_.insert({&library, sprite}).second) return;
  vm_->RunActions(code, clip.ScriptObject(), library.Version());
}

void ScriptHost::RunNow(Clip& clip, std::span<const uint8_t> code) {
  vm_->RunActions(code, clip.ScriptObject(), clip.Version());
}

void ScriptHost::Run(const Queued& entry) {
  avm1::ClipObject* clip = entry.clip;
  if (entry.kind == Kind::LoadInit && (clip == nullptr || clip->Link() == nullptr)) {
    vm_->DropLoader(entry.ticket);  // the clip loaded went away first
    return;
  }
  if (clip == nullptr || (clip->Link() == nullptr && !entry.after_unload)) return;
  // A clip taken off the stage hears nothing but its unload, though it lingers.
  if (!entry.after_unload && clip->Link() != nullptr &&
      static_cast<Clip*>(clip->Link())->UnloadQueued()) {
    return;
  }
  clip->SetUnloading(entry.after_unload);
  switch (entry.kind) {
    case Kind::Actions:
      vm_->RunActions(entry.code, clip, entry.version);
      break;
    case Kind::Event:
      vm_->RunHandler(clip, entry.method);
      if (entry.after_unload) clip->EndUnload();
      break;
    case Kind::Construct:
      // As `new` marks what it makes, before the constructor runs.
      vm_->SetOwn(clip, "__constructor__", entry.ctor, avm1::kDontEnum);
      if (movie_.version < 7) vm_->SetOwn(clip, "constructor", entry.ctor, avm1::kDontEnum);
      vm_->RunCall(entry.ctor, static_cast<avm1::Object*>(clip), {});
      break;
    case Kind::LoadInit:
      avm1::ClipLoadEvent(*vm_, entry.ticket, "onLoadInit", clip, {}, true);
      break;
  }
  clip->SetUnloading(false);
}

void ScriptHost::Construct(avm1::ClipLink* link) {
  avm1::ClipObject* object = link ? link->Script() : nullptr;
  if (object == nullptr) return;
  for (int p : {kInitialize, kConstruct}) {
    // Entries may be added while these run: indexes stay valid, references do not.
    for (size_t i = next_[p]; i < queues_[p].size(); ++i) {
      if (queues_[p][i].clip != object) continue;
      const Queued entry = queues_[p][i];
      queues_[p][i].clip = nullptr;  // done
      Run(entry);
    }
  }
}

bool ScriptHost::PopNext(Queued& out) {
  for (int p = 0; p < kPriorities; ++p) {
    if (next_[p] < queues_[p].size()) {
      out = queues_[p][next_[p]++];
      return true;
    }
  }
  return false;
}

void ScriptHost::RunQueue() {
  if (running_) return;  // the outer call drains what is added
  running_ = true;
  size_t ran = 0;
  const double started = vm_->WorkClock();
  Queued entry{};
  while (!halted_ && ran++ < kMaxQueuedPerTick && PopNext(entry)) {
    Run(entry);
    // Scripts that keep queueing more (a frame script going to the frame whose script goes
    // back) are cut off like a single endless script; what is left is dropped.
    if (vm_->WorkClock() - started > vm_->RunLimitMs()) break;
  }
  for (int p = 0; p < kPriorities; ++p) {
    queues_[p].clear();
    next_[p] = 0;
  }
  vm_->stack().clear();  // what the scripts of a tick left on it goes with them
  running_ = false;
}

void ScriptHost::Tick(bool loop_root) {
  vm_->ClearGlobalRegisters();
  // Scripts that ran out of memory last time start from what is really still alive.
  if (vm_->heap().OverLimit()) vm_->CollectGarbage(true);
  // A snapshot: clips made during the tick start next tick; removed ones are skipped.
  order_.clear();
  clips_.NewestFirst([this](Clip* clip) { order_.push_back(clip->ScriptObject()); });
  // Loads asked for before this tick are carried out after its frame scripts.
  movie_due_ = std::exchange(movie_requests_, {});
  for (avm1::ClipObject* object : order_) {
    if (object == nullptr || object->Link() == nullptr) continue;
    auto* clip = static_cast<Clip*>(object->Link());
    if (clip->UnloadQueued()) continue;
    // Buttons and videos hear no frame, mouse or key events of their own.
    const bool hears =
        (clip->Loaded() || clip == root_) && clip->Button() == nullptr && !clip->IsVideo();
    if (hears) QueueEvent(*clip, kEventEnterFrame, "onEnterFrame");
    clip->AdvanceTimeline(clip == root_ ? loop_root : true);
  }
  RunQueue();
  if (load_movies) load_movies();
  for (const MovieRequest& left : movie_due_) vm_->DropLoader(left.ticket);
  movie_due_.clear();
  RunQueue();
  vm_->RunTimers(clock_ms_);
  vm_->DeliverLoads();
  if (sound != nullptr) avm1::SoundsCompleted(*vm_, sound->Mixer().TakeFinished());
  RunQueue();
  vm_->CollectGarbage();
}

void ScriptHost::Broadcast(uint32_t event, const char* method) {
  clips_.NewestFirst([&](Clip* clip) {
    if (clip->Button() == nullptr) QueueEvent(*clip, event, method);
  });
  RunQueue();
}

void ScriptHost::Trace(std::string_view line) {
  if (!trace_sink) return;
  // The log shows a carriage return as a line break, and a lone surrogate (kept in UTF-8 as
  // ED A0..BF xx) as the replacement character.
  std::string text(line);
  std::replace(text.begin(), text.end(), '\r', '\n');
  for (size_t i = 0; i + 2 < text.size(); ++i) {
    const auto b = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    if (b(i) == 0xED && b(i + 1) >= 0xA0 && b(i + 1) <= 0xBF && (b(i + 2) & 0xC0) == 0x80) {
      text.replace(i, 3, "\xEF\xBF\xBD");
      i += 2;
    }
  }
  trace_sink(text);
}

void ScriptHost::GetUrl(std::string_view url, std::string_view target) {
  if (StartsWithNoCase(url, "FSCommand:")) {
    if (fscommand_sink) fscommand_sink(url.substr(10), target);
    return;
  }
  if (url_sink) url_sink(url, target);
}

void ScriptHost::ToggleQuality() {
  quality_ = quality_ == "LOW" ? "HIGH" : "LOW";
}

void ScriptHost::SetQuality(std::string_view quality) {
  std::string upper(quality);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper == "LOW" || upper == "MEDIUM" || upper == "HIGH" || upper == "BEST") quality_ = upper;
}

// --- Sound ----------------------------------------------------------------------------------

namespace {

uint64_t OwnerKey(avm1::ClipLink* owner) {
  return owner ? static_cast<Clip*>(owner)->SoundKey() : 0;
}

}  // namespace

std::shared_ptr<avm1::BitmapPixels> ScriptHost::ExportedBitmap(std::string_view name) {
  const movie::Character* character = nullptr;
  for (const auto& [id, exported] : movie_.exports) {
    if (avm1::SameName(exported, name, false)) {
      character = movie_.Find(id);
      break;
    }
  }
  if (character == nullptr || !character->bitmap) return nullptr;
  const render::BitmapSource& source = *character->bitmap;
  if (!avm1::BitmapPixels::ValidSize(source.Width(), source.Height())) return nullptr;
  const std::optional<render::Bitmap> decoded = source.Decode();
  if (!decoded || decoded->width != source.Width() || decoded->height != source.Height()) {
    return nullptr;
  }
  auto pixels = std::make_shared<avm1::BitmapPixels>(decoded->width, decoded->height, true, 0);
  for (int y = 0; y < decoded->height; ++y) {
    for (int x = 0; x < decoded->width; ++x) {
      pixels->SetRaw(x, y, decoded->pixels[static_cast<size_t>(y) * decoded->width + x]);
    }
  }
  return pixels;
}

uint32_t ScriptHost::ExportedSound(std::string_view name) {
  if (sound == nullptr) return 0;
  const auto id = sound->ExportedId(name);
  return id && sound->DurationMs(*id) ? *id : 0;
}

uint32_t ScriptHost::LoadSound(std::string_view url) {
  if (sound == nullptr) return 0;
  const auto file = folder.Read(url);
  return file ? sound->AddLoaded(*file) : 0;
}

std::optional<double> ScriptHost::SoundDuration(uint32_t id) {
  return sound ? sound->DurationMs(id) : std::nullopt;
}

std::optional<size_t> ScriptHost::SoundFileBytes(uint32_t id) {
  return sound ? sound->LoadedBytes(id) : std::nullopt;
}

uint64_t ScriptHost::StartSound(uint32_t id, avm1::ClipLink* owner, double offset, int loops) {
  return sound ? sound->StartScripted(id, OwnerKey(owner), offset, loops) : 0;
}

void ScriptHost::StopSound(avm1::ClipLink* owner, uint32_t id) {
  if (sound == nullptr) return;
  audio::Mixer& mixer = sound->Mixer();
  if (owner != nullptr) {
    mixer.StopClipEvents(OwnerKey(owner), id);
  } else if (id != 0) {
    mixer.StopSound(id);
  } else {
    mixer.StopAll();
  }
}

std::optional<double> ScriptHost::SoundPosition(uint64_t handle) {
  if (sound == nullptr) return std::nullopt;
  const auto frames = sound->Mixer().EventPosition(handle);
  if (!frames) return std::nullopt;
  return std::round(static_cast<double>(*frames) / 44.1);
}

avm1::SoundTransformValues ScriptHost::SoundTransform(avm1::ClipLink* owner) {
  if (sound == nullptr) return {};
  const audio::SoundTransform t = sound->Mixer().Transform(OwnerKey(owner));
  return {static_cast<int32_t>(t.volume), static_cast<int32_t>(t.left_to_left),
          static_cast<int32_t>(t.left_to_right), static_cast<int32_t>(t.right_to_left),
          static_cast<int32_t>(t.right_to_right)};
}

void ScriptHost::SetSoundTransform(avm1::ClipLink* owner, const avm1::SoundTransformValues& v) {
  if (sound == nullptr) return;
  sound->Mixer().SetTransform(OwnerKey(owner),
                              {double(v.volume), double(v.left_to_left), double(v.left_to_right),
                               double(v.right_to_left), double(v.right_to_right)});
}

}  // namespace lumen::stage
