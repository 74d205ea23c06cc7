// Package names and catalogue text come from whoever made the package: a
// name holding ESC sequences or other control bytes could rewrite the
// terminal drvpack prints to. Everything drvpack prints from a package
// passes through here.
#pragma once

#include <string>

namespace drvpack {

// `text` with every control byte (below 0x20, 0x7F) and every byte of 0x80
// or above (C1 controls, direction overrides in UTF-8) written as \xNN.
std::string PrintableText(const std::string& text);

}  // namespace drvpack
