// Texts that read like someone's notes, to fill the maze's decoy files.
#pragma once

#include <cstddef>
#include <string>

#include "prng.h"

// A text of minBytes to maxBytes bytes, ending in a line end, of sentences
// wrapped at kDecoyLineWidth columns; maxBytes - minBytes must be at least 15.
std::string decoyText(MazeRandom& random, std::size_t minBytes, std::size_t maxBytes);

inline constexpr std::size_t kDecoyLineWidth = 72;
