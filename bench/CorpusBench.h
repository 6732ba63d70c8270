#pragma once

// The slowest movie of the corpus: which one costs the most per frame at its own stage size, and
// what the same movie costs at 1920 x 1080.

namespace lumen::bench {

// Prints the figures, or a line saying why there are none (no corpus found). `frames` caps how
// many frames of each movie are timed.
void PrintSlowestCorpusCase(int frames);

}  // namespace lumen::bench
