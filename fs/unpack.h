// The shell's tree, unpacked once from the linked image.
#pragma once

#include "file.h"

extern file* root;
extern file* cwd;

// Builds the tree from FS_raw and sets root and cwd to its root; on a bad image
// the process ends through the crash path.
void unpackFileSystem();
