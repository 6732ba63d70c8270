// Movies with frame scripts and clip events, played by the stage as a slideshow host plays them:
// where the timeline goes, what the draw list shows, what trace prints, and how runaway scripts
// are stopped without stopping the movie.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "authoring/ActionWriter.h"
#include "authoring/FontEmbedder.h"
#include "authoring/Slideshow.h"
#include "authoring/SwfWriter.h"
#include "authoring/TextWriter.h"
#include "stage/ScriptHost.h"
#include "stage/Stage.h"
#include "tests/movie/MovieTestUtil.h"
#include "tests/text/TextTestUtil.h"

namespace lumen::stage {
namespace {

namespace aw = authoring;
using aw::ActionWriter;
using aw::Bytes;
using Lines = std::vector<std::string>;

// Runs a movie with every trace line collected from the first frame on.
class ScriptedMovie {
 public:
  explicit ScriptedMovie(Bytes tags, avm1::VmLimits limits = {}, uint8_t version = 10) {
    ScriptSetup setup;
    setup.limits = limits;
    setup.trace = [this](std::string_view line) { lines.emplace_back(line); };
    stage = std::make_unique<Stage>(movie::testing::Load(std::move(tags), false, version), true,
                                    codec::DecodeBudget::kDefaultTotal, std::move(setup));
  }
  const char* LastAbort() { return stage->Scripts().Engine().LastAbort(); }

