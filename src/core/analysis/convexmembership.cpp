#include "core/analysis/convexmembership.h"

#include <array>
#include <cstddef>

namespace fenlowick {

namespace {

__extension__ using Wide = unsigned __int128;

/// A 256-bit two's-complement integer, enough for the products below: a 5×5 determinant of
/// differences below 2^32 stays under 2^170, and one more product and sum under 2^206.
class Int256 {
public:
    Int256() = default;
    explicit Int256(std::int64_t value) {
        const std::uint64_t fill = value < 0 ? ~std::uint64_t{0} : 0;
        m_limbs = {static_cast<std::uint64_t>(value), fill, fill, fill};
    }

    Int256 operator+(const Int256& other) const {
        Int256 sum;
        Wide carry = 0;
        for (std::size_t i = 0; i < m_limbs.size(); ++i) {
            carry += static_cast<Wide>(m_limbs[i]) + other.m_limbs[i];
            sum.m_limbs[i] = static_cast<std::uint64_t>(carry);
            carry >>= 64;
        }
        return sum;
    }

    Int256 operator-() const {
        Int256 negated;
        for (std::size_t i = 0; i < m_limbs.size(); ++i) {
            negated.m_limbs[i] = ~m_limbs[i];
        }
        return negated + Int256(1);
    }

    Int256 operator-(const Int256& other) const { return *this + -other; }

    /// The product modulo 2^256, which is the product itself while it fits.
    Int256 operator*(const Int256& other) const {
        Int256 product;
        for (std::size_t i = 0; i < m_limbs.size(); ++i) {
            Wide carry = 0;
            for (std::size_t j = 0; i + j < m_limbs.size(); ++j) {
                carry += static_cast<Wide>(m_limbs[i]) * other.m_limbs[j] + product.m_limbs[i + j];
                product.m_limbs[i + j] = static_cast<std::uint64_t>(carry);
                carry >>= 64;
            }
        }
        return product;
    }

    int sign() const {
        if (m_limbs.back() >> 63) {
            return -1;
        }
        for (std::uint64_t limb : m_limbs) {
            if (limb != 0) {
                return 1;
            }
        }
        return 0;
    }

    bool operator==(const Int256&) const = default;

private:
    std::array<std::uint64_t, 4> m_limbs{};
};

using Column = std::array<Int256, 5>;

/// The determinant of the r×r matrix whose column j is columns[j] restricted to the
/// coordinates `rows` (r ≤ 5), by expansion along the first row.
Int256 determinant(const std::array<Column, 5>& columns, const std::array<int, 5>& rows, int r,
                   int first = 0, unsigned usedColumns = 0) {
    if (first == r) {
        return Int256(1);
    }
    Int256 sum;
    bool negative = false;
    for (int j = 0; j < r; ++j) {
        if (usedColumns & (1u << j)) {
            continue;
        }
        const Int256& entry =
            columns[static_cast<std::size_t>(j)]
                   [static_cast<std::size_t>(rows[static_cast<std::size_t>(first)])];
        if (entry.sign() != 0) {
            const Int256 term =
                entry * determinant(columns, rows, r, first + 1, usedColumns | (1u << j));
            sum = negative ? sum - term : sum + term;
        }
        negative = !negative;
    }
    return sum;
}

/// Whether `p` lies in the simplex of the points chosen by `subset`, which count r + 1.
/// False too when those points are affinely dependent: a smaller subset then stands for them.
bool inSimplex(const std::vector<LatticeVector>& points, const std::vector<std::size_t>& subset,
               const LatticeVector& p) {
    const std::size_t dims = p.size();
    const LatticeVector& origin = points[subset[0]];
    const int r = static_cast<int>(subset.size()) - 1;
    std::array<Column, 5> edges{};
    Column target{};
    for (std::size_t c = 0; c < dims; ++c) {
        target[c] = Int256(p[c] - origin[c]);
        for (int j = 0; j < r; ++j) {
            edges[static_cast<std::size_t>(j)][c] =
                Int256(points[subset[static_cast<std::size_t>(j) + 1]][c] - origin[c]);
        }
    }
    if (r == 0) {
        for (std::size_t c = 0; c < dims; ++c) {
            if (target[c].sign() != 0) {
                return false;
            }
        }
        return true;
    }

    // Some r coordinates in which the edges are independent.
    std::array<int, 5> rows{};
    Int256 whole;
    bool found = false;
    for (unsigned mask = 0; mask < (1u << dims) && !found; ++mask) {
        if (__builtin_popcount(mask) != r) {
            continue;
        }
        int n = 0;
        for (std::size_t c = 0; c < dims; ++c) {
            if (mask & (1u << c)) {
                rows[static_cast<std::size_t>(n++)] = static_cast<int>(c);
            }
        }
        whole = determinant(edges, rows, r);
        found = whole.sign() != 0;
    }
    if (!found) {
        return false;
    }

    // Cramer's rule: weight j is parts[j] / whole; the origin's weight is the rest.
    std::array<Int256, 5> parts{};
    Int256 rest = whole;
    for (int j = 0; j < r; ++j) {
        std::array<Column, 5> replaced = edges;
        replaced[static_cast<std::size_t>(j)] = target;
        parts[static_cast<std::size_t>(j)] = determinant(replaced, rows, r);
        rest = rest - parts[static_cast<std::size_t>(j)];
    }
    const int orientation = whole.sign();
    if (rest.sign() * orientation < 0) {
        return false;
    }
    for (int j = 0; j < r; ++j) {
        if (parts[static_cast<std::size_t>(j)].sign() * orientation < 0) {
            return false;
        }
    }
    // The weights must reproduce the coordinates not used to find them.
    for (std::size_t c = 0; c < dims; ++c) {
        Int256 combined;
        for (int j = 0; j < r; ++j) {
            combined = combined +
                       parts[static_cast<std::size_t>(j)] * edges[static_cast<std::size_t>(j)][c];
        }
        if (!(combined == whole * target[c])) {
            return false;
        }
    }
    return true;
}

/// Tries every subset of `size` points in turn.
bool anySimplexHolds(const std::vector<LatticeVector>& points, const LatticeVector& p,
                     std::size_t size, std::size_t start, std::vector<std::size_t>& subset) {
    if (subset.size() == size) {
        return inSimplex(points, subset, p);
    }
    for (std::size_t i = start; i < points.size(); ++i) {
        subset.push_back(i);
        const bool holds = anySimplexHolds(points, p, size, i + 1, subset);
        subset.pop_back();
        if (holds) {
            return true;
        }
    }
    return false;
}

} // namespace

bool inConvexHull(const std::vector<LatticeVector>& points, const LatticeVector& p) {
    std::vector<std::size_t> subset;
    for (std::size_t size = 1; size <= points.size() && size <= p.size() + 1; ++size) {
        if (anySimplexHolds(points, p, size, 0, subset)) {
            return true;
        }
    }
    return false;
}

} // namespace fenlowick
