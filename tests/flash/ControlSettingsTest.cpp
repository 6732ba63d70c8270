#include "flash/ControlSettings.h"

#include <gtest/gtest.h>

namespace lumen::flash {
namespace {

TEST(ControlSettings, DefaultsAreTheControlsOwn) {
  const ControlSettings settings;
  EXPECT_TRUE(settings.playing);
  EXPECT_TRUE(settings.loop);
  EXPECT_TRUE(settings.menu);
  EXPECT_EQ(settings.quality, ControlSettings::Quality::High);
  EXPECT_EQ(settings.scale, ScaleMode::ShowAll);
  EXPECT_EQ(settings.align, 0);
  EXPECT_EQ(settings.background, -1);
  EXPECT_EQ(settings.wmode, L"Window");
}

TEST(ControlSettings, TextFormsRoundTripAndRejectUnknownText) {
  for (int i = 0; i <= 5; ++i) {
    const auto quality = static_cast<ControlSettings::Quality>(i);
    EXPECT_EQ(ParseQuality(QualityName(quality)), quality);
  }
  EXPECT_EQ(ParseQuality(L"high"), ControlSettings::Quality::High);
  EXPECT_EQ(ParseQuality(L"Higher"), std::nullopt);
  EXPECT_EQ(ParseQuality(L""), std::nullopt);
  for (int i = 0; i <= 3; ++i) {
    EXPECT_EQ(ParseScale(ScaleName(static_cast<ScaleMode>(i))), static_cast<ScaleMode>(i));
  }
  EXPECT_EQ(ParseScale(L"SHOWALL"), ScaleMode::ShowAll);
  EXPECT_EQ(ParseScale(L"Show All"), std::nullopt);
}

TEST(ControlSettings, AlignTextAndBits) {
  const struct {
    const wchar_t* text;
    int32_t bits;
    const wchar_t* name;
  } cases[] = {
      {L"", 0, L""},
      {L"T", kAlignTop, L"T"},
      {L"lt", kAlignLeft | kAlignTop, L"TL"},
      {L"BR", kAlignBottom | kAlignRight, L"BR"},
      {L"x?R", kAlignRight, L"R"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseAlign(c.text), c.bits) << c.bits;
    EXPECT_EQ(AlignName(c.bits), c.name);
  }
}

TEST(ControlSettings, ColoursNeedSixHexDigits) {
  EXPECT_EQ(ParseColor(L"#FF8000"), 0xFF8000);
  EXPECT_EQ(ParseColor(L"00ff01"), 0x00FF01);
  EXPECT_EQ(ParseColor(L"#FF800"), std::nullopt);
  EXPECT_EQ(ParseColor(L"#FF80000"), std::nullopt);
  EXPECT_EQ(ParseColor(L"#GG8000"), std::nullopt);
  EXPECT_EQ(ParseColor(L""), std::nullopt);
  EXPECT_EQ(ColorName(0x0A0B0C), L"#0A0B0C");
  EXPECT_EQ(ColorName(-1), L"");
}

}  // namespace
}  // namespace lumen::flash
