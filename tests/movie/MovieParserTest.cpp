#include <gtest/gtest.h>

#include "authoring/SwfWriter.h"
#include "movie/Movie.h"
#include "tests/movie/MovieTestUtil.h"

namespace lumen::movie {
namespace {

using authoring::Bytes;
using testing::Load;

Bytes SquareShape(uint16_t id, authoring::Color color = {255, 0, 0, 255}) {
  authoring::ShapeWriter shape(3);
  const int fill = shape.AddSolidFill(color);
  shape.Select(-1, fill);
  shape.Rectangle(0, 0, 200, 200);
  return shape.Tag(id, 0, 200, 0, 200);
}

class HeaderTest : public ::testing::TestWithParam<bool> {};

TEST_P(HeaderTest, ReadsStageRateAndFramesOfPlainAndCompressedMovies) {
  Bytes body;
  authoring::ShowFrame(body);
  authoring::ShowFrame(body);
  authoring::ShowFrame(body);
  const auto movie = Load(body, GetParam());
  ASSERT_TRUE(movie);
  EXPECT_EQ(movie->compressed, GetParam());
  EXPECT_EQ(movie->version, 10);
  EXPECT_EQ(movie->stage.x_max, 11000);
  EXPECT_EQ(movie->stage.y_max, 8000);
  EXPECT_FLOAT_EQ(movie->frame_rate, 24);
  EXPECT_EQ(movie->root.frames.size(), 3u);
  EXPECT_TRUE(movie->warnings.empty());
}

INSTANTIATE_TEST_SUITE_P(Signatures, HeaderTest, ::testing::Bool());

// Lengths that lie do not cut the movie, except that an uncompressed one declared shorter than
// its own header is refused.
TEST(MovieLoad, DeclaredLengthsThatLieDoNotCutTheMovie) {
  Bytes body;
  for (int i = 0; i < 40; ++i) authoring::ShowFrame(body);
  authoring::End(body);
  for (bool compressed : {false, true}) {
    for (int32_t declared : {0, 9, 1 << 30}) {
      authoring::MovieSpec spec;
      spec.compressed = compressed;
      spec.declared_length = declared;
      const LoadResult result = LoadMovie(authoring::BuildMovie(spec, body));
      if (!compressed && declared == 0) {  // shorter than its header: nothing to play
        EXPECT_FALSE(result.movie);
        continue;
      }
      ASSERT_TRUE(result.movie) << result.error;
      EXPECT_EQ(result.movie->root.frames.size(), 40u) << compressed << " " << declared;
      // Preloaders see what the header declares as the total, and no more loaded than that.
      EXPECT_EQ(result.movie->file_length, static_cast<size_t>(declared));
      authoring::MovieSpec honest = spec;
      honest.declared_length.reset();
      const size_t real = LoadMovie(authoring::BuildMovie(honest, body)).movie->file_length;
      EXPECT_EQ(result.movie->loaded_length, std::min<size_t>(real, declared));
    }
  }
}

struct RefusedCase {
  const char* name;
  Bytes file;
  const char* error_part;
};

TEST(MovieLoad, RefusesWhatIsNotAPlayableMovie) {
  Bytes zws = authoring::BuildMovie({}, Bytes{0, 0});
  zws[0] = 'Z';
  const RefusedCase cases[] = {
      {"empty", {}, "too short"},
      {"lzma", zws, "ZWS"},
      {"text", Bytes(20, 'a'), "not an SWF"},
      {"head only", Bytes{'F', 'W', 'S', 6, 9, 0, 0, 0, 0xF8}, "header"},
      {"broken zlib", Bytes{'C', 'W', 'S', 6, 100, 0, 0, 0, 1, 2, 3, 4}, "compressed"},
  };
  for (const RefusedCase& c : cases) {
    const LoadResult result = LoadMovie(c.file);
    EXPECT_FALSE(result.movie) << c.name;
    EXPECT_NE(result.error.find(c.error_part), std::string::npos) << c.name << ": " << result.error;
  }
}

TEST(MovieLoad, ALyingTagEndsTheParseAndKeepsTheGoodFrames) {
  Bytes body = SquareShape(1);
  authoring::PlaceObject(body, 1, 1);
  authoring::ShowFrame(body);
  authoring::ShowFrame(body);
  // A long-form tag header claiming far more than remains.
  const Bytes lie = {0x3F, 0x03, 0xFF, 0xFF, 0x00, 0x00, 1, 2, 3};
  body.insert(body.end(), lie.begin(), lie.end());
  authoring::MovieSpec spec;
  const Bytes file = authoring::BuildMovie(spec, body);
  const LoadResult result = LoadMovie(file);
  ASSERT_TRUE(result.movie) << result.error;
  EXPECT_EQ(result.movie->root.frames.size(), 2u);
  ASSERT_EQ(result.movie->warnings.size(), 1u);
  const size_t offset = file.size() - lie.size();
  EXPECT_NE(result.movie->warnings[0].find("tag 12 at byte " + std::to_string(offset)),
            std::string::npos)
      << result.movie->warnings[0];
  EXPECT_NE(result.movie->Find(1), nullptr);
}

TEST(MovieLoad, ATruncatedFileKeepsWhatItHas) {
  Bytes body = SquareShape(1);
  authoring::ShowFrame(body);
  const Bytes more = SquareShape(2);
  body.insert(body.end(), more.begin(), more.end() - 3);  // cut inside the second shape
  for (bool compressed : {false, true}) {
    authoring::MovieSpec spec;
    spec.compressed = compressed;
    const LoadResult result = LoadMovie(authoring::BuildMovie(spec, body));
    ASSERT_TRUE(result.movie) << result.error;
    EXPECT_NE(result.movie->Find(1), nullptr);
    EXPECT_EQ(result.movie->Find(2), nullptr);
    EXPECT_EQ(result.movie->warnings.size(), 1u);
  }
}

TEST(MovieLoad, SkipsUnknownTagsAndDropsMalformedOnes) {
  Bytes body;
  authoring::WriteTag(body, 200, Bytes{1, 2, 3, 4, 5});
  // A shape whose records run past the tag's end: dropped, the parse goes on.
  Bytes broken = SquareShape(5);
  broken.pop_back();
  broken[0] = static_cast<uint8_t>(broken[0] - 1);  // short-form length one less
  body.insert(body.end(), broken.begin(), broken.end());
  const Bytes good = SquareShape(6);
  body.insert(body.end(), good.begin(), good.end());
  authoring::ShowFrame(body);
  const auto movie = Load(body);
  ASSERT_TRUE(movie);
  EXPECT_EQ(movie->Find(5), nullptr);
  EXPECT_NE(movie->Find(6), nullptr);
  ASSERT_EQ(movie->warnings.size(), 1u);
  EXPECT_NE(movie->warnings[0].find("in tag 32"), std::string::npos) << movie->warnings[0];
}

TEST(MovieLoad, ReadsControlTagsIntoFrames) {
  Bytes body = SquareShape(1);
  authoring::SetBackgroundColor(body, {1, 2, 3, 255});
  authoring::FrameLabel(body, "intro");
  authoring::PlaceSpec place;
  place.character = 1;
  place.depth = 7;
  place.matrix = authoring::MatrixSpec{2, 0, 0, 0.5, 100, -40};
  place.cxform = authoring::CxformSpec{128, 256, 256, 64, 10, 0, 0, -5};
  place.ratio = 300;
  place.name = "pic";
  place.clip_depth = 9;
  place.blend = 3;
  place.cache_as_bitmap = true;
  authoring::PlaceObject3(body, place);
  const uint8_t stop[] = {0x07, 0x00};
  authoring::DoAction(body, stop);
  authoring::ShowFrame(body);
  authoring::RemoveObject2(body, 7);
  authoring::WriteTag(body, 59, Bytes{2, 0, 0x07, 0x00});  // DoInitAction for sprite 2
  authoring::ShowFrame(body);
  const auto movie = Load(body);
  ASSERT_TRUE(movie);
  ASSERT_EQ(movie->root.frames.size(), 2u);
  const Frame& first = movie->root.frames[0];
  EXPECT_EQ(first.labels, std::vector<std::string>{"intro"});
  EXPECT_EQ(movie->root.FindLabel("intro"), 0u);
  ASSERT_EQ(first.commands.size(), 3u);
  EXPECT_EQ(std::get<BackgroundCommand>(first.commands[0]).color, (render::Rgba{1, 2, 3, 255}));
  const auto& p = std::get<PlaceCommand>(first.commands[1]);
  EXPECT_EQ(p.depth, 7);
  EXPECT_EQ(p.character, 1);
  ASSERT_TRUE(p.matrix);
  EXPECT_FLOAT_EQ(p.matrix->a, 2);
  EXPECT_FLOAT_EQ(p.matrix->d, 0.5f);
  EXPECT_FLOAT_EQ(p.matrix->tx, 100);
  EXPECT_FLOAT_EQ(p.matrix->ty, -40);
  ASSERT_TRUE(p.cxform);
  EXPECT_FLOAT_EQ(p.cxform->mul_r, 0.5f);
  EXPECT_FLOAT_EQ(p.cxform->mul_a, 0.25f);
  EXPECT_FLOAT_EQ(p.cxform->add_r, 10);
  EXPECT_FLOAT_EQ(p.cxform->add_a, -5);
  EXPECT_EQ(p.ratio, 300);
  EXPECT_EQ(p.name, "pic");
  EXPECT_EQ(p.clip_depth, 9);
  EXPECT_EQ(p.blend, render::BlendMode::Multiply);
  EXPECT_EQ(p.cache_as_bitmap, true);
  EXPECT_TRUE(std::get<ActionCommand>(first.commands[2]).stops);
  EXPECT_EQ(std::get<RemoveCommand>(movie->root.frames[1].commands[0]).depth, 7);
  const auto& init = std::get<OtherCommand>(movie->root.frames[1].commands[1]);
  EXPECT_EQ(init.code, 59);
  EXPECT_EQ(init.body.size(), 4u);
}

TEST(MovieLoad, PlainStopIsRecognisedOnlyWithoutBranches) {
  struct Case {
    Bytes actions;
    bool stops;
  };
  const Case cases[] = {
      {{0x07, 0x00}, true},
      {{0x96, 0x02, 0x00, 0x07, 0x01, 0x07, 0x00}, true},   // push, then stop
      {{0x06, 0x00}, false},                                // play
      {{0x99, 0x02, 0x00, 0x01, 0x00, 0x07, 0x00}, false},  // a jump over the stop
      {{0x96, 0x10}, false},                                // truncated
  };
  for (const Case& c : cases) EXPECT_EQ(IsPlainStop(c.actions), c.stops);
}

TEST(MovieLoad, SpritesHaveTheirOwnTimelineAndCannotDefineCharacters) {
  Bytes sprite;
  authoring::PlaceObject(sprite, 1, 1);
  authoring::ShowFrame(sprite);
  const Bytes inner = SquareShape(9);  // ignored inside a sprite
  sprite.insert(sprite.end(), inner.begin(), inner.end());
  authoring::RemoveObject2(sprite, 1);
  authoring::ShowFrame(sprite);
  authoring::End(sprite);
  Bytes body = SquareShape(1);
  authoring::DefineSprite(body, 2, 2, sprite);
  authoring::ShowFrame(body);
  const auto movie = Load(body);
  ASSERT_TRUE(movie);
  const Character* c = movie->Find(2);
  ASSERT_NE(c, nullptr);
  ASSERT_TRUE(c->sprite);
  EXPECT_EQ(c->sprite->frames.size(), 2u);
  EXPECT_EQ(movie->Find(9), nullptr);
}

// ImportAssets names its file and symbols; ImportAssets2 has two more bytes after the name.
TEST(MovieLoad, ReadsImportsOfBothTagForms) {
  Bytes body;
  authoring::ImportAsset(body, "lib.swf", 3, "clip");
  const Bytes second = {'b', '.', 's', 'w', 'f', 0, 1, 0, 2, 0, 4, 0, 'x', 0, 5, 0, 'y', 0};
  authoring::WriteTag(body, 71, second);
  authoring::WriteTag(body, 71, Bytes{'c', 0, 1, 0, 1, 0, 6});  // cut short: dropped
  const auto movie = Load(body);
  ASSERT_TRUE(movie);
  ASSERT_EQ(movie->imports.size(), 2u);
  EXPECT_EQ(movie->imports[0].url, "lib.swf");
  EXPECT_EQ(movie->imports[0].symbols,
            (std::vector<std::pair<uint16_t, std::string>>{{3, "clip"}}));
  EXPECT_EQ(movie->imports[1].url, "b.swf");
  EXPECT_EQ(movie->imports[1].symbols,
            (std::vector<std::pair<uint16_t, std::string>>{{4, "x"}, {5, "y"}}));
}

TEST(MovieLoad, ButtonsKeepTheirStatesConditionsColoursAndSounds) {
  Bytes body = SquareShape(1);
  const authoring::ButtonRecordSpec records[] = {{0x01, 1, 1, {}}, {0x0E, 1, 2, {}}};
  const authoring::ButtonConditionSpec conditions[] = {{0x0001, {0x07, 0x00}},
                                                       {'k' << 9, {0x06, 0x00}}};
  authoring::DefineButton2(body, 5, records, conditions, true);
  // DefineButtonCxform: the first record's red halved, then a second record's colours that
  // the button's other record takes. DefineButtonSound: a sound on roll over only, and a
  // truncated list.
  authoring::WriteTag(body, 23, Bytes{5, 0, 0x68, 0x80, 0x40, 0x10, 0x00, 0x00});
  authoring::WriteTag(body, 17, Bytes{5, 0, 0, 0, 7, 0, 0x04, 3, 0});
  authoring::ShowFrame(body);
  const auto movie = Load(body);
  ASSERT_TRUE(movie);
  const Character* c = movie->Find(5);
  ASSERT_TRUE(c && c->button);
  const ButtonData& button = *c->button;
  EXPECT_TRUE(button.track_as_menu);
  ASSERT_EQ(button.records.size(), 2u);
  EXPECT_FLOAT_EQ(button.records[0].cxform.mul_r, 0.5f);
  EXPECT_FLOAT_EQ(button.records[1].cxform.mul_r, 1.0f);
  // The up state places the first record, over and down the second.
  ASSERT_EQ(button.states[ButtonData::kUp].frames.size(), 1u);
  const auto& up = std::get<PlaceCommand>(button.states[ButtonData::kUp].frames[0].commands[0]);
  EXPECT_EQ(up.depth, 1);
  EXPECT_FLOAT_EQ(up.cxform->mul_r, 0.5f);
  EXPECT_EQ(std::get<PlaceCommand>(button.states[ButtonData::kDown].frames[0].commands[0]).depth,
            2);
  ASSERT_EQ(button.actions.size(), 2u);
  EXPECT_EQ(button.actions[0].conditions, ButtonData::kIdleToOverUp);
  EXPECT_EQ(Bytes(button.actions[0].code.begin(), button.actions[0].code.end()),
            conditions[0].actions);
  EXPECT_EQ(ButtonData::KeyOf(button.actions[1].conditions), 'k');
  EXPECT_TRUE(button.sounds[ButtonData::kSoundOverUpToIdle].empty());
  EXPECT_EQ(button.sounds[ButtonData::kSoundIdleToOverUp].size(), 5u);  // id, flags, loops
  EXPECT_TRUE(button.sounds[ButtonData::kSoundOverUpToOverDown].empty());
}

}  // namespace
}  // namespace lumen::movie
