// Movies that use other movie files beside them: they import characters, and scripts load movies
// and pictures into clips and levels.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "authoring/ActionWriter.h"
#include "authoring/SwfWriter.h"
#include "stage/Stage.h"
#include "tests/movie/MovieTestUtil.h"
#include "tests/support/TempDir.h"

namespace lumen::stage {
namespace {

namespace aw = authoring;
using aw::ActionWriter;
using aw::Bytes;
using aw::Register;
using lumen::testing::ReadFileBytes;

// A square of `size` twips as shape `id`.
void Square(Bytes& tags, uint16_t id, int32_t size) {
  aw::ShapeWriter shape(3);
  shape.Select(-1, shape.AddSolidFill({0, 0, 255, 255}));
  shape.Rectangle(0, 0, size, size);
  const Bytes tag = shape.Tag(id, 0, size, 0, size);
  tags.insert(tags.end(), tag.begin(), tag.end());
}

// An SWF 5 library exporting sprite 5 as "lib": it shows its own shape 1 (200 twips) and traces
// "\xE9", a Latin-1 "é" in code before version 6. Its init actions trace "init".
Bytes Library() {
  Bytes tags;
  Square(tags, 1, 200);
  Bytes sprite;
  ActionWriter script;
  script.Push({std::string("\xE9")}).Op(aw::kTrace);
  aw::DoAction(sprite, script.Finish());
  aw::PlaceObject(sprite, 1, 1);
  aw::ShowFrame(sprite);
  aw::End(sprite);
  aw::DefineSprite(tags, 5, 1, sprite);
  aw::ExportAsset(tags, 5, "lib");
  ActionWriter init;
  init.Push({"init"}).Op(aw::kTrace);
  Bytes init_body = {5, 0};
  const Bytes code = init.Finish();
  init_body.insert(init_body.end(), code.begin(), code.end());
  aw::WriteTag(tags, 59, init_body);
  aw::ShowFrame(tags);
  aw::End(tags);
  aw::MovieSpec spec;
  spec.version = 5;
  return aw::BuildMovie(spec, tags);
}

TEST(Import, ImportedSpritesPlayFromTheirOwnMovieAndMissingOrRefusedFilesImportNothing) {
  lumen::testing::TempDir dir;
  std::filesystem::create_directories(dir.path() / "show" / "parts");
  const Bytes library = Library();
  dir.Write("show/parts/lib.swf", library);
  dir.Write("lib.swf", library);  // outside the movie's folder

  Bytes tags;
  aw::ImportAsset(tags, "parts/lib.swf", 7, "lib");
  aw::ImportAsset(tags, "missing.swf", 8, "lib");
  aw::ImportAsset(tags, "../lib.swf", 9, "lib");
  Square(tags, 1, 100);
  for (uint16_t id : {7, 8, 9}) {
    aw::PlaceSpec place;
    place.depth = id;
    place.character = id;
    aw::PlaceObject2(tags, place);
  }
  ActionWriter attach;
  attach.Push({10.0, "copy", "lib"}).CallMethod("this", "attachMovie", 3).Op(aw::kPop);
  aw::DoAction(tags, attach.Finish());
  aw::ShowFrame(tags);

  std::vector<std::string> lines;
  ScriptSetup setup;
  setup.trace = [&lines](std::string_view line) { lines.emplace_back(line); };
  setup.folder = MovieFolder(dir.path() / "show");
  Stage stage(movie::testing::Load(std::move(tags)), true, codec::DecodeBudget::kDefaultTotal,
              std::move(setup));
  EXPECT_EQ(lines, (std::vector<std::string>{"init", "\u00e9", "\u00e9"}));

  render::RenderList list;
  stage.BuildRenderList(list);
  int squares = 0;
  for (const render::RenderCommand& c : list.commands) {
    if (c.kind != render::RenderCommand::Kind::DrawShape) continue;
    ++squares;
    EXPECT_EQ(c.shape->bounds.x_max, 200);  // the library's shape 1, not the importer's
  }
  EXPECT_EQ(squares, 2);  // the placed import and the attached copy
}

// A 1 x 1 GIF.
const Bytes kDot = {'G', 'I',  'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0xFF, 0xFF, 0xFF, 0,   0,
                    0,   0x2C, 0,   0,   0,   0,   1, 0, 1, 0, 0,    2, 2, 0x44, 0x01, 0,    0x3B};

TEST(LoadMovie, MoviesAndPicturesLoadIntoClipsAndLevelsAtTheNextTickAndUnload) {
  lumen::testing::TempDir dir;
  Bytes child;
  Square(child, 1, 200);
  aw::PlaceObject(child, 1, 1);
  ActionWriter where;  // _lockroot makes the loaded movie's root its own
  where.SetMember("this", "_lockroot", [](ActionWriter& w) { w.Push({true}); });
  where.Load("_root").Op(aw::kTrace);
  aw::DoAction(child, where.Finish());
  aw::ShowFrame(child);
  aw::End(child);
  dir.Write("child.swf", aw::BuildMovie({}, child));
  dir.Write("dot.gif", kDot);

  Bytes tags;
  ActionWriter load;
  for (const char* clip : {"box", "pic"}) {
    load.Push({clip == std::string("box") ? 1.0 : 2.0, clip})
        .CallMethod("this", "createEmptyMovieClip", 2)
        .Op(aw::kPop);
  }
  load.Push({"child.swf"}).CallMethod("box", "loadMovie", 1).Op(aw::kPop);
  load.Push({"dot.gif"}).CallMethod("pic", "loadMovie", 1).Op(aw::kPop);
  load.Push({"child.swf", "_level3"}).GetUrl2(0);  // loadMovieNum
  aw::DoAction(tags, load.Finish());
  aw::ShowFrame(tags);
  aw::ShowFrame(tags);  // the loads happen in the tick that shows this frame
  ActionWriter unload;
  unload.CallMethod("box", "unloadMovie", 0).Op(aw::kPop);
  unload.Push({"", "_level3"}).GetUrl2(0).Op(aw::kStop);  // unloadMovieNum
  aw::DoAction(tags, unload.Finish());
  aw::ShowFrame(tags);

  std::vector<std::string> lines;
  ScriptSetup setup;
  setup.trace = [&lines](std::string_view line) { lines.emplace_back(line); };
  setup.folder = MovieFolder(dir.path());
  Stage stage(movie::testing::Load(std::move(tags)), true, codec::DecodeBudget::kDefaultTotal,
              std::move(setup));
  auto squares = [&stage] {
    std::vector<float> sizes;
    render::RenderList list;
    stage.BuildRenderList(list);
    for (const render::RenderCommand& c : list.commands) {
      if (c.kind == render::RenderCommand::Kind::DrawShape) sizes.push_back(c.shape->bounds.x_max);
    }
    return sizes;
  };
  EXPECT_TRUE(squares().empty());
  stage.Advance();
  EXPECT_EQ(lines, (std::vector<std::string>{"_level0.box", "_level3"}));
  EXPECT_EQ(squares(), (std::vector<float>{200, 20, 200}));  // box, pic, then level 3 on top
  stage.Advance();                                           // asks to unload
  stage.Advance();
  EXPECT_EQ(squares(), (std::vector<float>{20}));
  EXPECT_EQ(lines.size(), 2u);
}

// loadVariables sets a file's form-encoded variables on a clip on the next tick, and the clip
// then hears its data event; a file that is not there sets nothing and raises no event.
TEST(LoadVariables, FileVariablesReachTheClipAndItsDataEventOnTheNextTick) {
  lumen::testing::TempDir dir;
  const std::string vars = "photo=sea%20view.jpg&count=3";
  dir.Write("vars.txt", Bytes(vars.begin(), vars.end()));

  Bytes tags;
  Bytes empty;
  aw::ShowFrame(empty);
  aw::End(empty);
  aw::DefineSprite(tags, 2, 1, empty);
  aw::PlaceSpec place;
  place.character = 2;
  place.name = "box";
  ActionWriter on_data;
  on_data.Load("photo").Op(aw::kTrace).Load("count").Op(aw::kTrace);
  aw::PlaceObject2WithActions(tags, place, {{0x100, on_data.Finish()}});
  ActionWriter load;
  load.Push({"vars.txt", "box"}).GetUrl2(0x80);
  load.Push({"gone.txt"}).CallMethod("box", "loadVariables", 1).Op(aw::kPop);
  load.Push({"gone.txt", "_level0"}).GetUrl2(0x80);
  load.GetMember("box", "photo").Op(aw::kTrace).Op(aw::kStop);
  aw::DoAction(tags, load.Finish());
  aw::ShowFrame(tags);

  std::vector<std::string> lines;
  ScriptSetup setup;
  setup.trace = [&lines](std::string_view line) { lines.emplace_back(line); };
  setup.folder = MovieFolder(dir.path());
  Stage stage(movie::testing::Load(std::move(tags)), true, codec::DecodeBudget::kDefaultTotal,
              std::move(setup));
  EXPECT_EQ(lines, (std::vector<std::string>{"undefined"}));
  stage.Advance();
  stage.Advance();
  EXPECT_EQ(lines, (std::vector<std::string>{"undefined", "sea view.jpg", "3"}));
}

// A MovieClipLoader is its own listener: each event traces its name, the target and the first
// value after it.
TEST(LoadMovie, MovieClipLoaderReportsEachStepInTheReferenceOrder) {
  lumen::testing::TempDir dir;
  Bytes child;
  ActionWriter frame;
  frame.Push({"child frame 1"}).Op(aw::kTrace);
  aw::DoAction(child, frame.Finish());
  aw::ShowFrame(child);
  aw::End(child);
  dir.Write("child.swf", aw::BuildMovie({}, child));

  ActionWriter script;
  script.SetVariable("mcl", [](ActionWriter& w) {
    w.Push({0.0, "MovieClipLoader"}).Op(aw::kNewObject);
  });
  for (const char* event :
       {"onLoadStart", "onLoadProgress", "onLoadComplete", "onLoadInit", "onLoadError"}) {
    ActionWriter handler;
    handler.Push({std::string(event) + " "})
        .Push({Register{1}})
        .Op(aw::kAdd2)
        .Push({" "})
        .Op(aw::kAdd2)
        .Push({Register{2}})
        .Op(aw::kAdd2)
        .Op(aw::kTrace);
    script.SetMember("mcl", event, [&](ActionWriter& w) { w.DefineFunction("", 2, handler); });
  }
  for (const char* clip : {"a", "b"}) {
    script.Push({clip == std::string("a") ? 1.0 : 2.0, clip})
        .CallMethod("this", "createEmptyMovieClip", 2)
        .Op(aw::kPop);
  }
  script.Push({"a", "child.swf"}).CallMethod("mcl", "loadClip", 2).Op(aw::kPop);
  script.Push({"b", "missing.swf"}).CallMethod("mcl", "loadClip", 2).Op(aw::kTrace);
  script.Push({"a", 9.0}).CallMethod("mcl", "loadClip", 2).Op(aw::kTrace);  // not a file name
  script.Push({"frame 1"}).Op(aw::kTrace);
  Bytes tags;
  aw::DoAction(tags, script.Finish());
  aw::ShowFrame(tags);
  ActionWriter second;
  second.Push({"frame 2"}).Op(aw::kTrace).Op(aw::kStop);
  aw::DoAction(tags, second.Finish());
  aw::ShowFrame(tags);

  std::vector<std::string> lines;
  ScriptSetup setup;
  setup.trace = [&lines](std::string_view line) { lines.emplace_back(line); };
  setup.folder = MovieFolder(dir.path());
  Stage stage(movie::testing::Load(std::move(tags)), true, codec::DecodeBudget::kDefaultTotal,
              std::move(setup));
  stage.Advance();
  const std::string size = std::to_string(ReadFileBytes(dir.path() / "child.swf").size());
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "true", "false", "frame 1", "frame 2", "onLoadStart _level0.a undefined",
                       "onLoadProgress _level0.a " + size, "onLoadComplete _level0.a 0",
                       "onLoadError _level0.b URLNotFound", "child frame 1",
                       "onLoadInit _level0.a undefined"}));
}

}  // namespace
}  // namespace lumen::stage
