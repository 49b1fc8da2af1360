// Collision models for the compiler, made from a render mesh. A convex hull
// comes from qhull over a part's points (convex_hull.h): flat or straight
// points get a thin solid, and a hull of more than kDefaultMaxVertices
// corners is cut to that many by qhull's own greedy order (always the point
// farthest outside), then grown back over every point it left out
// (hull_expansion.h), so it holds its part and has at most 48 triangles with
// smooth normals. A prop's mesh splits into connected parts
// (connected_parts.h) whose hulls merge down to the compiler's piece limit
// (merge_to_limit.h); a character gets one hull per bone over the vertices
// that bone moves most (bone_hulls.h). WriteCollisionSmd (collision_smd.h)
// writes <model>_phys.smd. docs/collision.md tells the rules and their
// figures; the functions keep no state and may run on several threads.
#pragma once

#include "collision/bone_hulls.h"
#include "collision/collision_smd.h"
#include "collision/connected_parts.h"
#include "collision/convex_hull.h"
#include "collision/merge_to_limit.h"
