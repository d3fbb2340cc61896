// The text of a regular-file node.
#pragma once

#include <optional>
#include <string>

#include "content_transform.h"
#include "fs/file.h"

// The text that type shows for the regular-file node: README.txt as stored,
// any other file turned back from its stored form. When there is none, the
// fault says why and text is left unspecified.
StoredFormFault nodeText(const file& node, std::string& text);

// The plain text of node's stored content, as a new string; nothing when the
// content breaks the stored form's limits. The node is never changed.
std::optional<std::string> file_decrypt(file* node);
