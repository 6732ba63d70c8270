// The appended-movie reader over a whole executable's bytes: any input gives Missing, Damaged or a
// movie that lies inside the input, and nothing is read or allocated beyond the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "player/MovieTrailer.h"
#include "stream/MemoryStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  lumen::MemoryStream executable;
  executable.WriteBuffer(data, size);
  lumen::MemoryStream movie;
  const lumen::player::TrailerCheck check = lumen::player::ReadMovie(executable, movie);
  if (check.status != lumen::player::TrailerStatus::Found) {
    if (movie.Size() != 0) std::abort();
    return 0;
  }
  const auto bytes = movie.Bytes();
  if (check.movie_offset < 0 || check.movie_size < 0 ||
      static_cast<uint64_t>(check.movie_offset + check.movie_size) + 8 != size ||
      bytes.size() != static_cast<size_t>(check.movie_size) ||
      (!bytes.empty() && std::memcmp(bytes.data(), data + check.movie_offset, bytes.size()) != 0)) {
    std::abort();
  }
  return 0;
}
