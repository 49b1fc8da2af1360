// Shape names as the QC's flex controllers take them: names the compiler
// reads as one word, none the same as another.
#pragma once

#include <string>
#include <vector>

namespace kw {

struct ControllerName {
  std::string name;
  bool changed = false;  // not the name it was made from
};

// Longest name made, in bytes, with any "_<n>" that tells it apart.
constexpr std::size_t kMaxControllerName = 63;

// One per name, in order: every byte other than an ASCII letter, digit or
// '_' becomes '_', a name starting with a digit gets a '_' before it, an
// empty one becomes "flex", a long one is cut to kMaxControllerName bytes,
// and a name equal to an earlier one (ignoring case, as the compiler looks
// names up) gets "_2", "_3", ... appended.
std::vector<ControllerName> MakeControllerNames(const std::vector<std::string>& names);

}  // namespace kw
