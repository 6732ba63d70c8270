#include "player/MovieTrailer.h"

#include <algorithm>
#include <limits>
#include <string>
#include <system_error>

#include "stream/FileStream.h"
#include "stream/MemoryStream.h"

namespace lumen::player {

namespace {

constexpr int64_t kLengthFieldSize = 4;

int32_t ReadInt32LE(std::span<const uint8_t> bytes) {
  const uint32_t value = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                         static_cast<uint32_t>(bytes[2]) << 16 |
                         static_cast<uint32_t>(bytes[3]) << 24;
  return static_cast<int32_t>(value);
}

std::string DamagedText(const std::filesystem::path& executable, const TrailerCheck& check,
                        int64_t file_size) {
  return "The slideshow in \"" + DisplayPath(executable) +
         "\" is damaged: its movie trailer gives the length " + std::to_string(check.length_field) +
         " for a file of " + std::to_string(file_size) + " bytes.";
}

void WriteWholeFile(const std::filesystem::path& file, std::span<const uint8_t> bytes) {
  try {
    FileStream out(file, FileMode::Create);
    out.WriteBuffer(bytes.data(), bytes.size());
  } catch (const StreamError&) {
    std::error_code ignored;
    if (std::filesystem::exists(file, ignored)) std::filesystem::remove(file, ignored);
    throw;
  }
}

}  // namespace

TrailerCheck ParseTrailer(std::span<const uint8_t, kTrailerSize> tail, int64_t file_size) {
  TrailerCheck check;
  if (!std::equal(kTrailerMagic.begin(), kTrailerMagic.end(), tail.begin() + kLengthFieldSize)) {
    return check;
  }
  check.length_field = ReadInt32LE(tail.first(kLengthFieldSize));
  const int64_t length = check.length_field;
  const int64_t offset = file_size - length - kLengthFieldSize;
  if (length < kLengthFieldSize || offset < 0) {
    check.status = TrailerStatus::Damaged;
    return check;
  }
  check.status = TrailerStatus::Found;
  check.movie_offset = offset;
  check.movie_size = length - kLengthFieldSize;
  return check;
}

std::array<uint8_t, kTrailerSize> MakeTrailer(int64_t movie_size) {
  if (movie_size < 0 || movie_size > std::numeric_limits<int32_t>::max() - kLengthFieldSize) {
    throw StreamError("A movie of " + std::to_string(movie_size) +
                      " bytes is too large to append.");
  }
  const auto length = static_cast<uint32_t>(movie_size + kLengthFieldSize);
  std::array<uint8_t, kTrailerSize> trailer{};
  for (int i = 0; i < 4; ++i) trailer[i] = static_cast<uint8_t>(length >> (8 * i));
  std::copy(kTrailerMagic.begin(), kTrailerMagic.end(), trailer.begin() + kLengthFieldSize);
  return trailer;
}

TrailerCheck ReadMovie(Stream& executable, Stream& movie) {
  const int64_t file_size = executable.Size();
  if (file_size < kTrailerSize) return {};
  std::array<uint8_t, kTrailerSize> tail{};
  executable.Seek(-kTrailerSize, SeekOrigin::End);
  executable.ReadBuffer(tail.data(), tail.size());
  const TrailerCheck check = ParseTrailer(tail, file_size);
  if (check.status == TrailerStatus::Found) {
    executable.SetPosition(check.movie_offset);
    movie.CopyFrom(executable, check.movie_size);
  }
  return check;
}

bool ExtractMovie(const std::filesystem::path& executable,
                  const std::filesystem::path& movie_file) {
  MemoryStream buffer;
  {
    FileStream exe(executable, FileMode::ReadShared);
    const TrailerCheck check = ReadMovie(exe, buffer);
    if (check.status == TrailerStatus::Missing) return false;
    if (check.status == TrailerStatus::Damaged) {
      throw StreamError(DamagedText(executable, check, exe.Size()));
    }
  }
  WriteWholeFile(movie_file, buffer.Bytes());
  return true;
}

void AppendMovieBytes(Stream& output, std::span<const uint8_t> movie) {
  const auto trailer = MakeTrailer(static_cast<int64_t>(movie.size()));
  output.WriteBuffer(movie.data(), movie.size());
  output.WriteBuffer(trailer.data(), trailer.size());
}

void AppendMovie(const std::filesystem::path& player, const std::filesystem::path& movie,
                 const std::filesystem::path& output) {
  MemoryStream bytes;
  {
    FileStream in(player, FileMode::ReadShared);
    bytes.CopyRemainderFrom(in);
  }
  MemoryStream movie_bytes;
  {
    FileStream in(movie, FileMode::ReadShared);
    movie_bytes.CopyRemainderFrom(in);
  }
  AppendMovieBytes(bytes, movie_bytes.Bytes());
  WriteWholeFile(output, bytes.Bytes());
}

}  // namespace lumen::player
