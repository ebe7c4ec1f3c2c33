#include "figures/markerlayout.h"

#include <QLineF>

#include <algorithm>
#include <cmath>

namespace fenlowick {

namespace {

// The spiral's points lie 0.55 radius × sqrt(step) out at the golden angle apart, so that
// they cover the disc around the wanted place evenly; 400 steps reach 11 radii, room for
// far more coinciding markers than a figure or the window ever has.
constexpr int kSpiralSteps = 400;
constexpr double kGoldenAngle = 2.39996; // radians
constexpr double kSpiralReach = 0.55;
constexpr double kSpare = 1.05;

} // namespace

bool MarkerLayout::clear(const QPointF& point, double radius) const {
    return std::none_of(m_placed.begin(), m_placed.end(), [&](const Placed& other) {
        return QLineF(point, other.centre).length() < kSpare * std::max(radius, other.radius);
    });
}

QPointF MarkerLayout::place(const QPointF& wanted, double radius) {
    QPointF point = wanted;
    for (int step = 0; step < kSpiralSteps; ++step) {
        const double angle = step * kGoldenAngle;
        const double reach = radius * kSpiralReach * std::sqrt(static_cast<double>(step));
        point = wanted + QPointF(reach * std::cos(angle), reach * std::sin(angle));
        if (clear(point, radius)) {
            break;
        }
    }
    m_placed.push_back({point, radius});
    return point;
}

} // namespace fenlowick
