// Names go into the SMD between double quotes, one to a line, as the scene
// gives them. A double quote or a line break inside a name would end it, or
// the line, early and corrupt the file; such a character is written as '_'
// and the writer warns once for the name.
#pragma once

#include <string>
#include <string_view>

namespace kw {

// True when the name holds a character that cannot stand between quotes.
bool NeedsReplacing(std::string_view name);

// The name with each '"', '\n' and '\r' replaced by '_'.
std::string QuotableName(std::string_view name);

}  // namespace kw
