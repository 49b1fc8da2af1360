// The simplified hull grown back over the points it left out. Each point
// outside lies in the cone from the hull's centre through one face plane (the
// one its ray leaves by); that face's corners move away from the centre by
// the factor that puts the point under the plane. A corner on several faces
// takes the largest factor. The hull of the moved corners holds the pyramid
// of the centre and every grown face, so every point, and it has no more
// corners: only the faces with points beyond them grow.
#pragma once

#include <vector>

#include "collision/qhull_run.h"

namespace kw::collision {

// xyz: every point in threes, the hull's corners among them. The moved
// corners in threes, or nothing when every point is already inside.
// One pass of every point against every face.
std::vector<double> ExpandToContain(const std::vector<double>& xyz, const QhullFacets& hull);

}  // namespace kw::collision
