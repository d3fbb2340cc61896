// Line input for the command loop.
#pragma once

#include <cstdio>
#include <string>

// Reads the next line of input into line, without its line end; a CR directly
// before the line feed is dropped, as a text stream does. A last line without
// a line end still counts. False once input has ended or failed with nothing read.
bool readLine(std::FILE* input, std::string& line);
