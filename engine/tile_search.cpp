#include "engine/tile_search.h"

#include "imaging/program_random.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

// The ranking of candidates dominates the search. The plain loops (GetGoodTileList,
// CellDistance, ZoneDistance) define the result; the passes use TileRanker, which lays the
// tile colours out as contiguous arrays, skips candidates whose lower bound or partial
// distance already rules them out, and evaluates the plain distance for everything else, so
// the chosen tiles are the same bit for bit.

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define VANTOREL_VECTOR_KERNEL __attribute__((target_clones("avx2", "default")))
#else
#define VANTOREL_VECTOR_KERNEL
#endif

namespace vantorel::engine {

namespace {

constexpr std::int32_t kRoundTileShape = 20;
constexpr int kRotations = 12;
constexpr int kRegions = 5; // ci1 and the four quarters

int tileCount(const tilelib::TTilelib& lib) {
    return std::clamp<std::int32_t>(lib.Count, 0, tilelib::kTileSlots);
}
int gridRows(const TprojectCFG& c) {
    return std::clamp<std::int32_t>(c.Vcc, 0, kGridSide);
}
int gridColumns(const TprojectCFG& c) {
    return std::clamp<std::int32_t>(c.Hcc, 0, kGridSide);
}
int addonCount(const TprojectCFG& c) {
    return std::clamp<std::int32_t>(c.AddonTilesCount, 0, kAddonCells);
}

// Trunc into int32, defined for every Double (NaN gives 0, out of range saturates).
std::int32_t truncDiff(double d) {
    if (std::isnan(d)) return 0;
    if (d >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
    if (d <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(d);
}

const imaging::TColorInfo15& region(const TimgColorInfo& c, int q) {
    return q == 0 ? c.ci1 : c.ci4[q - 1];
}

std::int32_t rgbSquare(const imaging::Trgba& a, const imaging::Trgba& b) {
    const std::int32_t dr = a.r - b.r, dg = a.g - b.g, db = a.b - b.b;
    return dr * dr + dg * dg + db * db;
}

// A cell's (or tile's) five region colours, the probe of the distance kernel.
struct RegionProbe {
    std::int32_t r[kRegions], g[kRegions], b[kRegions];
    float L[kRegions];
    explicit RegionProbe(const TimgColorInfo& c) {
        for (int q = 0; q < kRegions; ++q) {
            const auto& x = region(c, q);
            r[q] = x.rgba.r;
            g[q] = x.rgba.g;
            b[q] = x.rgba.b;
            L[q] = x.Lab.X;
        }
    }
};

// The five region colours of many records, one contiguous array per region and channel,
// padded to whole vector blocks.
struct RegionArrays {
    int n = 0;
    int stride = 0;
    std::vector<std::int32_t> rgb; // [region][channel][record]
    std::vector<float> L;          // [region][record]

    void resize(int count) {
        n = count;
        stride = (count + 15) / 16 * 16;
        rgb.assign(std::size_t(stride) * kRegions * 3, 0);
        L.assign(std::size_t(stride) * kRegions, 0.0f);
    }
    void set(int i, const TimgColorInfo& c) {
        for (int q = 0; q < kRegions; ++q) {
            const auto& x = region(c, q);
            rgb[std::size_t((q * 3 + 0) * stride + i)] = x.rgba.r;
            rgb[std::size_t((q * 3 + 1) * stride + i)] = x.rgba.g;
            rgb[std::size_t((q * 3 + 2) * stride + i)] = x.rgba.b;
            L[std::size_t(q * stride + i)] = x.Lab.X;
        }
    }
};

// Approximate CellDistance from the probe to every record (float; exact for RGB match).
// out holds a.stride values.
VANTOREL_VECTOR_KERNEL
void approxCellDistances(const RegionArrays& a, const RegionProbe& p, float wl, float wc,
                         bool rgbMatch, float* __restrict out) {
    const int n = a.stride;
    const std::int32_t* __restrict rgb = a.rgb.data();
    const float* __restrict lab = a.L.data();
    std::int32_t pr[kRegions], pg[kRegions], pb[kRegions];
    float pl[kRegions];
    for (int q = 0; q < kRegions; ++q) {
        pr[q] = p.r[q];
        pg[q] = p.g[q];
        pb[q] = p.b[q];
        pl[q] = p.L[q];
    }
    const float lw = rgbMatch ? 0.0f : wl;
    const float cw = rgbMatch ? 1.0f : wc;
    for (int i = 0; i < n; ++i) {
        std::int32_t c = 0;
        float l = 0;
        for (int q = 0; q < kRegions; ++q) {
            const std::int32_t dr = pr[q] - rgb[(q * 3 + 0) * n + i];
            const std::int32_t dg = pg[q] - rgb[(q * 3 + 1) * n + i];
            const std::int32_t db = pb[q] - rgb[(q * 3 + 2) * n + i];
            c += dr * dr + dg * dg + db * db;
            const float dl = pl[q] - lab[q * n + i];
            l += dl * dl;
        }
        out[i] = lw * l + cw * static_cast<float>(c);
    }
}

// The approximation above is within a few float roundings of the exact sum of non-negative
// terms; a value at or above this threshold is certainly not below limit.
double approxPruneThreshold(double limit) {
    return limit * 1.0001 + 0.01;
}

// Zones stored most-weighted rows first so partial sums grow fast and prune early.
constexpr int kZoneOrder[64] = {24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39,
                                16, 17, 18, 19, 20, 21, 22, 23, 40, 41, 42, 43, 44, 45, 46, 47,
                                8,  9,  10, 11, 12, 13, 14, 15, 48, 49, 50, 51, 52, 53, 54, 55,
                                0,  1,  2,  3,  4,  5,  6,  7,  56, 57, 58, 59, 60, 61, 62, 63};
constexpr int kZoneSlots = 64 * 4; // r, g, b and a zero pad per zone
constexpr int kChunkSlots = 64;    // 16 zones between two pruning checks

void packZones(const TimgColorInfo& c, std::int16_t* out) {
    for (int i = 0; i < 64; ++i) {
        const auto& px = c.ci64[kZoneOrder[i]].rgba;
        out[i * 4 + 0] = px.r;
        out[i * 4 + 1] = px.g;
        out[i * 4 + 2] = px.b;
        out[i * 4 + 3] = 0;
    }
}

// Weighted squared zone differences plus start, or any partial sum >= limit once one is
// reached (checked every 16 zones); |d| <= 255 and w * d <= 2550 fit int16.
VANTOREL_VECTOR_KERNEL
std::int32_t zoneDistanceLimited(const std::int16_t* __restrict cell,
                                 const std::int16_t* __restrict tile,
                                 const std::int16_t* __restrict weight, std::int32_t start,
                                 std::int32_t limit) {
    std::int32_t acc = start;
    for (int chunk = 0; chunk < kZoneSlots; chunk += kChunkSlots) {
        if (acc >= limit) return acc;
        std::int32_t part = 0;
        for (int i = chunk; i < chunk + kChunkSlots; ++i) {
            const auto d = static_cast<std::int16_t>(cell[i] - tile[i]);
            const auto wd = static_cast<std::int16_t>(weight[i] * d);
            part += static_cast<std::int32_t>(wd) * static_cast<std::int32_t>(d);
        }
        acc += part;
    }
    return acc;
}

// Squared differences of the zone-weighted channel sums, the Cauchy-Schwarz lower bound
// of ZoneDistance times 424 (float; see roundBoundPrunes for the margin).
VANTOREL_VECTOR_KERNEL
void weightedSumBounds(const std::int32_t* sr, const std::int32_t* sg, const std::int32_t* sb,
                       int n, std::int32_t cr, std::int32_t cg, std::int32_t cb, float* out) {
    for (int i = 0; i < n; ++i) {
        const auto dr = static_cast<float>(cr - sr[i]);
        const auto dg = static_cast<float>(cg - sg[i]);
        const auto db = static_cast<float>(cb - sb[i]);
        out[i] = dr * dr + dg * dg + db * db;
    }
}

// The smallest float bound424 for which the bound proves ZoneDistance >= limit:
// sum_z w_z d_z^2 >= (sum_z w_z d_z)^2 / 424 per channel, and the float squares are within
// 1e-6 of the exact ones; rounded up, so it never proves more.
float roundBoundCut(std::int32_t limit) {
    return std::nextafter(
        static_cast<float>(double(imaging::kZoneWeightSum) * double(limit) * 1.00001 + 1.0),
        std::numeric_limits<float>::infinity());
}

// Zone-weighted channel sums of the four quarters of zones, [quarter][channel].
void quarterSums(const TimgColorInfo& c, std::int32_t* out) {
    for (int i = 0; i < 12; ++i)
        out[i] = 0;
    for (int z = 0; z < 64; ++z) {
        const int q = ((z / 8) / 4) * 2 + (z % 8) / 4;
        const std::int32_t w = imaging::ZoneWeight[z];
        out[q * 3 + 0] += w * c.ci64[z].rgba.r;
        out[q * 3 + 1] += w * c.ci64[z].rgba.g;
        out[q * 3 + 2] += w * c.ci64[z].rgba.b;
    }
}
constexpr std::int64_t kQuarterWeight = 106; // each quarter of ZoneWeight sums to 106

void weightedSums(const TimgColorInfo& c, std::int32_t& r, std::int32_t& g, std::int32_t& b) {
    r = g = b = 0;
    for (int z = 0; z < 64; ++z) {
        const std::int32_t w = imaging::ZoneWeight[z];
        r += w * c.ci64[z].rgba.r;
        g += w * c.ci64[z].rgba.g;
        b += w * c.ci64[z].rgba.b;
    }
}

} // namespace

// ---------------------------------------------------------------------------------------
// Distances, repeat rules and the plain ranking

namespace {

// The five coarse regions of a tile, kept compact for the exact distance of candidates.
struct CoarseColour {
    imaging::TColorInfo15 q[kRegions];
};
const imaging::TColorInfo15& region(const CoarseColour& c, int q) {
    return c.q[q];
}
CoarseColour coarse(const TimgColorInfo& c) {
    CoarseColour out;
    for (int q = 0; q < kRegions; ++q)
        out.q[q] = region(c, q);
    return out;
}

// One definition for every caller, so the fast ranking gets the same Double bit for bit.
template <class A, class B> double cellDistanceOf(const A& a, const B& b, const TSearchOpts& opts) {
    double sum = 0;
    if (opts.RGBMatch) {
        for (int q = 0; q < kRegions; ++q)
            sum += rgbSquare(region(a, q).rgba, region(b, q).rgba);
        return sum;
    }
    const double wl = opts.WeightL;
    const double wc = opts.WeightC;
    for (int q = 0; q < kRegions; ++q) {
        const double dL = double(region(a, q).Lab.X) - double(region(b, q).Lab.X);
        sum += wl * (dL * dL) + wc * rgbSquare(region(a, q).rgba, region(b, q).rgba);
    }
    return sum;
}

} // namespace

double CellDistance(const TimgColorInfo& a, const TimgColorInfo& b, const TSearchOpts& opts) {
    return cellDistanceOf(a, b, opts);
}

std::int32_t ZoneDistance(const TimgColorInfo& a, const TimgColorInfo& b) {
    std::int32_t sum = 0;
    for (int k = 0; k < 64; ++k)
        sum += imaging::ZoneWeight[k] * rgbSquare(a.ci64[k].rgba, b.ci64[k].rgba);
    return sum + rgbSquare(a.ci1.rgba, b.ci1.rgba);
}

namespace {

// Calls visit(TileID) for every cell inside the repeat window of cell; stops when it
// returns true and reports that.
template <class Visit>
bool anyInRepeatWindow(const MosaicContext& ctx, const TCell& cell, Visit visit) {
    const TMosaicProject& p = *ctx.mproject;
    const std::int64_t R = ctx.SearchOpts.RepeatRadius;
    if (p.cfg.ProjectPatternType == kPatternGrid) {
        const std::int64_t c0 = std::max<std::int64_t>(0, std::int64_t(cell.CellX) - R);
        const std::int64_t c1 =
            std::min<std::int64_t>(gridColumns(p.cfg) - 1, std::int64_t(cell.CellX) + R);
        const std::int64_t r0 = std::max<std::int64_t>(0, std::int64_t(cell.CellY) - R);
        const std::int64_t r1 =
            std::min<std::int64_t>(gridRows(p.cfg) - 1, std::int64_t(cell.CellY) + R);
        for (std::int64_t r = r0; r <= r1; ++r)
            for (std::int64_t c = c0; c <= c1; ++c)
                if (visit(p.Cells[r][c].TileID)) return true;
    } else if (p.cfg.ProjectPatternType == kPatternRings) {
        const std::int64_t i0 = std::max<std::int64_t>(0, std::int64_t(cell.CellAID) - R);
        const std::int64_t i1 =
            std::min<std::int64_t>(addonCount(p.cfg) - 1, std::int64_t(cell.CellAID) + R);
        for (std::int64_t i = i0; i <= i1; ++i)
            if (visit(p.AddonTiles[i].TileID)) return true;
    }
    return false;
}

} // namespace

bool TileAvailabilityCheck(const MosaicContext& ctx, const TCell& cell, int tile) {
    const TSearchOpts& o = ctx.SearchOpts;
    if (o.RepeatMaxOn && tile >= 0 && tile < tilelib::kTileSlots &&
        ctx.ProjectTileLib->items[tile].usecount >= o.RepeatMax)
        return false;
    if (!o.RepeatRadiusOn) return true;
    return !anyInRepeatWindow(ctx, cell, [tile](std::int32_t id) { return id == tile; });
}

void GetGoodTileList(const MosaicContext& ctx, const TCell& cell, TGoodTileList& list,
                     bool ignoreAvailability) {
    list.clear();
    const tilelib::TTilelib& lib = *ctx.ProjectTileLib;
    const int n = tileCount(lib);
    if (ctx.mproject->cfg.BaseTileShape == kRoundTileShape) {
        for (int t = 0; t < n; ++t) {
            if (lib.ItemEnable[t] == 0) continue;
            if (!ignoreAvailability && !TileAvailabilityCheck(ctx, cell, t)) continue;
            std::int32_t best = ZoneDistance(cell.ICinfo, lib.items[t].ICinfoRot[0]);
            int rotation = 0;
            for (int k = 1; k < kRotations; ++k) {
                const std::int32_t d = ZoneDistance(cell.ICinfo, lib.items[t].ICinfoRot[k]);
                if (d < best) {
                    best = d;
                    rotation = k;
                }
            }
            list.TryAddTile_R(t, rotation, best);
        }
        return;
    }
    for (int t = 0; t < n; ++t) {
        if (lib.ItemEnable[t] == 0) continue;
        if (!ignoreAvailability && !TileAvailabilityCheck(ctx, cell, t)) continue;
        list.TryAddTile(t,
                        truncDiff(CellDistance(cell.ICinfo, lib.items[t].ICinfo, ctx.SearchOpts)));
    }
}

// ---------------------------------------------------------------------------------------
// The fast ranking

namespace {

// Ranks candidates exactly as GetGoodTileList does for the library and options it was built
// from. Tile colours and ItemEnable must not change while it is in use; use counts and cell
// tiles may.
//
// Offering candidates in index order to a list that keeps the 100 best, ties behind, leaves
// the list holding the first 100 of all candidates ordered by (distance, index), whatever
// else was offered on the way (and, when fewer arrive, the cleared entries shifted by their
// number). So only tiles that can be among those 100 need an exact distance: those below a
// limit L. The ranking guesses L from the previous cell, offers every tile whose lower bound
// is below it, and accepts the result when the list is full with its last entry below L;
// otherwise it retries with a larger L (at the end, no limit at all).
class TileRanker {
  public:
    explicit TileRanker(const MosaicContext& ctx)
        : m_lib(*ctx.ProjectTileLib), m_count(tileCount(m_lib)),
          m_round(ctx.mproject->cfg.BaseTileShape == kRoundTileShape),
          m_seen(tilelib::kTileSlots, 0) {
        const TSearchOpts& o = ctx.SearchOpts;
        m_rgb = o.RGBMatch != 0;
        m_wl = o.WeightL;
        m_wc = o.WeightC;
        // The float approximation only bounds sums of non-negative terms.
        m_approxUsable =
            m_rgb || (m_wl >= 0 && m_wc >= 0 && std::isfinite(m_wl) && std::isfinite(m_wc));
        if (m_round)
            buildRound();
        else
            buildRect();
        m_approx.resize(std::size_t(std::max({1, m_regions.stride, m_count * kRotations})));
        m_candidates.reserve(std::size_t(std::max(1, m_count)));
        m_uses.assign(std::size_t(std::max(1, m_count)), 0);
        syncUseCounts();
    }

    // Use counts are mirrored compactly (the tile records are 32 KB apart): read them all
    // here, then hear of every assignment.
    void syncUseCounts() {
        for (int t = 0; t < m_count; ++t)
            m_uses[std::size_t(t)] = m_lib.items[t].usecount;
    }
    void assigned(int tile) {
        if (tile >= 0 && tile < m_count) ++m_uses[std::size_t(tile)];
    }

    void rank(const MosaicContext& ctx, const TCell& cell, TGoodTileList& list,
              bool ignoreAvailability) {
        list.clear();
        m_checkRepeat = !ignoreAvailability;
        if (m_checkRepeat) gatherRepeatWindow(ctx, cell);
        if (m_round)
            prepareRound(cell);
        else if (m_approxUsable)
            approxCellDistances(m_regions, RegionProbe(cell.ICinfo), m_wl, m_wc, m_rgb,
                                m_approx.data());
        const TGoodTileList cleared = list;
        std::int32_t limit = firstLimit();
        // Later rounds only raise the limit, so the loop ends (at the latest with no limit).
        for (bool firstRound = true;; firstRound = false) {
            m_candidates.clear();
            if (m_round)
                collectRound(limit);
            else
                limit = collectRect(ctx, cell, limit, firstRound);
            // Stable by index: of equal distances the lower tile index ranks first.
            std::sort(m_candidates.begin(), m_candidates.end(),
                      [](const Candidate& x, const Candidate& y) {
                          return x.diff != y.diff ? x.diff < y.diff : x.tile < y.tile;
                      });
            const int n = int(m_candidates.size());
            constexpr int kFull = TGoodTileList::kCapacity;
            if (n >= kFull && m_candidates[kFull - 1].diff < limit) break;
            if (limit == kNoLimit) break;
            const std::int32_t last = n >= kFull ? m_candidates[kFull - 1].diff : 0;
            limit = n < kFull ? widen(limit) : last >= kNoLimit - 1 ? kNoLimit : last + 1;
        }
        const int m = std::min<int>(int(m_candidates.size()), TGoodTileList::kCapacity);
        for (int i = 0; i < m; ++i)
            list.Tiles[i] = {m_candidates[std::size_t(i)].tile,
                             m_candidates[std::size_t(i)].rotation,
                             m_candidates[std::size_t(i)].diff};
        // The cleared entries, pushed back by one per insertion.
        for (int i = m; i < TGoodTileList::kCapacity; ++i)
            list.Tiles[i] = cleared.Tiles[i - m];
        list.Count = m;
        m_lastBound = m >= TGoodTileList::kCapacity ? list.Tiles[m - 1].Diff : kNoLimit;
    }

  private:
    static constexpr std::int32_t kNoLimit = std::numeric_limits<std::int32_t>::max();

    struct Candidate {
        std::int32_t tile, rotation, diff;
    };

    std::int32_t firstLimit() const {
        if (m_lastBound == kNoLimit || m_lastBound < 0 || (!m_round && !m_approxUsable))
            return kNoLimit;
        return widen(m_lastBound);
    }
    static std::int32_t widen(std::int32_t limit) {
        if (limit >= (1 << 28)) return kNoLimit;
        return limit + std::max(limit / 2, 256);
    }

    void buildRect() {
        m_regions.resize(m_count);
        m_coarse.resize(std::size_t(m_count));
        for (int t = 0; t < m_count; ++t) {
            m_regions.set(t, m_lib.items[t].ICinfo);
            m_coarse[std::size_t(t)] = coarse(m_lib.items[t].ICinfo);
        }
    }

    void buildRound() {
        const std::size_t n = std::size_t(m_count) * kRotations;
        m_zones.assign(n * kZoneSlots, 0);
        m_sumR.assign(n, 0);
        m_sumG.assign(n, 0);
        m_sumB.assign(n, 0);
        m_ci1.assign(n, imaging::Trgba{});
        m_quarters.assign(n * 12, 0);
        m_tileMin.assign(std::size_t(std::max(1, m_count)), 0.0f);
        for (int t = 0; t < m_count; ++t)
            for (int k = 0; k < kRotations; ++k) {
                const std::size_t i = std::size_t(t) * kRotations + k;
                const TimgColorInfo& c = m_lib.items[t].ICinfoRot[k];
                packZones(c, &m_zones[i * kZoneSlots]);
                m_ci1[i] = c.ci1.rgba;
                quarterSums(c, &m_quarters[i * 12]);
                weightedSums(c, m_sumR[i], m_sumG[i], m_sumB[i]);
            }
        for (int i = 0; i < 64; ++i) {
            const auto w = static_cast<std::int16_t>(imaging::ZoneWeight[kZoneOrder[i]]);
            m_weights[i * 4 + 0] = m_weights[i * 4 + 1] = m_weights[i * 4 + 2] = w;
            m_weights[i * 4 + 3] = 0;
        }
    }

    // Marks every tile inside the cell's repeat window, so each candidate costs one lookup.
    void gatherRepeatWindow(const MosaicContext& ctx, const TCell& cell) {
        const TSearchOpts& o = ctx.SearchOpts;
        m_repeatMaxOn = o.RepeatMaxOn != 0;
        m_repeatMax = o.RepeatMax;
        m_radiusOn = o.RepeatRadiusOn != 0;
        if (!m_radiusOn) return;
        if (++m_stamp == 0) {
            std::fill(m_seen.begin(), m_seen.end(), 0u);
            m_stamp = 1;
        }
        anyInRepeatWindow(ctx, cell, [this](std::int32_t id) {
            if (id >= 0 && id < tilelib::kTileSlots) m_seen[std::size_t(id)] = m_stamp;
            return false;
        });
    }

    bool eligible(int t) const {
        if (m_lib.ItemEnable[t] == 0) return false;
        if (!m_checkRepeat) return true;
        if (m_repeatMaxOn && m_uses[std::size_t(t)] >= m_repeatMax) return false;
        return !(m_radiusOn && m_seen[std::size_t(t)] == m_stamp);
    }

    // Every eligible tile whose distance may lie below the returned limit (at most limit),
    // with its exact distance. When 100 eligible tiles pass, the limit shrinks to just above
    // the 100th smallest approximation: those 100 tiles alone prove the list fills below it.
    std::int32_t collectRect(const MosaicContext& ctx, const TCell& cell, std::int32_t limit,
                             bool mayTighten) {
        const float* approx = m_approx.data();
        m_passed.resize(std::size_t(m_count));
        std::size_t passed = 0;
        if (limit == kNoLimit) {
            for (int t = 0; t < m_count; ++t)
                m_passed[passed++] = t;
        } else {
            // At or above the threshold the distance, and so the truncated one, is at least
            // limit; the float bound is rounded up so it never excludes more. Branch-free:
            // most tiles fail, at random.
            const float bound = std::nextafter(static_cast<float>(approxPruneThreshold(limit)),
                                               std::numeric_limits<float>::infinity());
            for (int t = 0; t < m_count; ++t) {
                m_passed[passed] = t;
                passed += !(approx[t] >= bound);
            }
        }
        std::size_t kept = 0;
        for (std::size_t i = 0; i < passed; ++i)
            if (eligible(m_passed[i])) m_passed[kept++] = m_passed[i];
        m_passed.resize(kept);
        if (mayTighten && m_approxUsable &&
            m_passed.size() >= std::size_t(TGoodTileList::kCapacity)) {
            m_values.clear();
            // NaN never orders; as infinity it can only keep the limit where it is.
            for (int t : m_passed)
                m_values.push_back(std::isnan(approx[t]) ? std::numeric_limits<float>::infinity()
                                                         : approx[t]);
            auto nth = m_values.begin() + (TGoodTileList::kCapacity - 1);
            std::nth_element(m_values.begin(), nth, m_values.end());
            const double tight = std::ceil(double(*nth) * 1.0001 + 1.0);
            if (tight < double(limit) && tight < double(1 << 30)) limit = std::int32_t(tight);
        }
        const double cut = approxPruneThreshold(limit);
        for (int t : m_passed) {
            if (limit != kNoLimit && double(approx[t]) >= cut) continue;
            m_candidates.push_back(
                {t, 0,
                 truncDiff(cellDistanceOf(cell.ICinfo, m_coarse[std::size_t(t)], ctx.SearchOpts))});
        }
        return limit;
    }

    void prepareRound(const TCell& cell) {
        packZones(cell.ICinfo, m_cellZones);
        std::int32_t cr, cg, cb;
        weightedSums(cell.ICinfo, cr, cg, cb);
        quarterSums(cell.ICinfo, m_cellQuarters);
        weightedSumBounds(m_sumR.data(), m_sumG.data(), m_sumB.data(), m_count * kRotations, cr, cg,
                          cb, m_approx.data());
        for (int t = 0; t < m_count; ++t) {
            const float* lb = &m_approx[std::size_t(t) * kRotations];
            m_tileMin[std::size_t(t)] = *std::min_element(lb, lb + kRotations);
        }
        m_cellCi1 = cell.ICinfo.ci1.rgba;
    }

    // The exact ZoneDistance, or any value >= limit as soon as the partial sum reaches it.
    std::int32_t zoneDistanceBelow(std::size_t i, std::int32_t limit) const {
        return zoneDistanceLimited(m_cellZones, &m_zones[i * kZoneSlots], m_weights,
                                   rgbSquare(m_cellCi1, m_ci1[i]), limit);
    }

    // True when the quarter sums prove ZoneDistance >= limit (exact integers).
    bool quarterBoundPrunes(std::size_t i, std::int32_t limit) const {
        const std::int32_t* tq = &m_quarters[i * 12];
        std::int64_t q = 0;
        for (int j = 0; j < 12; ++j) {
            const std::int64_t d = m_cellQuarters[j] - tq[j];
            q += d * d;
        }
        return q >= kQuarterWeight * limit;
    }

    // Every eligible tile whose best rotation lies below limit, with that rotation (the
    // first of equal ones) and its exact distance. A rotation replaces the best only when
    // strictly nearer, so one whose distance provably reaches min(best, limit) is skipped.
    void collectRound(std::int32_t limit) {
        const bool bounded = limit != kNoLimit;
        const float tileCut = bounded ? roundBoundCut(limit) : 0.0f;
        for (int t = 0; t < m_count; ++t) {
            if (bounded && m_tileMin[std::size_t(t)] >= tileCut) continue;
            if (!eligible(t)) continue;
            const std::size_t first = std::size_t(t) * kRotations;
            const float* lb = &m_approx[first];
            std::int32_t best = limit;
            float cut = tileCut;
            int rotation = -1;
            for (int k = 0; k < kRotations; ++k) {
                if (best != kNoLimit &&
                    (lb[k] >= cut || quarterBoundPrunes(first + std::size_t(k), best)))
                    continue;
                const std::int32_t d = zoneDistanceBelow(first + std::size_t(k), best);
                if (d < best || best == kNoLimit) {
                    best = d;
                    rotation = k;
                    cut = roundBoundCut(best);
                }
            }
            if (rotation >= 0) m_candidates.push_back({t, rotation, best});
        }
    }

    const tilelib::TTilelib& m_lib;
    int m_count;
    bool m_round;
    bool m_rgb = false;
    bool m_approxUsable = false;
    float m_wl = 0, m_wc = 0;
    RegionArrays m_regions;
    std::vector<std::int16_t> m_zones;
    std::vector<std::int32_t> m_sumR, m_sumG, m_sumB;
    alignas(32) std::int16_t m_weights[kZoneSlots] = {};
    alignas(32) std::int16_t m_cellZones[kZoneSlots] = {};
    imaging::Trgba m_cellCi1{};
    std::vector<float> m_approx;
    std::vector<Candidate> m_candidates;
    std::vector<CoarseColour> m_coarse;
    std::vector<imaging::Trgba> m_ci1;
    std::vector<std::int32_t> m_quarters; // [tile * 12 + rotation][quarter][channel]
    std::vector<float> m_tileMin;         // smallest weighted-sum bound over a tile's turns
    std::int32_t m_cellQuarters[12] = {};
    std::vector<std::int32_t> m_uses;
    std::vector<int> m_passed;
    std::vector<float> m_values;
    std::int32_t m_lastBound = kNoLimit;
    // Repeat window of the cell being ranked: m_seen[tile] == m_stamp when inside.
    std::vector<std::uint32_t> m_seen;
    std::uint32_t m_stamp = 0;
    bool m_checkRepeat = false, m_repeatMaxOn = false, m_radiusOn = false;
    std::int32_t m_repeatMax = 0;
};

} // namespace

// ---------------------------------------------------------------------------------------
// Assignment and dithering

void Cell_SetTile(MosaicContext& ctx, TCell& cell, int tile) {
    cell.TileID = tile;
    if (tile >= 0 && tile < tilelib::kTileSlots) ctx.ProjectTileLib->items[tile].usecount += 1;
}

void Cell_SetTile_R(MosaicContext& ctx, TCell& cell, int tile, int rotation) {
    cell.TileID = tile;
    cell.Rotate = rotation * (std::numbers::pi / 6);
    if (tile >= 0 && tile < tilelib::kTileSlots) ctx.ProjectTileLib->items[tile].usecount += 1;
}

namespace {

std::uint8_t ditherChannel(std::int32_t value, std::int32_t delta, Single f) {
    return static_cast<std::uint8_t>(
        imaging::ClampByte(truncDiff(double(value) + double(delta) * double(f))));
}

// dst moved by f times the error src - tile of the whole colour, in ci1 and every zone.
void DitherCell(const TimgColorInfo& src, const TimgColorInfo& tile, TimgColorInfo& dst, Single f) {
    const std::int32_t dr = src.ci1.rgba.r - tile.ci1.rgba.r;
    const std::int32_t dg = src.ci1.rgba.g - tile.ci1.rgba.g;
    const std::int32_t db = src.ci1.rgba.b - tile.ci1.rgba.b;
    imaging::Trgba& c = dst.ci1.rgba;
    c.r = ditherChannel(c.r, dr, f);
    c.g = ditherChannel(c.g, dg, f);
    c.b = ditherChannel(c.b, db, f);
    c.a = 255;
    for (auto& z : dst.ci64) {
        z.rgba.r = ditherChannel(z.rgba.r, dr, f);
        z.rgba.g = ditherChannel(z.rgba.g, dg, f);
        z.rgba.b = ditherChannel(z.rgba.b, db, f);
        z.rgb = imaging::MakeAlphaColor(z.rgba.r, z.rgba.g, z.rgba.b, z.rgba.a);
    }
}

bool validTile(std::int32_t tile) {
    return tile >= 0 && tile < tilelib::kTileSlots;
}

} // namespace

void Cell_SetDither_R(MosaicContext& ctx, int column, int row) {
    const TSearchOpts& o = ctx.SearchOpts;
    if (!o.Dither) return;
    TMosaicProject& p = *ctx.mproject;
    const int rows = gridRows(p.cfg), columns = gridColumns(p.cfg);
    if (row < 0 || row >= rows || column < 0 || column >= columns) return;
    const TCell& c = p.Cells[row][column];
    if (!validTile(c.TileID)) return;
    const TimgColorInfo src = c.ICinfo;
    const TimgColorInfo& tile = ctx.ProjectTileLib->items[c.TileID].ICinfo;
    const Single F = o.DitherLevel;
    auto spread = [&](int r, int col, int sixteenths) {
        DitherCell(src, tile, p.Cells[r][col].ICinfo,
                   static_cast<Single>(double(F) * sixteenths / 16));
    };
    if (column + 1 < columns) spread(row, column + 1, 7);
    if (column >= 1 && row + 1 < rows) spread(row + 1, column - 1, 3);
    if (row + 1 < rows) spread(row + 1, column, 5);
    if (column + 1 < columns && row + 1 < rows) spread(row + 1, column + 1, 1);
}

void Cell_SetDither_addonR(MosaicContext& ctx, int index) {
    const TSearchOpts& o = ctx.SearchOpts;
    TMosaicProject& p = *ctx.mproject;
    if (!o.Dither || index < 0 || index + 1 >= addonCount(p.cfg)) return;
    const TCell& c = p.AddonTiles[index];
    if (!validTile(c.TileID)) return;
    const TimgColorInfo src = c.ICinfo;
    DitherCell(src, ctx.ProjectTileLib->items[c.TileID].ICinfo, p.AddonTiles[index + 1].ICinfo,
               o.DitherLevel);
}

// ---------------------------------------------------------------------------------------
// Passes

namespace {

bool fillable(const TCell& c, int level) {
    return c.enable && c.TileID == -1 && c.PriLevel == level;
}

// The use-all pass over approximate distances of one tile to every grid cell; the plain
// CellDistance decides wherever the approximation cannot.
class CellArrays {
  public:
    explicit CellArrays(const MosaicContext& ctx) : m_columns(gridColumns(ctx.mproject->cfg)) {
        const TMosaicProject& p = *ctx.mproject;
        const int rows = gridRows(p.cfg);
        m_regions.resize(rows * m_columns);
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < m_columns; ++c)
                m_regions.set(r * m_columns + c, p.Cells[r][c].ICinfo);
        m_approx.resize(std::size_t(std::max(1, m_regions.stride)));
        const TSearchOpts& o = ctx.SearchOpts;
        m_usable = o.RGBMatch || (o.WeightL >= 0 && o.WeightC >= 0 && std::isfinite(o.WeightL) &&
                                  std::isfinite(o.WeightC));
    }
    // Approximate distances of colour to every cell (row-major), or nullptr when unusable.
    const float* distancesTo(const TimgColorInfo& colour, const TSearchOpts& o) {
        if (!m_usable) return nullptr;
        approxCellDistances(m_regions, RegionProbe(colour), o.WeightL, o.WeightC, o.RGBMatch != 0,
                            m_approx.data());
        return m_approx.data();
    }
    int columns() const { return m_columns; }

  private:
    int m_columns;
    RegionArrays m_regions;
    std::vector<float> m_approx;
    bool m_usable = false;
};

void usePass(MosaicContext& ctx, imaging::Progress& progress) {
    TMosaicProject& p = *ctx.mproject;
    tilelib::TTilelib& lib = *ctx.ProjectTileLib;
    const int rows = gridRows(p.cfg), columns = gridColumns(p.cfg);
    // Cell colours do not change during this pass (no dithering), tile colours never do.
    CellArrays cells(ctx);
    const int n = tileCount(lib);
    for (int t = 0; t < n; ++t) {
        progress.processEvents();
        const int c0 = imaging::Random(columns);
        const int r0 = imaging::Random(rows);
        const TimgColorInfo& colour = lib.items[t].ICinfo;
        const float* approx = cells.distancesTo(colour, ctx.SearchOpts);
        double best = 4294967295.0;
        int foundRow = -1, foundColumn = -1;
        for (int i = 0; i < rows; ++i) {
            int row = r0 + i;
            if (row >= rows) row -= rows;
            for (int j = 0; j < columns; ++j) {
                int column = c0 + j;
                if (column >= columns) column -= columns;
                const TCell& cell = p.Cells[row][column];
                if (!cell.enable || cell.TileID != -1) continue;
                if (approx && double(approx[row * columns + column]) >= approxPruneThreshold(best))
                    continue;
                const double d = CellDistance(cell.ICinfo, colour, ctx.SearchOpts);
                if (d < best) {
                    best = d;
                    foundRow = row;
                    foundColumn = column;
                }
            }
        }
        if (foundRow >= 0) Cell_SetTile(ctx, p.Cells[foundRow][foundColumn], t);
    }
}

template <class Rank> void fillGridCell(MosaicContext& ctx, int row, int column, Rank& rank) {
    TCell& cell = ctx.mproject->Cells[row][column];
    TGoodTileList& list = ctx.SearchTileList;
    rank(ctx, cell, list);
    if (list.Count == 0) return;
    const int k = imaging::Random(std::min(list.Count, ctx.SearchOpts.RandomLevel));
    Cell_SetTile_R(ctx, cell, list.Tiles[k].TileID, list.Tiles[k].RotateID);
    rank.assigned(list.Tiles[k].TileID);
    Cell_SetDither_R(ctx, column, row);
}

template <class Rank>
void scanlinePass(MosaicContext& ctx, int level, imaging::Progress& progress, Rank& rank) {
    progress.processEvents();
    rank.sync();
    TMosaicProject& p = *ctx.mproject;
    const int rows = gridRows(p.cfg), columns = gridColumns(p.cfg);
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < columns; ++column)
            if (fillable(p.Cells[row][column], level)) fillGridCell(ctx, row, column, rank);
}

// The cells a level pass may still fill. Cells only ever leave it (when they get a tile),
// so "the first fillable cell at or after s, wrapping once" is a bit scan, not a walk over
// every cell record.
class FillableSet {
  public:
    explicit FillableSet(int n) : m_n(n), m_bits(std::size_t(n + 63) / 64, 0) {}
    void insert(int i) { m_bits[std::size_t(i) / 64] |= std::uint64_t(1) << (i % 64); }
    void erase(int i) { m_bits[std::size_t(i) / 64] &= ~(std::uint64_t(1) << (i % 64)); }
    // First member at or after s, wrapping once; -1 when empty.
    int firstFrom(int s) const {
        const int found = scan(s, m_n);
        return found >= 0 ? found : scan(0, s);
    }

