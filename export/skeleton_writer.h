// The "skeleton" section: a "time" line and one pose line per node for the
// single pose at tick 0 of a reference export, or for every frame of a
// sequence's range, forwards or backwards.
#pragma once

#include "export/section_input.h"

namespace kw {

void WriteSkeleton(const SectionInput& input);

// The angle rule of the pose lines, on its own so that it can be pinned for
// values no rotation decomposition gives.

// Twice pi as the modelling package keeps it: the float 6.2831855 (bits 0x40C90FDB).
constexpr float kSkeletonTwoPi = 6.28318548202514648438f;

// Removes whole turns of kSkeletonTwoPi until the angle lies strictly between
// -kSkeletonTwoPi and kSkeletonTwoPi; an angle already there, and one that is
// not finite, comes back unchanged. Single precision throughout.
float WrapSkeletonAngle(float angle);

}  // namespace kw
