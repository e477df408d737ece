// Every copper shape here is convex, so its signed distance to the edge (positive
// inside) is a minimum of linear functions and therefore concave. Over a round hole the
// least distance is the centre's less the radius; a slot is a segment widened by its
// radius, and a concave function is least at an end of a segment, so the slot's ring is
// the lesser of its two end circles' rings. No sampling is needed.
#include "core/copper_ring.hpp"

#include <algorithm>
#include <cmath>

namespace rz {

namespace {

// Signed distance of (x, y) to the edge of a rect of half sizes (a, b) with corners
// rounded by r (r = 0: sharp), centred at the origin; positive inside.
double InsideRoundedRect(double x, double y, double a, double b, double r) {
    const double qx = std::abs(x) - (a - r);
    const double qy = std::abs(y) - (b - r);
    const double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0));
    const double inside = std::min(std::max(qx, qy), 0.0);
    return r - outside - inside;
}

double InsideCopper(const CopperShape& c, double x, double y) {
    const double a = c.SizeX / 2.0;
    const double b = c.SizeY / 2.0;
    switch (c.Shape) {
    case PadShape::Circle:
        return a - std::hypot(x, y);
    case PadShape::Oval:
        return InsideRoundedRect(x, y, a, b, std::min(a, b));
    case PadShape::RoundRect:
        return InsideRoundedRect(x, y, a, b,
                                 std::clamp<double>(c.RoundRatio, 0.0, 0.5) * 2 * std::min(a, b));
    default:
        return InsideRoundedRect(x, y, a, b, 0);
    }
}

} // namespace

double CopperRing(const CopperShape& copper, const HoleShape& hole) {
    const double radius = std::min(hole.SizeX, hole.SizeY) / 2;
    const double half = std::abs(hole.SizeX - hole.SizeY) / 2; // half the slot's straight part
    const double ex = hole.SizeX > hole.SizeY ? half : 0;
    const double ey = hole.SizeY > hole.SizeX ? half : 0;
    // The copper's centre lies at its offset from the hole's centre.
    const auto at = [&](double x, double y) {
        return InsideCopper(copper, x - copper.OffsetX, y - copper.OffsetY);
    };
    return std::min(at(ex, ey), at(-ex, -ey)) - radius;
}

double LeastRing(const BoardRecords& records, const HoleRecord& hole, const HoleShape& size) {
    double least = CopperRing(hole.Copper, size);
    for (uint32_t k = 0; k < hole.Layers; ++k) {
        least = std::min(least, CopperRing(records.LayerCopper[hole.FirstLayer + k], size));
    }
    return least;
}

} // namespace rz
