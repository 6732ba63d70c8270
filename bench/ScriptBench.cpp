// Prints the script engine's figure: a movie of 500 clips made by script, each moved from its own
// onEnterFrame (reads and writes of _x, _y, _rotation and _alpha, a function call and a string
// built per clip), and a root onEnterFrame that gathers 100 positions into an Array, sorts it
// with a compare function and builds a status line. The stage plays it natively, nothing drawn.
// Advance() is timed against the goal; building the draw list is timed apart, for the share of
// a frame that is script.
//   bench_script [FRAMES]

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "authoring/ActionWriter.h"
#include "authoring/SwfWriter.h"
#include "avm1/ClipObject.h"
#include "bench/CpuClock.h"
#include "movie/Movie.h"
#include "stage/Stage.h"

namespace {

using lumen::bench::CpuMs;
using lumen::bench::MedianOf;

using namespace lumen::authoring;
using Clock = std::chrono::steady_clock;

constexpr int kClips = 500;
constexpr int kSorted = 100;  // positions gathered and sorted each frame
constexpr int kWarmUp = 20;
constexpr double kGoalMs = 2;

// Clip i starts at column i % 25, row i / 25 and moves right by i % 5 + 1 pixels a frame.
double StartX(int i) {
  return i % 25 * 20;
}
double Speed(int i) {
  return i % 5 + 1;
}

Bytes ScriptMovie() {
  // wave(t): a saw tooth of -20..19.
  ActionWriter wave;
  wave.Push({Register{1}, 40.0}).Op(kModulo).Push({20.0}).Op(kSubtract).Op(kReturn);
  ActionWriter by_value;  // the sort's compare function
  by_value.Push({Register{1}, Register{2}}).Op(kSubtract).Op(kReturn);

  // Each clip's onEnterFrame, with `this` in register 1.
  const Register self{1};
  ActionWriter mover;
  mover.Load("this").StoreRegister(1).Op(kPop);
  mover.SetMember(self, "_x", [&](ActionWriter& v) {
    v.GetMember(self, "_x").GetMember(self, "vx").Op(kAdd2).Push({550.0}).Op(kModulo);
  });
  mover.SetMember(self, "_y", [&](ActionWriter& v) {
    v.GetMember(self, "_y");
    v.Load("ticks").GetMember(self, "phase").Op(kAdd2).CallFunction("wave", 1);
    v.Push({10.0}).Op(kDivide).Op(kAdd2);
  });
  mover.SetMember(self, "_rotation",
                  [&](ActionWriter& v) { v.GetMember(self, "_rotation").Push({5.0}).Op(kAdd2); });
  mover.SetMember(self, "_alpha", [&](ActionWriter& v) {
    v.Push({40.0}).Load("ticks").GetMember(self, "phase").Op(kAdd2);
    v.Push({60.0}).Op(kModulo).Op(kAdd2);
  });
  mover.SetMember(self, "label", [&](ActionWriter& v) {
    v.GetMember(self, "_name").Push({"@"}).Op(kAdd2).GetMember(self, "_x").Op(kAdd2);
  });

  // The root's onEnterFrame: the array in register 1, its index in register 2.
  ActionWriter tick;
  tick.SetVariable("ticks", [](ActionWriter& v) { v.Load("ticks").Op(kIncrement); });
  tick.Push({0.0, "Array"}).Op(kNewObject).StoreRegister(1).Op(kPop);
  tick.Push({0.0}).StoreRegister(2).Op(kPop);
  tick.Label("gather").Push({Register{2}, static_cast<double>(kSorted)}).Op(kLess2).Op(kNot);
  tick.If("sort");
  tick.Push({Register{1}, Register{2}}).Load("_root");
  tick.Push({"c", Register{2}, 5.0}).Op(kMultiply).Op(kAdd2).Op(kGetMember);
  tick.Push({"_x"}).Op(kGetMember).Op(kSetMember);
  tick.Push({Register{2}}).Op(kIncrement).StoreRegister(2).Op(kPop).Jump("gather");
  tick.Label("sort").Load("byValue").CallMethod(Register{1}, "sort", 1).Op(kPop);
  tick.SetVariable("status", [](ActionWriter& v) {
    v.Push({"frame "}).Load("ticks").Op(kAdd2).Push({": "}).Op(kAdd2);
    v.Push({Register{1}, 0.0}).Op(kGetMember).Op(kAdd2).Push({".."}).Op(kAdd2);
    v.Push({Register{1}, static_cast<double>(kSorted - 1)}).Op(kGetMember).Op(kAdd2);
  });

  ActionWriter frame;
  frame.DefineFunction("wave", 1, wave).DefineFunction("byValue", 2, by_value);
  frame.DefineFunction("mover", 0, mover).DefineFunction("tick", 0, tick);
  frame.SetVariable("ticks", [](ActionWriter& v) { v.Push({0.0}); });
  frame.SetVariable("i", [](ActionWriter& v) { v.Push({0.0}); });
  frame.Label("next").Load("i").Push({static_cast<double>(kClips)}).Op(kLess2).Op(kNot);
  frame.If("done");
  frame.SetVariable("mc", [](ActionWriter& v) {
    v.Load("i").Push({"c"}).Load("i").Op(kAdd2).CallMethod("this", "createEmptyMovieClip", 2);
  });
  // An 8-pixel square, so the draw list has something in every clip.
  frame.Push({100.0, static_cast<double>(0xC04020)}).CallMethod("mc", "beginFill", 2).Op(kPop);
  frame.Push({0.0, 0.0}).CallMethod("mc", "moveTo", 2).Op(kPop);
  for (const auto& [x, y] : {std::pair{8.0, 0.0}, {8.0, 8.0}, {0.0, 8.0}, {0.0, 0.0}}) {
    frame.Push({y, x}).CallMethod("mc", "lineTo", 2).Op(kPop);
  }
  frame.CallMethod("mc", "endFill", 0).Op(kPop);
  frame.SetMember("mc", "_x", [](ActionWriter& v) {
    v.Load("i").Push({25.0}).Op(kModulo).Push({20.0}).Op(kMultiply);
  });
  frame.SetMember("mc", "_y", [](ActionWriter& v) {
    v.Load("i").Push({25.0}).Op(kDivide).Op(kToInteger).Push({15.0}).Op(kMultiply);
  });
  frame.SetMember("mc", "vx", [](ActionWriter& v) {
    v.Load("i").Push({5.0}).Op(kModulo).Push({1.0}).Op(kAdd2);
  });
  frame.SetMember("mc", "phase", [](ActionWriter& v) { v.Load("i"); });
  frame.SetMember("mc", "onEnterFrame", [](ActionWriter& v) { v.Load("mover"); });
  frame.SetVariable("i", [](ActionWriter& v) { v.Load("i").Op(kIncrement); });
  frame.Jump("next");
  frame.Label("done");
  frame.SetMember("this", "onEnterFrame", [](ActionWriter& v) { v.Load("tick"); });
  frame.Op(kStop);

  Bytes tags;
  SetBackgroundColor(tags, {20, 30, 60});
  DoAction(tags, frame.Finish());
  ShowFrame(tags);
  End(tags);
  MovieSpec spec;
  spec.version = 8;
  spec.x_max = 550 * 20;
  spec.y_max = 400 * 20;
  return BuildMovie(spec, tags);
}

// Why the scripts did not do their work, or empty when they did: every clip and the root ran
// their onEnterFrame once a frame.
std::string Verify(lumen::stage::Stage& stage, int frames) {
  lumen::avm1::Vm& vm = stage.Scripts().Engine();
  lumen::avm1::Object* root = stage.Root().ScriptObject();
  const double ticks = vm.ToNumber(vm.Get(root, "ticks"));
  if (ticks != frames) {
    return "the root's onEnterFrame ran " + std::to_string(ticks) + " times in " +
           std::to_string(frames) + " frames";
  }
  for (const int i : {0, 7, kClips - 1}) {
    auto* clip = stage.Root().Child("c" + std::to_string(i), true);
    if (!clip) return "no clip c" + std::to_string(i);
    const double x = clip->Get(lumen::avm1::ClipProperty::X);
    const double expected = std::fmod(StartX(i) + Speed(i) * frames, 550);
    if (x != expected) {
      return "c" + std::to_string(i) + "._x is " + std::to_string(x) + ", not " +
             std::to_string(expected);
    }
  }
  const std::string status = vm.ToString(vm.Get(root, "status"));
  const std::string head = "frame " + std::to_string(frames) + ": ";
  const size_t dots = status.find("..");
  if (status.rfind(head, 0) != 0 || dots == std::string::npos) return "status is " + status;
  const double low = std::atof(status.c_str() + head.size());
  const double high = std::atof(status.c_str() + dots + 2);
  if (!(low <= high)) return "the array was not sorted: " + status;
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
  const Bytes file = ScriptMovie();
  const auto loaded = lumen::movie::LoadMovie(file);
  if (!loaded.movie) {
    std::fprintf(stderr, "bench_script: the movie does not load: %s\n", loaded.error.c_str());
    return 1;
  }
  lumen::stage::Stage stage(loaded.movie);
  lumen::render::RenderList list;
  std::vector<double> advance, advance_wall, draw_list;
  double clock = 0;
  for (int i = -kWarmUp; i < frames; ++i) {
    clock += 1000.0 / 24;
    stage.SetClock(clock);
    const auto start = Clock::now();
    const double cpu_start = CpuMs();
    stage.Advance();
    const double cpu_advanced = CpuMs();
    const auto advanced = Clock::now();
    stage.BuildRenderList(list);
    const double cpu_listed = CpuMs();
    if (i >= 0) {
      advance.push_back(cpu_advanced - cpu_start);
      advance_wall.push_back(std::chrono::duration<double, std::milli>(advanced - start).count());
      draw_list.push_back(cpu_listed - cpu_advanced);
    }
  }
  const std::string fault = Verify(stage, kWarmUp + frames);
  if (!fault.empty()) {
    std::fprintf(stderr, "bench_script: the scripts did not run as written: %s\n", fault.c_str());
    return 1;
  }
  if (list.commands.size() < kClips) {
    std::fprintf(stderr, "bench_script: the draw list holds %zu commands for %d clips\n",
                 list.commands.size(), kClips);
    return 1;
  }

  const double ms = MedianOf(advance), list_ms = MedianOf(draw_list);
  std::printf("script %d clips with onEnterFrame, Array sort of %d, %d frames after %d warm-up\n",
              kClips, kSorted, frames, kWarmUp);
  std::printf("  ms_per_frame=%.2f goal=%.1f %s (wall: median %.2f, best %.2f)\n", ms, kGoalMs,
              ms <= kGoalMs ? "met" : "MISSED", MedianOf(advance_wall),
              *std::min_element(advance_wall.begin(), advance_wall.end()));
  std::printf("  draw_list_ms=%.2f script_share=%.0f%% (of Advance() and the draw list)\n", list_ms,
              100 * ms / (ms + list_ms));
  std::printf("  (ms figures are processor time of one core, median over the frames)\n");
  return 0;
}