  Lines lines;
  std::unique_ptr<Stage> stage;
};

ActionWriter& Trace(ActionWriter& a, const std::string& text) {
  return a.Push({text}).Op(aw::kTrace);
}

void Frame(Bytes& tags, const ActionWriter& script) {
  aw::DoAction(tags, script.Finish());
  aw::ShowFrame(tags);
}

// Shape 1, and sprite 2 showing it.
void BoxSprite(Bytes& tags) {
  aw::ShapeWriter shape(3);
  shape.Select(-1, shape.AddSolidFill({0, 0, 255, 255}));
  shape.Rectangle(0, 0, 200, 200);
  const Bytes tag = shape.Tag(1, 0, 200, 0, 200);
  tags.insert(tags.end(), tag.begin(), tag.end());
  Bytes sprite;
  aw::PlaceObject(sprite, 1, 1);
  aw::ShowFrame(sprite);
  aw::End(sprite);
  aw::DefineSprite(tags, 2, 1, sprite);
}

aw::PlaceSpec BoxPlace() {
  aw::PlaceSpec place;
  place.depth = 1;
  place.character = 2;
  place.name = "box";
  return place;
}

// --- What the timeline does -------------------------------------------------------------

// Pushes the bytes loaded and the bytes total of the movie, in one of the two ways preloaders
// ask for them.
enum class Ask { ClipMethods, FrameProperties };

void PushProgress(ActionWriter& a, Ask ask, bool total) {
  if (ask == Ask::ClipMethods) {
    a.Push({0.0, std::string("_root")}).Op(aw::kGetVariable);
    a.Push({std::string(total ? "getBytesTotal" : "getBytesLoaded")}).Op(aw::kCallMethod);
  } else {
    a.Push({std::string(), total ? 5.0 : 12.0})
        .Op(aw::kGetProperty);  // _totalframes, _framesloaded
  }
}

class Preloader : public ::testing::TestWithParam<Ask> {};

// Frame 1: if (total > 0 && loaded >= total) gotoAndPlay(3). Frame 2: gotoAndPlay(1). The show
// is frames 3 and 4, which stops. A wrong answer keeps the movie between frames 1 and 2.
TEST_P(Preloader, GoesOnToTheShowOnceEverythingIsLoaded) {
  ActionWriter check;
  PushProgress(check, GetParam(), true);
  check.Push({0.0}).Op(aw::kGreater).Op(aw::kNot).If("wait");
  PushProgress(check, GetParam(), false);
  PushProgress(check, GetParam(), true);
  check.Op(aw::kLess2).If("wait");
  check.GotoFrame(2).Op(aw::kPlay);
  check.Label("wait");
  Bytes tags;
  Frame(tags, check);
  Frame(tags, ActionWriter().GotoFrame(0).Op(aw::kPlay));
  ActionWriter show3, show4;
  Frame(tags, Trace(show3, "show 3"));
  Frame(tags, Trace(show4, "show 4").Op(aw::kStop));
  ScriptedMovie m(std::move(tags));
  for (int tick = 0; tick < 3 && m.stage->CurrentFrame() < 3; ++tick) m.stage->Advance();
  EXPECT_EQ(m.stage->CurrentFrame(), 3u);
  m.stage->Advance();
  m.stage->Advance();
  EXPECT_EQ(m.stage->CurrentFrame(), 4u);
  EXPECT_EQ(m.lines, (Lines{"show 3", "show 4"}));
}

INSTANTIATE_TEST_SUITE_P(ScriptPlayback, Preloader,
                         ::testing::Values(Ask::ClipMethods, Ask::FrameProperties));

TEST(ScriptPlayback, StopInTheLastFrameHoldsItWithoutRerunningItsScript) {
  Bytes tags;
  for (int frame = 1; frame <= 3; ++frame) {
    ActionWriter a;
    Trace(a, "frame " + std::to_string(frame));
    if (frame == 3) a.Op(aw::kStop);
    Frame(tags, a);
  }
  ScriptedMovie m(std::move(tags));
  for (int tick = 0; tick < 6; ++tick) m.stage->Advance();
  EXPECT_EQ(m.stage->CurrentFrame(), 3u);
  EXPECT_FALSE(m.stage->Playing());
  EXPECT_EQ(m.lines, (Lines{"frame 1", "frame 2", "frame 3"}));
}

// gotoAndPlay(2) in frame 4 takes effect before frame 4 is shown: the stage shows 1, 2, 3, 2,
// 3, ... while every frame's script, the fourth's included, runs in order.
TEST(ScriptPlayback, GotoAndPlayFromTheLastFrameLoopsBackToFrameTwo) {
  Bytes tags;
  for (int frame = 1; frame <= 4; ++frame) {
    ActionWriter a;
    Trace(a, std::to_string(frame));
    if (frame == 4) a.GotoFrame(1).Op(aw::kPlay);
    Frame(tags, a);
  }
  ScriptedMovie m(std::move(tags));
  std::vector<size_t> shown = {m.stage->CurrentFrame()};
  for (int tick = 0; tick < 6; ++tick) {
    m.stage->Advance();
    shown.push_back(m.stage->CurrentFrame());
  }
  EXPECT_EQ(shown, (std::vector<size_t>{1, 2, 3, 2, 3, 2, 3}));
  EXPECT_EQ(m.lines, (Lines{"1", "2", "3", "4", "2", "3", "4", "2", "3"}));
  EXPECT_TRUE(m.stage->Playing());
}

// A sprite of two frames tracing its frame number loops only when its tag list closes with End:
// one cut short never finishes loading and waits on its last frame.
TEST(ScriptPlayback, OnlyASpriteClosedByEndLoops) {
  for (const bool closed : {true, false}) {
    Bytes sprite;
    for (int frame = 1; frame <= 2; ++frame) {
      ActionWriter a;
      Frame(sprite, Trace(a, std::to_string(frame)));
    }
    if (closed) aw::End(sprite);
    Bytes tags;
    aw::DefineSprite(tags, 2, 2, sprite);
    aw::PlaceSpec place;
    place.depth = 1;
    place.character = 2;
    aw::PlaceObject2(tags, place);
    aw::ShowFrame(tags);
    ScriptedMovie m(std::move(tags));
    for (int tick = 0; tick < 3; ++tick) m.stage->Advance();
    EXPECT_EQ(m.lines, closed ? (Lines{"1", "2", "1", "2"}) : (Lines{"1", "2"})) << closed;
  }
}

// box.onEnterFrame = function () { this._alpha -= 10; }; stop();
TEST(ScriptPlayback, OnEnterFrameFadesAClipInTheDrawList) {
  ActionWriter fade;
  fade.Push({std::string("this")}).Op(aw::kGetVariable).Push({std::string("_alpha")});
  fade.Push({std::string("this")}).Op(aw::kGetVariable).Push({std::string("_alpha")});
  fade.Op(aw::kGetMember).Push({10.0}).Op(aw::kSubtract).Op(aw::kSetMember);
  ActionWriter script;
  script.Push({std::string("box")}).Op(aw::kGetVariable).Push({std::string("onEnterFrame")});
  script.DefineFunction("", 0, fade).Op(aw::kSetMember).Op(aw::kStop);
  Bytes tags;
  BoxSprite(tags);
  aw::PlaceObject2(tags, BoxPlace());
  Frame(tags, script);
  ScriptedMovie m(std::move(tags));

  render::RenderList list;
  auto alpha = [&] {
    m.stage->BuildRenderList(list);
    float a = -1;
    int draws = 0;
    for (const render::RenderCommand& c : list.commands) {
      if (c.kind != render::RenderCommand::Kind::DrawShape) continue;
      ++draws;
      a = c.cxform.mul_a + c.cxform.add_a / 255.0f;
    }
    EXPECT_EQ(draws, 1);
    return a;
  };
  EXPECT_FLOAT_EQ(alpha(), 1.0f);
  // Each step is kept in 8.8 fixed point, cut toward zero: the fade drifts below the tenths.
  double expected = 1;
  for (int tick = 1; tick <= 5; ++tick) {
    m.stage->Advance();
    expected = std::trunc((expected * 100 - 10) * 2.56) / 256;
    EXPECT_NEAR(alpha(), expected, 1e-6) << "tick " << tick;
  }
  EXPECT_LT(expected, 0.5);
  EXPECT_EQ(m.stage->CurrentFrame(), 1u);
}

// box.duplicateMovieClip("copy", box.getDepth()): the copy takes the original's place.
TEST(ScriptPlayback, AClipDuplicatedIntoItsOwnDepthIsReplacedByTheCopy) {
  ActionWriter script;
  script.CallMethod("box", "getDepth", 0).Push({std::string("copy")});
  script.CallMethod("box", "duplicateMovieClip", 2).Op(aw::kPop);
  script.Push({std::string("box")}).Op(aw::kGetVariable).Op(aw::kTypeOf).Op(aw::kTrace);
  script.Push({std::string("copy")}).Op(aw::kGetVariable).Push({std::string("_name")});
  script.Op(aw::kGetMember).Op(aw::kTrace).Op(aw::kStop);
  Bytes tags;
  BoxSprite(tags);
  aw::PlaceObject2(tags, BoxPlace());
  Frame(tags, script);
  ScriptedMovie m(std::move(tags));
  EXPECT_EQ(m.lines, (Lines{"undefined", "copy"}));
}

// A variable holding a removed clip reaches nothing, until a clip of the same name takes its
// place: then it reaches that one, and equals it.
TEST(ScriptPlayback, ARemovedClipStandsForTheClipThatTakesItsPath) {
  auto make = [](double depth) {
    return [depth](ActionWriter& a) {
      a.Push({depth, std::string("held")}).CallMethod("_root", "createEmptyMovieClip", 2);
    };
  };
  ActionWriter script;
  script.SetVariable("held", make(1));
  script.SetMember("held", "tag", [](ActionWriter& a) { a.Push({std::string("old")}); });
  script.CallMethod("held", "removeMovieClip", 0).Op(aw::kPop);
  script.GetMember("held", "tag").Op(aw::kTypeOf).Op(aw::kTrace);
  make(2)(script);
  script.Load("held").Op(aw::kEquals2).Op(aw::kTrace);
  script.CallMethod("held", "getDepth", 0).Op(aw::kTrace);
  script.GetMember("held", "tag").Op(aw::kTypeOf).Op(aw::kTrace).Op(aw::kStop);
  Bytes tags;
  Frame(tags, script);
  ScriptedMovie m(std::move(tags));
  EXPECT_EQ(m.lines, (Lines{"undefined", "true", "2", "undefined"}));
}

// MovieClip.prototype.onConstruct hears each clip made, before the call that made it returns;
// what it throws ends it alone, and the log tells of it.
TEST(ScriptPlayback, OnConstructHearsAClipMadeByScriptAtOnce) {
  ActionWriter body;
  body.GetMember("this", "_name").Op(aw::kTrace);
  body.Push({std::string("thrown")}).Op(0x2A);  // Throw
  ActionWriter script;
  script.GetMember("MovieClip", "prototype").Push({std::string("onConstruct")});
  script.DefineFunction("", 0, body).Op(aw::kSetMember);
  script.Push({1.0, std::string("made")}).CallMethod("_root", "createEmptyMovieClip", 2);
  script.Op(aw::kPop);
  Trace(script, "after").Op(aw::kStop);
  Bytes tags;
  Frame(tags, script);
  ScriptedMovie m(std::move(tags));
  EXPECT_EQ(m.lines, (Lines{"made", "Warning: Uncaught exception, thrown", "after"}));
}

// SetTarget2 finds its clip by a path whose parts a colon may also separate, and an empty
// path goes back to the script's own clip. From version 7 a target that is not there is no
// clip to talk to, but names are still looked up in the script's own clip.
TEST(ScriptPlayback, SetTarget2FindsItsClipByPathOrGoesBackToItsOwn) {
  ActionWriter script;
  auto target = [&script](const std::string& path) {
    script.Push({path}).Op(0x20);  // SetTarget2
    script.Push({std::string("_target")}).Op(aw::kGetVariable).Op(aw::kTrace);
  };
  script.Push({1.0, std::string("kid")}).CallMethod("_root", "createEmptyMovieClip", 2);
  script.Op(aw::kPop).SetVariable("o", [](ActionWriter& a) { a.Push({0.0}).Op(aw::kInitObject); });
  script.SetMember("o", "t", [](ActionWriter& a) { a.Load("kid"); });
  target("o:t");
  target("");
  target("nowhere");
  script.Push({std::string(), 11.0}).Op(aw::kGetProperty).Op(aw::kTypeOf).Op(aw::kTrace);
  script.Op(aw::kStop);
  Bytes tags;
  Frame(tags, script);
  ScriptedMovie m(std::move(tags));
  EXPECT_EQ(m.lines, (Lines{"/kid", "/", "/", "undefined"}));
}

// Inside `with`, an assignment goes to the object only for names it has itself; inherited
// ones go on to the timeline. The chain holds 15 links, so at most 13 `with`s nest in a frame
// script (the clip and the globals take two); one more is skipped, body and all.
TEST(ScriptPlayback, WithTakesItsOwnNamesAndNestsThirteenDeep) {
  auto init = [](ActionWriter& a) { a.Push({0.0}).Op(aw::kInitObject); };
  auto text = [](const char* t) { return [t](ActionWriter& a) { a.Push({std::string(t)}); }; };
  ActionWriter script;
  script.SetVariable("proto", init).SetMember("proto", "x", text("inherited"));
  script.SetVariable("obj", init).SetMember("obj", "own", text("old"));
  script.SetMember("obj", "__proto__", [](ActionWriter& a) { a.Load("proto"); });
  ActionWriter assign;
  assign.SetVariable("x", text("set")).SetVariable("own", text("new"));
  script.Load("obj").With(assign);
  script.GetMember("obj", "x").Op(aw::kTrace).GetMember("obj", "own").Op(aw::kTrace);
  script.Push({std::string("x")}).Op(aw::kGetVariable).Op(aw::kTrace);
  ActionWriter nested;
  for (int level = 14; level >= 1; --level) {
    ActionWriter body;
    Trace(body, std::to_string(level));
    if (level < 14) body.Load("obj").With(nested);
    nested = body;
  }
  script.Load("obj").With(nested).Op(aw::kStop);
  Bytes tags;
  Frame(tags, script);
  ScriptedMovie m(std::move(tags));
  Lines expected{"inherited", "new", "set"};
  for (int level = 1; level <= 13; ++level) expected.push_back(std::to_string(level));
  EXPECT_EQ(m.lines, expected);
}

// A drawing's bounds grow by its segments, not by moves alone, and a line pads them by its
// whole width; a clip with nothing in it reports the largest twip count there is.
TEST(ScriptPlayback, DrawnBoundsGrowBySegmentsPaddedByTheLineWidth) {
  ActionWriter script;
  auto bounds = [&script] {
    script.CallMethod("d", "getBounds", 0).Push({std::string("xMin")});
    script.Op(aw::kGetMember).Op(aw::kTrace);
  };
  script.SetVariable("d", [](ActionWriter& a) {
    a.Push({1.0, std::string("d")}).CallMethod("_root", "createEmptyMovieClip", 2);
  });
  script.Push({100.0, 0.0, 20.0}).CallMethod("d", "lineStyle", 3).Op(aw::kPop);
  script.Push({100.0, 100.0}).CallMethod("d", "moveTo", 2).Op(aw::kPop);
  bounds();
  script.Push({200.0, 200.0}).CallMethod("d", "lineTo", 2).Op(aw::kPop);
  bounds();
  script.GetMember("d", "_width").Op(aw::kTrace).Op(aw::kStop);
  Bytes tags;
  Frame(tags, script);
  ScriptedMovie m(std::move(tags));
  EXPECT_EQ(m.lines, (Lines{"6710886.4", "80", "140"}));
}

// blendMode reads back by name and takes a name or a number; scrollRect shows a part of the clip
// moved to its origin, inside a mask of its size, and sizes the clip; opaqueBackground fills the
// clip's bounds under it.
TEST(ScriptPlayback, BlendModeScrollRectAndOpaqueBackgroundShowInTheDrawList) {
  ActionWriter script;
  auto blend = [&script](const aw::ActionValue& mode) {
    script.SetMember("box", "blendMode", [&](ActionWriter& a) { a.Push({mode}); });
    script.GetMember("box", "blendMode").Op(aw::kTrace);
  };
  blend(std::string("multiply"));
  blend(9.0);
  blend(std::string("bogus"));
  script.SetMember("box", "scrollRect", [](ActionWriter& a) {
    a.Push({std::string("x"), 4.0, std::string("y"), 0.0, std::string("width"), 5.0,
            std::string("height"), 10.0, 4.0});
    a.Op(aw::kInitObject);
  });
  script.GetMember("box", "_width").Op(aw::kTrace);
  script.SetMember("box", "opaqueBackground", [](ActionWriter& a) { a.Push({255.0}); });
  script.GetMember("box", "opaqueBackground").Op(aw::kTrace).Op(aw::kStop);
  Bytes tags;
  BoxSprite(tags);
  aw::PlaceObject2(tags, BoxPlace());
  Frame(tags, script);
  ScriptedMovie m(std::move(tags));
  EXPECT_EQ(m.lines, (Lines{"multiply", "subtract", "subtract", "5", "255"}));

  using Kind = render::RenderCommand::Kind;
  render::RenderList list;
  m.stage->BuildRenderList(list);
  std::vector<Kind> kinds;
  for (const render::RenderCommand& c : list.commands) kinds.push_back(c.kind);
  // The layer of the blend mode, the background, the scroll rectangle's mask, the moved box.
  ASSERT_EQ(kinds,
            (std::vector<Kind>{Kind::BeginLayer, Kind::DrawShape, Kind::BeginMask, Kind::DrawShape,
                               Kind::EndMask, Kind::DrawShape, Kind::PopMask, Kind::EndLayer}));
  EXPECT_EQ(list.commands[7].blend, render::BlendMode::Subtract);
  EXPECT_FLOAT_EQ(list.commands[3].shape->bounds.x_max, 100);  // 5 pixels wide
  EXPECT_FLOAT_EQ(list.commands[5].matrix.tx, -80);            // moved 4 pixels left
  EXPECT_FLOAT_EQ(list.commands[1].shape->bounds.x_max, 100);  // the bounds the clip shows
}

// scale9Grid reads the definition's grid in pixels; a rectangle set by script replaces it, and
// anything else removes it, so the box draws its own shape again.
TEST(ScriptPlayback, Scale9GridReadsAndReplacesTheDefinitionsGrid) {
  ActionWriter script;
  auto trace_grid = [&script](const char* field) {
    script.GetMember("box", "scale9Grid").Push({std::string(field)}).Op(aw::kGetMember);
    script.Op(aw::kTrace);
  };
  trace_grid("x");
  trace_grid("width");
  script.SetMember("box", "scale9Grid", [](ActionWriter& a) {
    a.Push({std::string("x"), 2.0, std::string("y"), 3.0, std::string("width"), 4.0,
            std::string("height"), 5.0, 4.0});
    a.Op(aw::kInitObject);
  });
  trace_grid("y");
  trace_grid("height");
  script.SetMember("box", "scale9Grid", [](ActionWriter& a) { a.Push({aw::Undefined{}}); });
  script.GetMember("box", "scale9Grid").Op(aw::kTrace).Op(aw::kStop);
  Bytes tags;
  BoxSprite(tags);
  aw::DefineScalingGrid(tags, 2, 20, 180, 40, 160);
  aw::PlaceSpec place = BoxPlace();
  place.matrix = aw::MatrixSpec{3, 0, 0, 3, 0, 0};
  aw::PlaceObject2(tags, place);
  Frame(tags, script);
  ScriptedMovie m(std::move(tags));
  EXPECT_EQ(m.lines, (Lines{"1", "8", "3", "5", "undefined"}));
  render::RenderList list;
  m.stage->BuildRenderList(list);
  ASSERT_EQ(list.commands.size(), 1u);
  EXPECT_EQ(list.commands[0].shape, m.stage->Movie().Find(1)->shape.get());
}

// lineStyle's scaling, caps, joint and miter limit (held to 1..255) reach the drawn stroke;
// a gradient's focal point is held in 8.8 fixed point, as a movie's is.
TEST(ScriptPlayback, DrawnLineStylesAndFocalPointsReachTheShape) {
  ActionWriter script;
  script.Push({1.0, std::string("d")}).CallMethod("_root", "createEmptyMovieClip", 2);
  script.Op(aw::kPop);
  script.Push({0.5, std::string("miter"), std::string("square"), std::string("none"), false, 100.0,
               255.0, 4.0});
  script.CallMethod("d", "lineStyle", 8).Op(aw::kPop);
  script.Push({0.9, std::string("RGB"), std::string("pad")});
  script.Push({std::string("matrixType"), std::string("box"), 1.0}).Op(aw::kInitObject);
  for (int i = 0; i < 3; ++i) script.Push({0.0, 100.0, 2.0}).Op(aw::kInitArray);
  script.Push({std::string("radial")}).CallMethod("d", "beginGradientFill", 8).Op(aw::kPop);
  script.Push({10.0, 50.0}).CallMethod("d", "lineTo", 2).Op(aw::kPop).Op(aw::kStop);
  Bytes tags;
  Frame(tags, script);
  ScriptedMovie m(std::move(tags));
  render::RenderList list;
  m.stage->BuildRenderList(list);
  const render::ShapePart* stroke = nullptr;
  const render::ShapePart* fill = nullptr;
  for (const render::RenderCommand& cmd : list.commands) {
    if (cmd.shape == nullptr) continue;
    for (const render::ShapePart& part : cmd.shape->parts) {
      (part.kind == render::ShapePart::Kind::Stroke ? stroke : fill) = &part;
    }
  }
  ASSERT_TRUE(stroke && fill);
  EXPECT_TRUE(stroke->line.no_hscale && stroke->line.no_vscale);
  EXPECT_EQ(stroke->line.end_cap, render::LineCap::Square);
  EXPECT_EQ(stroke->line.join, render::LineJoin::Miter);
  EXPECT_EQ(stroke->line.miter_limit, 1.0f);
  EXPECT_EQ(fill->fill.gradient.focal_point, 230.0f / 256);
}

// cacheAsBitmap from script reads back as a boolean and draws the clip as one picture on whole
// pixels.
TEST(ScriptPlayback, CacheAsBitmapFromScriptDrawsTheClipAsOneSnappedPicture) {
  ActionWriter script;
  for (const aw::ActionValue& value :
       {aw::ActionValue(1.0), aw::ActionValue(std::string()), aw::ActionValue(true)}) {
    script.SetMember("box", "cacheAsBitmap", [&](ActionWriter& a) { a.Push({value}); });
    script.GetMember("box", "cacheAsBitmap").Op(aw::kTrace);
  }
  script.Op(aw::kStop);
  Bytes tags;
  BoxSprite(tags);
  aw::PlaceObject2(tags, BoxPlace());
  Frame(tags, script);
  ScriptedMovie m(std::move(tags));
  EXPECT_EQ(m.lines, (Lines{"true", "false", "true"}));
  render::RenderList list;
  m.stage->BuildRenderList(list);
  ASSERT_FALSE(list.commands.empty());
  EXPECT_EQ(list.commands.front().kind, render::RenderCommand::Kind::BeginLayer);
  EXPECT_TRUE(list.commands.front().snap);
}

// attachBitmap shows the bitmap as it is, one pixel to a pixel, as a rectangle filled with it
// unrepeated; it sizes the clip, replaces what lay at its depth, and snaps to whole pixels as
// asked: "auto" while shown upright at its own size.
TEST(ScriptPlayback, AnAttachedBitmapFillsARectangleOfItsSize) {
  ActionWriter script;
  script.SetVariable("bmp", [](ActionWriter& a) {
    a.Push({4278255360.0, false, 2.0, 3.0, 4.0}).GetMember("flash", "display");
    a.Push({std::string("BitmapData")}).Op(aw::kNewMethod);
  });
  script.Push({1.0, std::string("c")}).CallMethod("_root", "createEmptyMovieClip", 2);
  script.Op(aw::kPop);
  auto attach = [&script](std::initializer_list<aw::ActionValue> args) {
    script.Push(args).Push({std::string("bmp")}).Op(aw::kGetVariable);
    script.CallMethod("c", "attachBitmap", static_cast<uint8_t>(args.size() + 1)).Op(aw::kPop);
  };
  attach({true, std::string("never"), 1.0});
  attach({2.0});
  attach({3.0});
  attach({3.0});  // in place of the one at depth 3
  script.Push({4294901760.0, 0.0, 0.0}).CallMethod("bmp", "setPixel32", 3).Op(aw::kPop);
  script.GetMember("c", "_width").Op(aw::kTrace);
  script.GetMember("c", "_height").Op(aw::kTrace).Op(aw::kStop);
  Bytes tags;
  Frame(tags, script);
  ScriptedMovie m(std::move(tags));
  EXPECT_EQ(m.lines, (Lines{"3", "2"}));
  render::RenderList list;
  m.stage->BuildRenderList(list);
  ASSERT_EQ(list.commands.size(), 3u);
  for (const render::RenderCommand& cmd : list.commands) {
    ASSERT_EQ(cmd.kind, render::RenderCommand::Kind::DrawShape);
    EXPECT_FLOAT_EQ(cmd.shape->bounds.x_max, 60);
    ASSERT_EQ(cmd.shape->parts.size(), 1u);
    const render::FillStyle& fill = cmd.shape->parts[0].fill;
    ASSERT_EQ(fill.kind, render::FillStyle::Kind::Bitmap);
    ASSERT_TRUE(fill.bitmap);
    std::vector<uint32_t> shown(6, 0xFF00FF00);
    shown[0] = 0xFFFF0000;  // set after it was attached
    EXPECT_EQ(fill.bitmap->pixels, shown);
    EXPECT_FALSE(fill.repeat);
  }
  EXPECT_TRUE(list.commands[0].shape->parts[0].fill.smooth);
  EXPECT_FALSE(list.commands[1].shape->parts[0].fill.smooth);
  EXPECT_FALSE(list.commands[0].snap);
  EXPECT_TRUE(list.commands[1].snap);
}

// textColor is the field's own colour, not that of the markup its text came with.
TEST(ScriptPlayback, TextColorIsTheFieldsOwnColour) {
  ActionWriter script;
  script.SetVariable("tf", [](ActionWriter& a) {
    a.Push({20.0, 100.0, 0.0, 0.0, 1.0, std::string("tf")});
    a.CallMethod("_root", "createTextField", 6);
  });
  script.SetMember("tf", "html", [](ActionWriter& a) { a.Push({true}); });
  script.SetMember("tf", "htmlText", [](ActionWriter& a) {
    a.Push({std::string("<font color=\"#00FF00\">green</font>")});
  });
  script.GetMember("tf", "textColor").Op(aw::kTrace).Op(aw::kStop);
  Bytes tags;
  Frame(tags, script);
  ScriptedMovie m(std::move(tags));
  EXPECT_EQ(m.lines, (Lines{"0"}));
}

// A release on the link the press went down on follows it: "asfunction:" calls the function
// the field's clip sees with the text after the comma. Elsewhere nothing is called.
TEST(ScriptPlayback, AsFunctionLinksCallOnARelease) {
  ActionWriter hit;
  hit.Load(aw::Register{1}).Op(aw::kTrace);
  ActionWriter script;
  script.Push({40.0, 200.0, 0.0, 0.0, 1.0, std::string("f")});
  script.CallMethod("_root", "createTextField", 6).Op(aw::kPop);
  script.SetMember("f", "embedFonts", [](ActionWriter& a) { a.Push({true}); });
  script.SetMember("f", "html", [](ActionWriter& a) { a.Push({true}); });
  script.SetMember("f", "htmlText", [](ActionWriter& a) {
    a.Push(
        {std::string("<font face='Boxes' size='20'><a href='asfunction:hit,yes'>AA</a>OO"
                     "</font>")});
  });
  script.SetVariable("hit", [&](ActionWriter& a) { a.DefineFunction("", 1, hit); });
  script.Op(aw::kStop);
  Bytes tags;
  text::testing::BoxFont(tags);
  Frame(tags, script);
  ScriptedMovie m(std::move(tags));
  auto click = [&](double x, double release_x) {
    m.stage->MouseMove(x, 10);
    m.stage->MouseDown();
    m.stage->MouseMove(release_x, 10);
    m.stage->MouseUp();
  };
  click(10, 10);  // on the first A
  click(10, 50);  // released over the O's
  click(50, 50);
  EXPECT_EQ(m.lines, (Lines{"yes"}));
}

// A field keeps the signs of its scales through a turn, and, of device fonts, is not drawn
// once turned.
TEST(ScriptPlayback, FieldsKeepScaleSignsAndDeviceTextTurnedIsNotDrawn) {
  ActionWriter script;
  script.SetVariable("tf", [](ActionWriter& a) {
    a.Push({20.0, 100.0, 0.0, 0.0, 1.0, std::string("tf")});
    a.CallMethod("_root", "createTextField", 6);
  });
  script.SetMember("tf", "border", [](ActionWriter& a) { a.Push({true}); });
  script.SetMember("tf", "_xscale", [](ActionWriter& a) { a.Push({-100.0}); });
  script.SetMember("tf", "_rotation", [](ActionWriter& a) { a.Push({90.0}); });
  script.GetMember("tf", "_xscale").Op(aw::kTrace);
  script.GetMember("tf", "_rotation").Op(aw::kTrace).Op(aw::kStop);
  Bytes tags;
  Frame(tags, script);
  ScriptedMovie m(std::move(tags));
  EXPECT_EQ(m.lines, (Lines{"-100", "90"}));
  render::RenderList list;
  m.stage->BuildRenderList(list);
  EXPECT_TRUE(list.commands.empty());
}

// Delete2 reaches a variable through the path before its last dot.
TEST(ScriptPlayback, Delete2DeletesTheVariableAPathLeadsTo) {
  ActionWriter script;
  script.SetVariable("o", [](ActionWriter& a) { a.Push({0.0}).Op(aw::kInitObject); });
  script.SetMember("o", "b", [](ActionWriter& a) { a.Push({5.0}); });
  script.Push({std::string("o.b")}).Op(0x3B).Op(aw::kTrace);  // Delete2
  script.GetMember("o", "b").Op(aw::kTypeOf).Op(aw::kTrace).Op(aw::kStop);
  Bytes tags;
  Frame(tags, script);
  ScriptedMovie m(std::move(tags));
  EXPECT_EQ(m.lines, (Lines{"true", "undefined"}));
}

// A function's `var` outlives delete while the function runs; a path to no object is named.
TEST(ScriptPlayback, Delete2LeavesAFunctionsVarAndNamesAPathToNothing) {
  ActionWriter body;
  body.Push({std::string("e"), std::string("local")}).Op(aw::kDefineLocal);
  body.Push({std::string("e")}).Op(0x3B).Op(aw::kTrace);  // Delete2
  body.Push({std::string("e")}).Op(aw::kGetVariable).Op(aw::kTrace);
  body.Push({std::string("nothing.e")}).Op(0x3B).Op(aw::kTrace);
  ActionWriter script;
  script.DefineFunction("f", 0, body);
  script.CallFunction("f", 0).Op(aw::kStop);
  Bytes tags;
  Frame(tags, script);
  ScriptedMovie m(std::move(tags));
  EXPECT_EQ(m.lines, (Lines{"false", "local",
                            "Parameters of primitive types are no longer coerced into the "
                            "required type - Object.",
                            "false"}));
}

// A clip is a type of its own: an object beside it compares by what valueOf gives, and a
// valueOf that gives a clip converts to it.
TEST(ScriptPlayback, AnObjectEqualsTheClipItsValueOfGives) {
  ActionWriter value_of;
  value_of.Push({std::string("_root")}).Op(aw::kGetVariable).Op(aw::kReturn);
  ActionWriter script;
  script.SetVariable("o", [](ActionWriter& a) { a.Push({0.0}).Op(aw::kInitObject); });
  script.SetMember("o", "valueOf", [&](ActionWriter& a) { a.DefineFunction("", 0, value_of); });
  script.Push({std::string("_root")}).Op(aw::kGetVariable);
  script.Push({std::string("o")}).Op(aw::kGetVariable).Op(aw::kEquals2).Op(aw::kTrace);
  script.Push({std::string("o")}).Op(aw::kGetVariable);
  script.Push({std::string("")}).Op(aw::kAdd2).Op(aw::kTrace);
  script.SetVariable("p", [](ActionWriter& a) { a.Push({0.0}).Op(aw::kInitObject); });
  script.Push({std::string("_root")}).Op(aw::kGetVariable);
  script.Push({std::string("p")}).Op(aw::kGetVariable).Op(aw::kEquals2).Op(aw::kTrace);
  script.Op(aw::kStop);
  Bytes tags;
  Frame(tags, script);
  ScriptedMovie m(std::move(tags));
  EXPECT_EQ(m.lines, (Lines{"true", "_level0", "false"}));
}

// An object whose valueOf gives an object adds as a number, unless the other side is a string.
TEST(ScriptPlayback, ObjectsAddAsNumbersUnlessAStringIsThere) {
  ActionWriter script;
  script.SetVariable("o", [](ActionWriter& a) { a.Push({0.0}).Op(aw::kInitObject); });
  script.Push({std::string("o")}).Op(aw::kGetVariable);
  script.Push({std::string("o")}).Op(aw::kGetVariable).Op(aw::kAdd2).Op(aw::kTrace);
  script.Push({std::string("o")}).Op(aw::kGetVariable);
  script.Push({std::string("!")}).Op(aw::kAdd2).Op(aw::kTrace).Op(aw::kStop);
  Bytes tags;
  Frame(tags, script);
  ScriptedMovie m(std::move(tags), {}, 6);
  EXPECT_EQ(m.lines, (Lines{"NaN", "[object Object]!"}));
}

// A version 4 movie constructs nothing and is warned, a hundred times at most; a property set
// from text that is no number stays as it was, though arithmetic reads such text as 0.
TEST(ScriptPlayback, Version4WarnsOfNewAndSetsPropertiesOnlyFromNumbers) {
  ActionWriter script;
  for (int i = 0; i < 101; ++i) script.Push({0.0, std::string("Object")}).Op(aw::kNewObject);
  script.Op(aw::kTrace);
  script.Push({std::string(), 0.0, std::string("10x")}).Op(aw::kSetProperty);
  script.Push({std::string(), 0.0}).Op(aw::kGetProperty).Op(aw::kTrace).Op(aw::kStop);
  Bytes tags;
  Frame(tags, script);
  ScriptedMovie m(std::move(tags), {}, 4);
  ASSERT_EQ(m.lines.size(), 103u);
  EXPECT_EQ(m.lines[0], "Warning: Object is not a function");
  EXPECT_EQ(m.lines[100], "Warning: Reached warning limit of 100");
  EXPECT_EQ(m.lines[101], "undefined");
  EXPECT_EQ(m.lines[102], "0");
}

// The log shows a lone surrogate as the replacement character; the string keeps it.
TEST(ScriptPlayback, TraceShowsALoneSurrogateAsTheReplacementCharacter) {
  ActionWriter script;
  script.Push({std::string("s"), 55357.0, 1.0, std::string("String")}).Op(aw::kGetVariable);
  script.Push({std::string("fromCharCode")}).Op(aw::kCallMethod).Op(aw::kSetVariable);
  script.Push({std::string("s")}).Op(aw::kGetVariable).Op(aw::kTrace);
  script.Push({0.0, 1.0, std::string("s")}).Op(aw::kGetVariable);
  script.Push({std::string("charCodeAt")}).Op(aw::kCallMethod).Op(aw::kTrace).Op(aw::kStop);
  Bytes tags;
  Frame(tags, script);
  ScriptedMovie m(std::move(tags));
  EXPECT_EQ(m.lines, (Lines{"\xEF\xBF\xBD", "55357"}));
}

// _global is there from version 6 on.
TEST(ScriptPlayback, GlobalComesWithVersion6) {
  for (const uint8_t version : {5, 6}) {
    ActionWriter script;
    script.Push({std::string("_global")}).Op(aw::kGetVariable).Op(aw::kTypeOf).Op(aw::kTrace);
    script.Op(aw::kStop);
    Bytes tags;
    Frame(tags, script);
    ScriptedMovie m(std::move(tags), {}, version);
    const char* type = version == 5 ? "undefined" : "object";
    EXPECT_EQ(m.lines, (Lines{type})) << int(version);
  }
}

// for..in over a clip lists what its prototypes give before its own names.
TEST(ScriptPlayback, ForInOverAClipListsInheritedNamesFirst) {
  ActionWriter script;
  script.Push({std::string("MovieClip")}).Op(aw::kGetVariable);
  script.Push({std::string("prototype")}).Op(aw::kGetMember);
  script.Push({std::string("inherited"), 1.0}).Op(aw::kSetMember);
  script.Push({std::string("own"), 2.0}).Op(aw::kSetVariable);
  script.Push({std::string("this")}).Op(aw::kGetVariable).Op(0x55);  // Enumerate2
  script.Label("next").Op(aw::kPushDuplicate).Push({aw::Null{}}).Op(aw::kEquals2).If("done");
  script.Op(aw::kTrace).Jump("next");
  script.Label("done").Op(aw::kPop).Op(aw::kStop);
  Bytes tags;
  Frame(tags, script);
  ScriptedMovie m(std::move(tags));
  EXPECT_EQ(m.lines, (Lines{"inherited", "own", "$version"}));  // newest own name first
}

// int() wraps to 32 bits; what is no number gives 0.
TEST(ScriptPlayback, ToIntegerWrapsTo32Bits) {
  ActionWriter script;
  for (const aw::ActionValue& v :
       {aw::ActionValue{4294967295.0}, aw::ActionValue{-7.8}, aw::ActionValue{std::string("x")}}) {
    script.Push({v}).Op(aw::kToInteger).Op(aw::kTrace);
  }
  script.Op(aw::kStop);
  Bytes tags;
  Frame(tags, script);
  ScriptedMovie m(std::move(tags));
  EXPECT_EQ(m.lines, (Lines{"-1", "-7", "0"}));
}

// A child named like a property hides it from member reads, not from GetProperty or writes.
TEST(ScriptPlayback, AChildNamedLikeAPropertyHidesItFromMemberReads) {
  ActionWriter script;
  script.Push({std::string("_root")}).Op(aw::kGetVariable).Push({std::string("_x"), 42.0});
  script.Op(aw::kSetMember);
  script.GetMember("_root", "_x").Op(aw::kTrace);
  script.Push({std::string(""), 0.0}).Op(aw::kGetProperty).Op(aw::kTrace).Op(aw::kStop);
  Bytes tags;
  BoxSprite(tags);
  aw::PlaceSpec place = BoxPlace();
  place.name = "_x";
  aw::PlaceObject2(tags, place);
  Frame(tags, script);
  ScriptedMovie m(std::move(tags));
  EXPECT_EQ(m.lines, (Lines{"_level0._x", "42"}));
}

// Functions close over the locals of the function they are defined in from version 6 on.
TEST(ScriptPlayback, ClosuresSeeTheLocalsAroundThemFromVersionSix) {
  for (const uint8_t version : {5, 6}) {
    ActionWriter inner;
    inner.Push({std::string("a")}).Op(aw::kGetVariable).Op(aw::kTrace);
    ActionWriter outer;
    outer.Push({std::string("a"), std::string("local")}).Op(aw::kDefineLocal);
    outer.SetVariable("inner", [&](ActionWriter& a) { a.DefineFunction("", 0, inner); });
    ActionWriter script;
    script.SetVariable("a", [](ActionWriter& a) { a.Push({std::string("timeline")}); });
    script.DefineFunction("outer", 0, outer).CallFunction("outer", 0).Op(aw::kPop);
    script.CallFunction("inner", 0).Op(aw::kPop).Op(aw::kStop);
    Bytes tags;
    Frame(tags, script);
    ScriptedMovie m(std::move(tags), {}, version);
    EXPECT_EQ(m.lines, (Lines{version == 5 ? "timeline" : "local"})) << int(version);
  }
}

// A record is heard only for the events that the list's union of flags also names, as the
// reference plays lists whose union leaves some out.
TEST(ScriptPlayback, ClipActionsAnswerOnlyEventsTheUnionOfFlagsNames) {
  const Bytes list = {0,    0,              // reserved
                      0x01, 0, 0, 0,        // the union: load only
                      0x03, 0, 0, 0,        // the record: load and enter frame
                      1,    0, 0, 0, 0x07,  // its code: stop
                      0,    0, 0, 0};       // the end
  auto heard = [&](uint32_t event) {
    int found = 0;
    ForClipActions(list, 6, event, [&](std::span<const uint8_t> code) {
      EXPECT_EQ(code.size(), 1u);
      ++found;
    });
    return found;
  };
  EXPECT_EQ(heard(kEventLoad), 1);
  EXPECT_EQ(heard(kEventEnterFrame), 0);
  EXPECT_EQ(heard(kEventUnload), 0);
}

// Lines come in the order the scripts print them: a frame script with a loop, the load event of
// the clip that frame placed (after the frame), then the next frame.
// A caption field bound to a variable: it gives a missing variable its own text as it is
// placed, then follows every value scripts give the variable. A path to the root's variable
// holds from the first frame on, while the root is still being placed.
TEST(ScriptPlayback, TextFieldsFollowTheVariableTheyAreBoundTo) {
  for (const char* variable : {"caption", "_root.caption"}) {
    Bytes tags;
    text::testing::BoxFont(tags);
    aw::EditTextSpec field;
    field.id = 3;
    field.font = 1;
    field.variable = variable;
    field.text = "A";
    aw::DefineEditText(tags, field);
    aw::PlaceSpec place;
    place.depth = 1;
    place.character = 3;
    aw::PlaceObject2(tags, place);
    ActionWriter frame1, frame2;
    frame1.Push({std::string("caption")}).Op(aw::kGetVariable).Op(aw::kTrace);
    frame2.Push({std::string("caption"), std::string("OA")}).Op(aw::kSetVariable);
    Frame(tags, frame1);
    Frame(tags, frame2);
    ScriptedMovie m(std::move(tags));
    EXPECT_EQ(m.lines, Lines{"A"}) << variable;
    const text::TextField* shown = m.stage->Root().DisplayList().front().field.get();
    ASSERT_NE(shown, nullptr);
    m.stage->Advance();
    render::RenderList list;
    m.stage->BuildRenderList(list);
    EXPECT_EQ(shown->Text(), "OA") << variable;
  }
}

// The stage reads bound variables while it walks its display list, where no script may run: a
// variable behind a getter is not called for, and the field keeps its text.
TEST(ScriptPlayback, BoundFieldsCallNoGetters) {
  Bytes tags;
  text::testing::BoxFont(tags);
  aw::EditTextSpec field;
  field.id = 3;
  field.font = 1;
  field.variable = "v";
  field.text = "A";
  aw::DefineEditText(tags, field);
  ActionWriter getter, frame;
  Trace(getter, "called").Push({std::string("O")}).Op(aw::kReturn);
  frame.DefineFunction("getter", 0, getter);
  frame.Push({aw::Null{}, std::string("getter")}).Op(aw::kGetVariable);
  frame.Push({std::string("v"), 3.0, std::string("_root")}).Op(aw::kGetVariable);
  frame.Push({std::string("addProperty")}).Op(aw::kCallMethod).Op(aw::kPop);
  frame.Push({std::string("v")}).Op(aw::kGetVariable).Op(aw::kTrace);  // scripts do call it
  aw::DoAction(tags, frame.Finish());
  aw::PlaceSpec place;
  place.depth = 1;
  place.character = 3;
  aw::PlaceObject2(tags, place);
  aw::ShowFrame(tags);
  ScriptedMovie m(std::move(tags));
  ASSERT_EQ(m.lines, (Lines{"called", "O"}));
  render::RenderList list;
  m.stage->BuildRenderList(list);
  EXPECT_EQ(m.lines.size(), 2u);
  EXPECT_EQ(m.stage->Root().DisplayList().front().field->Text(), "A");
}

// A caption made by script: the field is found by name, prints as its path, lays its text out
// in the embedded font its format names, and answers formats of its characters.
TEST(ScriptPlayback, ScriptsMakeFormatAndMeasureTextFields) {
  Bytes tags;
  text::testing::BoxFont(tags);
  ActionWriter a;
  a.Push({100.0, 300.0, 20.0, 10.0, 1.0, std::string("caption"), 6.0, std::string("_root")});
  a.Op(aw::kGetVariable).Push({std::string("createTextField")}).Op(aw::kCallMethod).Op(aw::kPop);
  a.Push({std::string("tf"), std::string("_root")}).Op(aw::kGetVariable);
  a.Push({std::string("caption")}).Op(aw::kGetMember).Op(aw::kSetVariable);
  a.Push({std::string("tf")}).Op(aw::kGetVariable);
  a.Push({std::string("embedFonts"), true}).Op(aw::kSetMember);
  a.Push({std::string("fmt"), 20.0, std::string("Boxes"), 2.0, std::string("TextFormat")});
  a.Op(aw::kNewObject).Op(aw::kSetVariable);
  a.Push({std::string("fmt")}).Op(aw::kGetVariable).Push({1.0, std::string("tf")});
  a.Op(aw::kGetVariable).Push({std::string("setNewTextFormat")}).Op(aw::kCallMethod).Op(aw::kPop);
  a.Push({std::string("tf")}).Op(aw::kGetVariable);
  a.Push({std::string("text"), std::string("AA")}).Op(aw::kSetMember);
  a.Push({std::string("tf")}).Op(aw::kGetVariable).Op(aw::kTrace);
  a.Push({std::string("tf")}).Op(aw::kGetVariable).Push({std::string("textWidth")});
  a.Op(aw::kGetMember).Op(aw::kTrace);
  a.Push({0.0, 1.0, std::string("tf")}).Op(aw::kGetVariable);
  a.Push({std::string("getTextFormat")}).Op(aw::kCallMethod);
  a.Push({std::string("font")}).Op(aw::kGetMember).Op(aw::kTrace);
  a.Push({std::string("tf")}).Op(aw::kGetVariable).Push({std::string("_x")});
  a.Op(aw::kGetMember).Op(aw::kTrace);
  a.Push({std::string("AAA"), 1.0, std::string("fmt")}).Op(aw::kGetVariable);
  a.Push({std::string("getTextExtent")}).Op(aw::kCallMethod);
  a.Push({std::string("width")}).Op(aw::kGetMember).Op(aw::kTrace);
  Frame(tags, a);
  ScriptedMovie m(std::move(tags));
  EXPECT_EQ(m.lines, (Lines{"_level0.caption", "40", "Boxes", "10", "60"}));
  render::RenderList list;
  m.stage->BuildRenderList(list);
  // The text, and the box that clips it, where _x puts the field.
  size_t drawn = 0;
  for (const render::RenderCommand& c : list.commands) {
    if (c.kind != render::RenderCommand::Kind::DrawShape) continue;
    ++drawn;
    EXPECT_FLOAT_EQ(c.matrix.tx, 200);
  }
  EXPECT_GT(drawn, 0u);
}

// The sample slideshow's captions: static text in the embedded font on every slide, and the
// counter field following the variable each slide's first frame sets.
TEST(ScriptPlayback, TheSampleSlideshowCountsItsSlidesInATextField) {
  aw::SlideshowSpec spec;
  spec.width = 160;
  spec.height = 120;
  spec.slides = 3;
  spec.still_frames = 4;
  spec.transition_frames = 2;
  spec.caption_font = aw::ReadCaptionFont();
  if (spec.caption_font.empty()) GTEST_SKIP() << "fonts-dejavu-core is not installed";
  Stage stage(movie::LoadMovie(aw::BuildSlideshow(spec)).movie);
  auto counter = [&stage] {
    render::RenderList list;
    stage.BuildRenderList(list);
    for (const DisplayObject& object : stage.Root().DisplayList()) {
      if (object.field) return object.field->Text();
    }
    return std::string("no field");
  };
  EXPECT_EQ(counter(), "1 / 3");
  for (int f = 0; f < spec.still_frames + spec.transition_frames; ++f) stage.Advance();
  EXPECT_EQ(counter(), "2 / 3");
  size_t texts = 0;
  for (const auto& [id, c] : stage.Movie().Characters()) {
    texts += c.kind == movie::Character::Kind::Text && c.tag == 11;
  }
  EXPECT_EQ(texts, 3u);
}

TEST(ScriptPlayback, TraceLinesArriveInOrderFromTheFirstFrameOn) {
  ActionWriter frame1;
  Trace(frame1, "root 1a");
  frame1.Push({std::string("i"), 0.0}).Op(aw::kSetVariable);
  frame1.Label("top");
  frame1.Push({std::string("i")}).Op(aw::kGetVariable).Push({3.0}).Op(aw::kLess2).Op(aw::kNot);
  frame1.If("done");
  frame1.Push({std::string("i")}).Op(aw::kGetVariable).Op(aw::kTrace);
  frame1.Push({std::string("i"), std::string("i")}).Op(aw::kGetVariable).Op(aw::kIncrement);
  frame1.Op(aw::kSetVariable).Jump("top");
  frame1.Label("done");
  Trace(frame1, "root 1b");
  ActionWriter load, frame2;
  Trace(load, "load");
  Trace(frame2, "root 2").Op(aw::kStop);

  ActionWriter load2;
  Trace(load2, "load 2");
  // Clips and scripts run in the order of the frame's tags: one clip is placed ahead of the
  // script, one after it.
  Bytes tags;
  BoxSprite(tags);
  aw::PlaceObject2WithActions(tags, BoxPlace(), {{kEventLoad, load.Finish()}});
  aw::DoAction(tags, frame1.Finish());
  aw::PlaceSpec second = BoxPlace();
  second.depth = 2;
  second.name = "box2";
  aw::PlaceObject2WithActions(tags, second, {{kEventLoad, load2.Finish()}});
  aw::ShowFrame(tags);
  Frame(tags, frame2);
  ScriptedMovie m(std::move(tags));
  const Lines first{"load", "root 1a", "0", "1", "2", "root 1b", "load 2"};
  EXPECT_EQ(m.lines, first);
  m.stage->Advance();
  m.stage->Advance();
  Lines both = first;
  both.push_back("root 2");
  EXPECT_EQ(m.lines, both);
}

// --- Runaway scripts ---------------------------------------------------------------------

struct Runaway {
  const char* name;
  void (*write)(ActionWriter&);
  const char* reason;  // what LastAbort says
};

void EndlessLoop(ActionWriter& a) {
  a.Label("self").Jump("self");
}

// function f() { f(); } f();
void EndlessRecursion(ActionWriter& a) {
  ActionWriter body;
  body.Push({0.0, std::string("f")}).Op(aw::kCallFunction).Op(aw::kPop);
  a.DefineFunction("f", 0, body);
  a.Push({0.0, std::string("f")}).Op(aw::kCallFunction).Op(aw::kPop);
}

// o.toString = function () { return "" + this; }; trace("" + o);  The recursion goes through
// the engine's own conversion, not through a call in the script.
void EndlessConversion(ActionWriter& a) {
  ActionWriter body;
  body.Push({std::string()}).Push({std::string("this")}).Op(aw::kGetVariable).Op(aw::kAdd2);
  body.Op(aw::kReturn);
  a.Push({std::string("o"), 0.0, std::string("Object")}).Op(aw::kNewObject).Op(aw::kSetVariable);
  a.Push({std::string("o")}).Op(aw::kGetVariable).Push({std::string("toString")});
  a.DefineFunction("", 0, body).Op(aw::kSetMember);
  a.Push({std::string()}).Push({std::string("o")}).Op(aw::kGetVariable).Op(aw::kAdd2);
  a.Op(aw::kTrace);
}

// call("1") in frame 1: the frame runs itself again inside its own run.
void EndlessFrameCall(ActionWriter& a) {
  a.Push({std::string("1")}).Op(aw::kCall);
}

// s = "x"; while (true) s = s + s;
void EndlessDoubling(ActionWriter& a) {
  a.Push({std::string("s"), std::string("x")}).Op(aw::kSetVariable);
  a.Label("top");
  a.Push({std::string("s"), std::string("s")}).Op(aw::kGetVariable);
  a.Push({std::string("s")}).Op(aw::kGetVariable).Op(aw::kAdd2).Op(aw::kSetVariable);
  a.Jump("top");
}

class ScriptLimits : public ::testing::TestWithParam<Runaway> {};

// Frame 1 runs away, frame 2 is plain; the movie loops. Each pass through frame 1 is cut short
// and named, and frame 2 still shows and runs its script.
TEST_P(ScriptLimits, StopTheRunawayScriptAndTheMovieGoesOn) {
  ActionWriter frame1, frame2;
  Trace(frame1, "frame 1");
  GetParam().write(frame1);
  Trace(frame1, "unreached");
  // Some thousand actions: enough for the engine to look at its budgets during frame 2.
  frame2.Push({std::string("n"), 0.0}).Op(aw::kSetVariable);
  frame2.Label("count");
  frame2.Push({std::string("n"), std::string("n")}).Op(aw::kGetVariable).Op(aw::kIncrement);
  frame2.Op(aw::kSetVariable);
  frame2.Push({std::string("n")}).Op(aw::kGetVariable).Push({2000.0}).Op(aw::kLess2);
  frame2.If("count");
  frame2.Push({std::string("frame 2 ")}).Push({std::string("n")}).Op(aw::kGetVariable);
  frame2.Op(aw::kAdd2).Op(aw::kTrace);
  Bytes tags;
  Frame(tags, frame1);
  Frame(tags, frame2);
  avm1::VmLimits limits;
  limits.run_ms = 200;
  limits.heap_bytes = size_t{8} << 20;
  ScriptedMovie m(std::move(tags), limits);

  for (int pass = 1; pass <= 2; ++pass) {
    SCOPED_TRACE(pass);
    EXPECT_EQ(m.stage->CurrentFrame(), 1u);
    ASSERT_NE(m.LastAbort(), nullptr);
    EXPECT_STREQ(m.LastAbort(), GetParam().reason);
    m.stage->Advance();
    EXPECT_EQ(m.stage->CurrentFrame(), 2u);
    EXPECT_EQ(m.LastAbort(), nullptr);
    m.stage->Advance();
  }
  // A frame that calls itself prints its first line once per nested run.
  m.lines.erase(std::unique(m.lines.begin(), m.lines.end()), m.lines.end());
  EXPECT_EQ(m.lines, (Lines{"frame 1", "frame 2 2000", "frame 1", "frame 2 2000", "frame 1"}));
}

// Frame 1 goes on to frame 2, whose script goes back: every run is short, but each queues the
// next. The chain is held to the time of one run, and the movie goes on.
TEST(ScriptPlayback, FramesThatKeepSendingEachOtherBackStopWithinTheRunBudget) {
  ActionWriter frame1, frame2;
  Trace(frame1, "1").Op(0x04);  // nextFrame
  frame2.Op(0x05);              // prevFrame
  Bytes tags;
  Frame(tags, frame1);
  Frame(tags, frame2);
  // A clock on which every look at it takes a millisecond: at most some hundred runs fit.
  static double now = 0;
  avm1::VmLimits limits;
  limits.run_ms = 200;
  limits.work_clock = [] { return now += 1; };
  ScriptedMovie m(std::move(tags), limits);
  EXPECT_GT(m.lines.size(), 1u);
  EXPECT_LT(m.lines.size(), 200u);
  EXPECT_EQ(m.stage->CurrentFrame(), 1u);
}

INSTANTIATE_TEST_SUITE_P(ScriptPlayback, ScriptLimits,
                         ::testing::Values(Runaway{"Loop", EndlessLoop, "time"},
                                           Runaway{"Recursion", EndlessRecursion, "depth"},
                                           Runaway{"Conversion", EndlessConversion, "depth"},
                                           Runaway{"FrameCall", EndlessFrameCall, "depth"},
                                           Runaway{"Doubling", EndlessDoubling, "memory"}),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace lumen::stage
