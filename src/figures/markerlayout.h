#pragma once

#include <QPointF>

#include <vector>

namespace fenlowick {

/// Places markers one after another so that none hides another, moving each by as little as
/// it takes. Figures and the isotope-space window place their markers through it, in the
/// order in which the earlier ones matter more (they stay where they belong).
class MarkerLayout {
public:
    /// Where a marker of `radius` (in drawing units) that belongs at `wanted` is drawn:
    /// `wanted` itself when no marker placed before has its centre within the larger of the
    /// two radii (with 5 % to spare), otherwise the first clear point of a widening spiral
    /// around `wanted`. The marker then counts as placed.
    QPointF place(const QPointF& wanted, double radius);

private:
    struct Placed {
        QPointF centre;
        double radius = 0.0;
    };
    bool clear(const QPointF& point, double radius) const;

    std::vector<Placed> m_placed;
};

} // namespace fenlowick
