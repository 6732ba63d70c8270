// make_sample OUT.swf [WIDTHxHEIGHT] [--silent]: writes the bundled sample slideshow with its
// music (without it, for measuring what the music costs).
#include <cstdio>
#include <fstream>
#include <string>

#include "authoring/FontEmbedder.h"
#include "authoring/MusicSynth.h"
#include "authoring/Slideshow.h"
#include "tools/make_sample/LameEncoder.h"

int main(int argc, char** argv) {
  const bool silent = argc > 2 && std::string(argv[argc - 1]) == "--silent";
  const int sized = argc - (silent ? 1 : 0);
  if (sized < 2 || sized > 3) {
    std::fputs("usage: make_sample OUT.swf [WIDTHxHEIGHT] [--silent]\n", stderr);
    return 2;
  }
  lumen::authoring::SlideshowSpec spec;
  if (sized == 3 && std::sscanf(argv[2], "%dx%d", &spec.width, &spec.height) != 2) {
    std::fputs("make_sample: size must be WIDTHxHEIGHT\n", stderr);
    return 2;
  }
  if (spec.width < 64 || spec.height < 64 || spec.width > 4096 || spec.height > 4096) {
    std::fputs("make_sample: size must lie between 64 and 4096 pixels\n", stderr);
    return 2;
  }
  spec.caption_font = lumen::authoring::ReadCaptionFont();
  if (spec.caption_font.empty()) {
    std::fputs("make_sample: the caption font (fonts-dejavu-core) is not installed\n", stderr);
    return 1;
  }
  if (!silent) {
    auto music = lumen::tools::EncodeMp3Loop(lumen::authoring::SlideshowMusic(spec));
    if (!music) {
      std::fputs("make_sample: the MP3 encoder refused the music\n", stderr);
      return 1;
    }
    spec.music_mp3 = std::move(music->bytes);
    spec.music_delay = music->delay;
  }
  const auto movie = lumen::authoring::BuildSlideshow(spec);
  std::ofstream out(argv[1], std::ios::binary);
  out.write(reinterpret_cast<const char*>(movie.data()),
            static_cast<std::streamsize>(movie.size()));
  if (!out) {
    std::fprintf(stderr, "make_sample: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
