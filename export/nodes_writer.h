// The "nodes" section: one line per registered node with its index, quoted
// name and parent index.
#pragma once

#include "export/section_input.h"

namespace kw {

void WriteNodes(const SectionInput& input);

}  // namespace kw
