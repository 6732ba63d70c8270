#include "flash/ControlMenu.h"

namespace lumen::flash {
namespace {

using Quality = ControlSettings::Quality;

bool IsLow(Quality q) {
  return q == Quality::Low || q == Quality::AutoLow;
}
bool IsHigh(Quality q) {
  return q == Quality::High || q == Quality::AutoHigh || q == Quality::Best;
}

}  // namespace

std::vector<MenuItem> ControlMenuItems(const MenuState& state) {
  std::vector<MenuItem> items;
  const MenuItem separator{};
  if (state.full) {
    items.push_back({MenuCommand::ZoomIn, L"Zoom In"});
    items.push_back({MenuCommand::ZoomOut, L"Zoom Out", state.zoomed});
    items.push_back({MenuCommand::ShowAll, L"Show All", state.zoomed, !state.zoomed});
    items.push_back(separator);
    items.push_back({MenuCommand::QualityLow, L"Low Quality", true, IsLow(state.quality)});
    items.push_back(
        {MenuCommand::QualityMedium, L"Medium Quality", true, state.quality == Quality::Medium});
    items.push_back({MenuCommand::QualityHigh, L"High Quality", true, IsHigh(state.quality)});
    if (state.frame_count > 1) {
      const bool not_first = state.frame > 0, not_last = state.frame + 1 < state.frame_count;
      items.push_back(separator);
      items.push_back({MenuCommand::Play, L"Play", true, state.playing});
      items.push_back({MenuCommand::Loop, L"Loop", true, state.loop});
      items.push_back(separator);
      items.push_back({MenuCommand::Rewind, L"Rewind", not_first});
      items.push_back({MenuCommand::Forward, L"Forward", not_last});
      items.push_back({MenuCommand::Back, L"Back", not_first});
    }
    items.push_back(separator);
  }
  items.push_back({MenuCommand::About, L"About Lumenreel..."});
  return items;
}

}  // namespace lumen::flash
