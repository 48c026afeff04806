#pragma once

#include <string>
#include <string_view>

namespace history {

// The form names are compared in by a player search: every character in
// its simple case folding (so "Ü" and "ü", "Σ" and "ς" compare alike), and
// bytes that are no valid UTF-8 as they are. Both the stored names and the
// search text go through it. Simple folding keeps each character one
// character, so a text found in a folded name is found where it was.
std::string foldCase(std::string_view text);

}
