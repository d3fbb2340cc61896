// The text of a regular-file node.
#pragma once

#include <optional>
#include <string>

#include "fs/file.h"

// The plain text of node's stored content, as a new string; nothing when the
// content breaks the stored form's limits. The node is never changed.
std::optional<std::string> file_decrypt(file* node);
