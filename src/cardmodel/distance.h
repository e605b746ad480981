#pragma once

// A length on a card or a page, held in millimetres. Every position and size
// of the card model is one; points and device pixels come from here only.

#include <QRectF>

namespace tessary {

class Distance
{
public:
    static constexpr double kMmPerInch = 25.4;
    static constexpr double kPointsPerInch = 72;

    constexpr Distance() = default;
    static constexpr Distance mm(double v) { return Distance(v); }
    static constexpr Distance points(double pt) { return Distance(pt * kMmPerInch / kPointsPerInch); }

    constexpr double toMm() const { return m_mm; }
    constexpr double toPoints() const { return m_mm * kPointsPerInch / kMmPerInch; }
    // Device pixels at `dotsPerInch`.
    constexpr double toPixels(double dotsPerInch) const { return m_mm * dotsPerInch / kMmPerInch; }
    // Device pixels per millimetre at `dotsPerInch`.
    static constexpr double pixelsPerMm(double dotsPerInch) { return dotsPerInch / kMmPerInch; }

    constexpr Distance operator+(Distance o) const { return Distance(m_mm + o.m_mm); }
    constexpr Distance operator-(Distance o) const { return Distance(m_mm - o.m_mm); }
    constexpr Distance operator*(double f) const { return Distance(m_mm * f); }
    constexpr Distance operator/(double f) const { return Distance(m_mm / f); }
    constexpr Distance operator-() const { return Distance(-m_mm); }
    constexpr auto operator<=>(const Distance &) const = default;

private:
    constexpr explicit Distance(double mm) : m_mm(mm) {}
    double m_mm = 0;
};

// A box in millimetres: left, top, width, height.
struct MmBox
{
    Distance left, top, width, height;

    QRectF toRectF() const { return QRectF(left.toMm(), top.toMm(), width.toMm(), height.toMm()); }
    static MmBox fromRectF(const QRectF &r)
    {
        return {Distance::mm(r.left()), Distance::mm(r.top()), Distance::mm(r.width()), Distance::mm(r.height())};
    }
    bool operator==(const MmBox &) const = default;
};

} // namespace tessary