  private:
    int scan(int from, int to) const {
        if (from >= to) return -1;
        std::size_t w = std::size_t(from) / 64;
        std::uint64_t word = m_bits[w] & (~std::uint64_t(0) << (from % 64));
        for (;;) {
            if (word != 0) {
                const int i = int(w * 64) + std::countr_zero(word);
                return i < to ? i : -1;
            }
            if (++w >= m_bits.size() || int(w * 64) >= to) return -1;
            word = m_bits[w];
        }
    }
    int m_n;
    std::vector<std::uint64_t> m_bits;
};

template <class Rank>
void randomPass(MosaicContext& ctx, int level, imaging::Progress& progress, Rank& rank) {
    progress.processEvents();
    rank.sync();
    TMosaicProject& p = *ctx.mproject;
    const int rows = gridRows(p.cfg), columns = gridColumns(p.cfg);
    const int n = rows * columns;
    FillableSet open(n);
    for (int i = 0; i < n; ++i)
        if (fillable(p.Cells[i / columns][i % columns], level)) open.insert(i);
    for (int repetition = 0; repetition < n; ++repetition) {
        const int s = imaging::Random(n);
        progress.processEvents();
        const int index = open.firstFrom(s);
        if (index < 0) continue;
        const int row = index / columns, column = index % columns;
        fillGridCell(ctx, row, column, rank);
        if (!fillable(p.Cells[row][column], level)) open.erase(index);
    }
}

template <class Rank>
void addonPass(MosaicContext& ctx, bool randomStart, int level, imaging::Progress& progress,
               Rank& rank) {
    progress.processEvents();
    TMosaicProject& p = *ctx.mproject;
    const int n = addonCount(p.cfg);
    if (n < 1) return;
    rank.sync();
    TGoodTileList& list = ctx.SearchTileList;
    FillableSet open(n);
    for (int i = 0; i < n; ++i)
        if (fillable(p.AddonTiles[i], level)) open.insert(i);
    for (int repetition = 0; repetition < n; ++repetition) {
        const int s = randomStart ? imaging::Random(n) : 0;
        const int index = open.firstFrom(s);
        if (index < 0) continue;
        TCell& cell = p.AddonTiles[index];
        rank(ctx, cell, list);
        if (list.Count == 0) {
            progress.beep();
            continue;
        }
        const int k = imaging::Random(std::min(list.Count, ctx.SearchOpts.RandomLevel));
        const double rotate = cell.Rotate;
        Cell_SetTile_R(ctx, cell, list.Tiles[k].TileID, list.Tiles[k].RotateID);
        rank.assigned(list.Tiles[k].TileID);
        cell.Rotate = rotate;
        Cell_SetDither_addonR(ctx, index);
        if (!fillable(cell, level)) open.erase(index);
    }
}

template <class Rank> void searchAll(MosaicContext& ctx, imaging::Progress& progress, Rank& rank) {
    TSearchOpts& o = ctx.SearchOpts;
    if (o.UseAll) usePass(ctx, progress);
    if (o.RepeatMinOn) {
        if (o.UseAll) o.RepeatMin -= 1;
        for (int i = 0; i < o.RepeatMin; ++i)
            usePass(ctx, progress);
    }
    for (int level = 0; level <= 2; ++level) {
        if (o.SearchScanline)
            scanlinePass(ctx, level, progress, rank);
        else
            randomPass(ctx, level, progress, rank);
        addonPass(ctx, !o.SearchScanline, level, progress, rank);
    }
    ctx.mproject->cfg.searchDone = 1;
}

struct FastRank {
    TileRanker ranker;
    explicit FastRank(const MosaicContext& ctx) : ranker(ctx) {}
    void operator()(const MosaicContext& ctx, const TCell& cell, TGoodTileList& list) {
        ranker.rank(ctx, cell, list, false);
    }
    void sync() { ranker.syncUseCounts(); }
    void assigned(int tile) { ranker.assigned(tile); }
};

struct PlainRank {
    void operator()(const MosaicContext& ctx, const TCell& cell, TGoodTileList& list) {
        GetGoodTileList(ctx, cell, list, false);
    }
    void sync() {}
    void assigned(int) {}
};

} // namespace

void Search_Pos_for_tile(MosaicContext& ctx, imaging::Progress* progress) {
    usePass(ctx, imaging::progressOrNone(progress));
}

void KRV_Search_Tile_for_pos_Scanline(MosaicContext& ctx, int level, imaging::Progress* progress) {
    FastRank rank(ctx);
    scanlinePass(ctx, level, imaging::progressOrNone(progress), rank);
}

void KRV_Search_Tile_for_pos_Random(MosaicContext& ctx, int level, imaging::Progress* progress) {
    FastRank rank(ctx);
    randomPass(ctx, level, imaging::progressOrNone(progress), rank);
}

void Search_Tile_for_AddOn(MosaicContext& ctx, bool randomStart, int level,
                           imaging::Progress* progress) {
    FastRank rank(ctx);
    addonPass(ctx, randomStart, level, imaging::progressOrNone(progress), rank);
}

void Search_withoptions(MosaicContext& ctx, imaging::Progress* progress) {
    FastRank rank(ctx);
    searchAll(ctx, imaging::progressOrNone(progress), rank);
}

void searchWithPlainRanking(MosaicContext& ctx, imaging::Progress* progress) {
    PlainRank rank;
    searchAll(ctx, imaging::progressOrNone(progress), rank);
}

} // namespace vantorel::engine
