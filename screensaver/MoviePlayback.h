#pragma once

#include <windows.h>

namespace lumen::saver {

// Writes the movie resource to the temporary movie file and plays it in a control hosted over the
// whole client area of `window`.
void StartMoviePlayback(HWND window);
// Releases the control, destroys its host window and then deletes the temporary movie file.
void StopMoviePlayback();

}  // namespace lumen::saver
