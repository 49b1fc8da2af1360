// Bytes of a file shown to a person: on a terminal, in a log, in a picture.
// A name in an SMD may hold any byte; shown raw, an escape sequence moves the
// cursor or retitles the window, a line break forges a line, and bytes that
// are not UTF-8 make a text library refuse the whole string.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kw::smd {

// The text as valid UTF-8 with nothing that acts on a terminal: control
// characters (C0, DEL, C1, the line and paragraph separators, the
// bidirectional overrides) become \u00XX or \uXXXX, and bytes that are not
// UTF-8 become \xNN. At most maxBytes of the input are taken, never half a
// character, and "..." marks a cut.
std::string PrintableText(std::string_view text, std::size_t maxBytes = std::string_view::npos);

// The length of text's longest prefix of at most maxBytes that does not end
// inside a UTF-8 character.
std::size_t Utf8Prefix(std::string_view text, std::size_t maxBytes);

}  // namespace kw::smd
