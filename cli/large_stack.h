// Runs the tool's work on a thread with a large stack. assimp's readers
// recurse once per level of a file's node tree, and a hostile file nests
// far deeper than the usual 8 MiB main stack allows; the reserve is address
// space only until it is used.
#pragma once

#include <functional>

namespace kw {

// The body's result; runs it on the calling thread when no such thread can
// be made.
int RunOnLargeStack(const std::function<int()>& body);

}  // namespace kw
