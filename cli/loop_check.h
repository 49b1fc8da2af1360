// Whether a sequence loops: its last pose is its first, as near as a cycle
// whose last frame stops one step short of its first comes (a run at 30 fps
// moves a limb about 0.1 rad a frame).
#pragma once

#include "smd/smd_file.h"

namespace kw {

// Every node's position within this share of the model's size, and its
// rotation within this angle, between the first and last frame.
constexpr double kLoopPositionShare = 0.01;
constexpr double kLoopRadians = 0.15;

// The first and last frame of the sequence as written agree; a sequence of
// one frame does not loop. modelSize: the reference's longest side.
bool PosesAgree(const smd::File& sequence, double modelSize);

}  // namespace kw
