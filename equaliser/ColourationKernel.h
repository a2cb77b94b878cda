// The colouration's inner loop, shared by StereoColouration and the equaliser chain (which runs
// its stages in the gaps of the colouration's recursion). Internal to the DSP library.
#pragma once

#include "Colouration.h"
#include "StereoSample.h"

namespace brimo::detail {

// The lanes of a fresh filter output that survive the flush: magnitude 2^-54 or more and finite
// (the same condition as NeedsColourFlush, tested on the double value). The small-value test is a
// mask, computed beside the recursion's next multiplication; a branch would be cheaper while the
// signal is loud but mispredicts when the filters hover around 2^-54 in silence. Infinity is rare
// enough for a branch.
inline StereoMask Kept(StereoSample y)
{
    constexpr long long kSign = static_cast<long long>(0x8000000000000000ULL);
    constexpr StereoMask kSignBit = {kSign, kSign};
    const StereoSample magnitude = ZeroWhere(y, kSignBit);
    StereoMask keep = magnitude >= 0x1p-54;  // false for NaN
    const StereoMask infinite = magnitude > 0x1.fffffffffffffp+1023;
    if (AnyLane(infinite))
        keep &= ~infinite;
    return keep;
}

inline StereoSample KeepLanes(StereoSample v, StereoMask keep)
{
    return reinterpret_cast<StereoSample>(reinterpret_cast<StereoMask>(v) & keep);
}

// ColourShape on both lanes at once, with the same arithmetic: the magnitude scaled, clamped to
// the table (199 at and beyond the hard limit, 0 for NaN), interpolated, and the sign of x copied.
inline StereoSample Shape(StereoSample x)
{
    using IndexPair = int __attribute__((vector_size(8)));
    constexpr long long kSign = static_cast<long long>(0x8000000000000000ULL);
    constexpr StereoMask kSignBit = {kSign, kSign};
    const StereoSample limit = {199.0, 199.0};

    const StereoSample magnitude = ZeroWhere(x, kSignBit);
    StereoSample v = static_cast<double>(kSaturationScale) * magnitude;
    const StereoMask inside = v < limit;   // false for NaN
    const StereoMask beyond = v >= limit;  // false for NaN
    v = reinterpret_cast<StereoSample>((reinterpret_cast<StereoMask>(v) & inside) |
                                       (reinterpret_cast<StereoMask>(limit) & beyond));
    const IndexPair index = __builtin_convertvector(v, IndexPair);  // truncation toward zero
    const StereoSample t = v - __builtin_convertvector(index, StereoSample);
    const StereoSample low = {kSaturationTable[index[0]], kSaturationTable[index[1]]};
    const StereoSample high = {kSaturationTable[index[0] + 1], kSaturationTable[index[1] + 1]};
    const StereoSample r = low * (1.0 - t) + high * t;  // never negative, so OR-ing in the sign copies it
    return reinterpret_cast<StereoSample>(reinterpret_cast<StereoMask>(r) |
                                          (reinterpret_cast<StereoMask>(x) & kSignBit));
}

// The colouration of a block at a fixed factor N (0: the factor is only known at run time; it
// must be 2 or more, which makes every pole's angle below pi / 2 and so f1 > 0).
// Histories and coefficients live in locals for the whole block so that they can stay in
// registers; the recursion is a chain of dependent additions and every load on it costs time. With
// N fixed the sub-sample loop unrolls completely and the history shifts become register renames.
template <int kFactor, typename OnFrame>
void ColourBlock(const ColourFilterDesign& design, int factor, StereoSample* up, StereoSample* down,
                 const double* left, const double* right, int frames, OnFrame& onFrame)
{
    const int n = kFactor > 0 ? kFactor : factor;
    StereoSample u0 = up[0], u1 = up[1], u2 = up[2], u3 = up[3], u4 = up[4];
    StereoSample u5 = up[5], u6 = up[6], u7 = up[7], u8 = up[8], u9 = up[9];
    StereoSample d0 = down[0], d1 = down[1], d2 = down[2], d3 = down[3], d4 = down[4];
    StereoSample d5 = down[5], d6 = down[6], d7 = down[7], d8 = down[8], d9 = down[9];
    const double g = design.g;
    const double f1 = design.f[0], f2 = design.f[1], f3 = design.f[2], f4 = design.f[3], f5 = design.f[4];
    const double f6 = design.f[5], f7 = design.f[6], f8 = design.f[7], f9 = design.f[8], f10 = design.f[9];
    const double gainN = static_cast<double>(n);

    // Up-sampling filter step (with the input on the first sub-sample, zero after) and the
    // saturation; returns the shaped value for the down-sampling filter.
    // f1 * y[n-1] of each filter, kept from the previous step. The recursion's critical path runs
    // from one output through this product into the next sum, so the product is formed from the
    // unflushed output at the same time as the flush mask and masked afterwards: with f1 > 0,
    // f1 * y masked to +0 equals f1 * (+0) bit for bit.
    StereoSample f1u0 = f1 * u0, f1d0 = f1 * d0;

    // Up-sampling filter step (with the input on the first sub-sample, zero after) and the
    // saturation; returns the shaped value for the down-sampling filter.
    auto upStep = [&](bool first, StereoSample x) {
        // g * 0 is +0, and f1 * y[n-1] is never -0 (f1 > 0 and the history holds +0 or values of
        // magnitude 2^-54 and more), so the zero-stuffed input term changes nothing and is left out.
        StereoSample head = f1u0;
        if (first)
            head = head + g * x;
        StereoSample y = head + f2 * u1 + f3 * u2 + f4 * u3 + f5 * u4 + f6 * u5 + f7 * u6 + f8 * u7 + f9 * u8 +
                         f10 * u9;
        const StereoMask keep = Kept(y);
        f1u0 = KeepLanes(f1 * y, keep);
        y = KeepLanes(y, keep);
        u9 = u8; u8 = u7; u7 = u6; u6 = u5; u5 = u4; u4 = u3; u3 = u2; u2 = u1; u1 = u0; u0 = y;
        return Shape(gainN * y);
    };
    auto downStep = [&](StereoSample v) {
        StereoSample z = (f1d0 + g * v) + f2 * d1 + f3 * d2 + f4 * d3 + f5 * d4 + f6 * d5 + f7 * d6 + f8 * d7 +
                         f9 * d8 + f10 * d9;
        const StereoMask keep = Kept(z);
        f1d0 = KeepLanes(f1 * z, keep);
        z = KeepLanes(z, keep);
        d9 = d8; d8 = d7; d7 = d6; d6 = d5; d5 = d4; d4 = d3; d3 = d2; d2 = d1; d1 = d0; d0 = z;
        return z;
    };

    if (n < 3) {
        for (int i = 0; i < frames; ++i) {
            onFrame(i, downStep(upStep(true, MakeStereo(left[i], right[i]))));
            for (int j = 1; j < n; ++j)
                downStep(upStep(false, StereoSample{}));
        }
    } else {
        // The two filters are independent recursions linked only by the shaped values. Running the
        // down-sampling filter two sub-samples behind the up-sampling one puts both recursions side
        // by side in the instruction stream, with the saturation's latency in between, so the
        // processor overlaps them instead of waiting for one chain of additions after the other.
        // The order of each filter's own steps is unchanged. older and newer hold the shaped
        // values that the down-sampling filter has still to take.
        StereoSample older{}, newer{};
        auto advance = [&](StereoSample v, bool stepDown) {
            StereoSample z{};
            if (stepDown)
                z = downStep(older);
            older = newer;
            newer = v;
            return z;
        };
        for (int i = 0; i < frames; ++i) {
            // The first two down-sampling steps of a frame finish the previous frame.
            advance(upStep(true, MakeStereo(left[i], right[i])), i > 0);
            advance(upStep(false, StereoSample{}), i > 0);
            onFrame(i, advance(upStep(false, StereoSample{}), true));  // decimation keeps sub-sample 0
#pragma GCC unroll 16
            for (int j = 3; j < n; ++j)
                advance(upStep(false, StereoSample{}), true);
        }
        if (frames > 0) {
            downStep(older);
            downStep(newer);
        }
    }

    up[0] = u0; up[1] = u1; up[2] = u2; up[3] = u3; up[4] = u4;
    up[5] = u5; up[6] = u6; up[7] = u7; up[8] = u8; up[9] = u9;
    down[0] = d0; down[1] = d1; down[2] = d2; down[3] = d3; down[4] = d4;
    down[5] = d5; down[6] = d6; down[7] = d7; down[8] = d8; down[9] = d9;
}

}  // namespace brimo::detail
