// Names a player can type. A player reaches a name only as the rest of a line
// "cd NAME" or "type NAME" typed at the prompt, byte for byte as dir lists it,
// so a name is typeable when it is what a keyboard sends and a terminal shows:
// valid UTF-8 without control characters (C0, DEL, C1), without a space at
// either end (a player reads "dir" by eye, and a space there goes unseen), and
// short enough for the line that carries it to fit a terminal's line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// A Linux terminal's line takes 4095 bytes before its line end; the longest
// name that "type " and that line still hold.
inline constexpr std::size_t kMaxTypeableNameBytes = 4095 - 5;

// Why a player cannot type name; empty when they can.
std::string untypeableReason(std::string_view name);

// text with each byte that is a control byte or not part of valid UTF-8
// written as \xHH, and each backslash doubled, so that a message shows it
// without driving the reader's terminal.
std::string shownBytes(std::string_view text);
