// Movies that import characters from other movie files beside them.
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

}  // namespace
}  // namespace lumen::stage
