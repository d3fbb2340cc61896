// The banner drawn as the program starts.
#pragma once

#include <string_view>

// Drawn only in o, O, Q and punctuation so that it reads the same in any
// code page; written in one piece, opening and closing with a line end.
extern const std::string_view kBanner;
