#pragma once

#include <span>
#include <string_view>

namespace lumen::saver {

// The movie path buffer: the system's maximum path length, terminator included.
inline constexpr size_t kMoviePathSize = 260;
inline constexpr char kMovieFileName[] = "QvTemp.swf";

// Builds the movie path from the temporary folder as the system reports it: every "\" becomes
// "/", then "/" and the file name follow (so "C:\TEMP\" gives "C:/TEMP//QvTemp.swf"). Answers
// false, leaving `path` an empty string, when the result with its terminator does not fit.
bool BuildMoviePath(std::string_view temp_folder, std::span<char, kMoviePathSize> path);

}  // namespace lumen::saver
