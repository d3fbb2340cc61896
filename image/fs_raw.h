// The file-system image linked into the executable.
#pragma once

#include <cstdint>

extern "C" const char FS_raw[];
extern "C" const std::uint32_t FS_raw_len;
