#pragma once

// A script engine without a stage, for testing the interpreter and the built-in classes: trace
// lines are collected and the clock is set by the test.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "avm1/Vm.h"

namespace lumen::avm1::testing {

class TestBridge final : public StageBridge {
 public:
  virtual ~TestBridge() = default;
  void Trace(std::string_view line) override { lines.emplace_back(line); }
  double Timer() override { return now_ms; }
  ClipLink* LevelRoot(int) override { return nullptr; }
  double StageWidth() override { return 550; }
  double StageHeight() override { return 400; }
  double MouseX() override { return 0; }
  double MouseY() override { return 0; }
  void GetUrl(std::string_view url, std::string_view) override { urls.emplace_back(url); }
  void LoadMovie(std::string_view url, ClipLink*, int, uint32_t) override {
    urls.emplace_back(url);
  }
  void StopSounds() override {}
  void ToggleQuality() override {}
  std::string Quality() override { return "HIGH"; }
  void SetQuality(std::string_view) override {}
  size_t BytesLoaded(ClipLink*) override { return 0; }
  size_t BytesTotal(ClipLink*) override { return 0; }
  std::string Url() override { return "file:///test.swf"; }
  TextExtent MeasureText(const FormatValues&, std::string_view text, double) override {
    return {static_cast<double>(text.size()) * 10, 20, 16, 4};  // ten pixels a character
  }
  uint32_t ExportedSound(std::string_view) override { return 0; }
  uint32_t LoadSound(std::string_view) override { return 0; }
  std::optional<double> SoundDuration(uint32_t) override { return std::nullopt; }
  std::optional<size_t> SoundFileBytes(uint32_t) override { return std::nullopt; }
  uint64_t StartSound(uint32_t, ClipLink*, double, int) override { return 0; }
  void StopSound(ClipLink*, uint32_t) override {}
  std::optional<double> SoundPosition(uint64_t) override { return std::nullopt; }
  SoundTransformValues SoundTransform(ClipLink*) override { return {}; }
  void SetSoundTransform(ClipLink*, const SoundTransformValues&) override {}
  std::optional<std::string> ReadMovieFile(std::string_view name) override {
    const auto it = files.find(std::string(name));
    if (it == files.end()) return std::nullopt;
    return it->second;
  }

  std::vector<std::string> lines;
  void VariablesLoaded(ClipLink&) override { ++variables_loaded; }
  std::map<std::string, std::string> files;  // what ReadMovieFile finds, by name
  std::vector<std::string> urls;
  double now_ms = 0;
  int variables_loaded = 0;
};

// Calls a global function or constructor by name: Global("parseInt", {vm.Str("12")}).
inline Value CallGlobal(Vm& vm, std::string_view name, std::vector<Value> args) {
  return vm.Call(vm.Get(vm.Global(), name), Value(), args);
}
inline Value New(Vm& vm, std::string_view name, std::vector<Value> args) {
  return vm.Construct(vm.Get(vm.Global(), name), args);
}
inline std::string Text(Vm& vm, const Value& v) {
  return vm.ToString(v);
}

}  // namespace lumen::avm1::testing
