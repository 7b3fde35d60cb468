#include "platform/Region.h"

#include <stdexcept>

// Placeholder: the band implementation is being written.
namespace kalvio {

Region Region::FromRect(int32_t, int32_t, int32_t, int32_t) { throw std::logic_error("Region not implemented"); }
Region Region::FromRoundRect(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) { throw std::logic_error("Region not implemented"); }
Region Region::FromPolygon(std::span<const Point>) { throw std::logic_error("Region not implemented"); }
Region Region::Combine(const Region&, const Region&, CombineMode) { throw std::logic_error("Region not implemented"); }
bool Region::contains(int32_t, int32_t) const { return false; }
Rect Region::bounds() const { return {}; }
uint64_t Region::area() const { return 0; }
Region::Band Region::band(size_t i) const
{
    const BandRecord& r = m_bands[i];
    return { r.top, r.bottom, std::span<const Span>(m_spans.data() + r.firstSpan, r.spanCount) };
}
bool operator==(const Region& a, const Region& b) { return a.m_spans == b.m_spans && a.m_bands.size() == b.m_bands.size(); }
void RegionBuilder::addRect(const Rect&) { }
void RegionBuilder::addRegion(const Region&) { }
void RegionBuilder::addPolygon(std::span<const Point>) { }
Region RegionBuilder::build() { return {}; }

}
