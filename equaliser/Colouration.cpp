#include "Colouration.h"

namespace brimo {

namespace {

// Upper-half-plane poles sigma + j omega of the tenth-order Bessel low-pass normalised to a -3 dB
// frequency of 1 rad/s.
struct BesselPole {
    double sigma, omega;
};

constexpr BesselPole kBesselPoles[5] = {
    {-1.927619691324482, 0.2416234709451774},
    {-1.8421962445659017, 0.7272575977534836},
    {-1.6618102413500957, 1.221100218591516},
    {-1.3606922783857325, 1.73350574265843},
    {-0.8657569017089488, 2.2926048309837426},
};

struct Complex {
    double re, im;
};

Complex Multiply(Complex a, Complex b) { return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re}; }

}  // namespace

const float kSaturationTable[kSaturationSize + 1] = {
    0.0f, 0.00026090338f, 0.0006035264f, 0.00088559324f, 0.0012119777f,
    0.0015062557f, 0.001823322f, 0.002124477f, 0.0024363233f, 0.0027412176f,
    0.0030502365f, 0.0033570554f, 0.0036646156f, 0.0039723325f, 0.0042791977f,
    0.0045872503f, 0.0048938305f, 0.0052019246f, 0.0055084266f, 0.0058164196f,
    0.0061229384f, 0.0064307707f, 0.00673734f, 0.0070449966f, 0.0073516187f,
    0.0076591056f, 0.00796577f, 0.008273101f, 0.008579791f, 0.008886984f,
    0.009193681f, 0.009500752f, 0.009807444f, 0.010114405f, 0.01042108f,
    0.010727943f, 0.011034588f, 0.011341364f, 0.011647971f, 0.011954666f,
    0.0122612305f, 0.01256785f, 0.012874367f, 0.013180914f, 0.013487379f,
    0.013793859f, 0.014100269f, 0.014406682f, 0.014713038f, 0.015019385f,
    0.015325684f, 0.015631968f, 0.015938208f, 0.01624443f, 0.01655061f,
    0.01685677f, 0.017162891f, 0.017468989f, 0.017775051f, 0.018081088f,
    0.01838709f, 0.018693065f, 0.018999007f, 0.01930492f, 0.019610802f,
    0.019916655f, 0.020222478f, 0.02052827f, 0.02083403f, 0.021139761f,
    0.021445462f, 0.021751134f, 0.022056773f, 0.022362383f, 0.022667963f,
    0.022973513f, 0.023279032f, 0.02358452f, 0.02388998f, 0.024195407f,
    0.024500806f, 0.024806174f, 0.025111511f, 0.025416818f, 0.025722094f,
    0.02602734f, 0.026332557f, 0.026637744f, 0.0269429f, 0.027248025f,
    0.02755312f, 0.027858187f, 0.02816322f, 0.028468225f, 0.0287732f,
    0.029078145f, 0.029383058f, 0.029687941f, 0.029992795f, 0.030297618f,
    0.03060241f, 0.030907173f, 0.031211905f, 0.031516608f, 0.03182128f,
    0.03212592f, 0.032430533f, 0.032735113f, 0.033039667f, 0.033344187f,
    0.033648677f, 0.033953138f, 0.03425757f, 0.034561966f, 0.034866337f,
    0.035170674f, 0.035474986f, 0.035779264f, 0.036083512f, 0.03638773f,
    0.03669192f, 0.036996078f, 0.037300207f, 0.037604306f, 0.03790837f,
    0.03821241f, 0.038516417f, 0.038820393f, 0.03912434f, 0.039428256f,
    0.039732143f, 0.040036f, 0.040339828f, 0.04064362f, 0.04094739f,
    0.041251123f, 0.041554827f, 0.041858505f, 0.04216215f, 0.042465765f,
    0.04276935f, 0.043072905f, 0.043376427f, 0.043679923f, 0.043983385f,
    0.04428682f, 0.044590224f, 0.044893596f, 0.04519694f, 0.045500252f,
    0.045803536f, 0.04610679f, 0.046410013f, 0.046713207f, 0.047016367f,
    0.0473195f, 0.047622602f, 0.047925673f, 0.04822872f, 0.04853173f,
    0.04883471f, 0.049137663f, 0.049440585f, 0.049743474f, 0.050046336f,
    0.05034917f, 0.050651968f, 0.05095474f, 0.05125748f, 0.05156019f,
    0.05186287f, 0.05216552f, 0.05246814f, 0.05277073f, 0.05307329f,
    0.05337582f, 0.053678323f, 0.05398079f, 0.05428323f, 0.05458564f,
    0.05488802f, 0.05519037f, 0.055492688f, 0.055794977f, 0.056097236f,
    0.056399465f, 0.056701664f, 0.057003833f, 0.057305973f, 0.05760808f,
    0.05791016f, 0.058212206f, 0.058514226f, 0.058816213f, 0.05911817f,
    0.0594201f, 0.059722f, 0.060023867f, 0.060325705f, 0.060627513f,
    0.060627513f,  // padding: same as entry 199
};

void DesignColourFilter(ColourFilterDesign& design, double fc)
{
    const double w = fc * 6.283185307179586;

    // Matched-z mapping: each prototype pole and its mirror, in table order.
    Complex poles[10];
    for (int k = 0; k < 5; ++k) {
        const double radius = std::exp(kBesselPoles[k].sigma * w);
        const double angle = kBesselPoles[k].omega * w;
        poles[2 * k] = {radius * std::cos(angle), radius * std::sin(angle)};
        poles[2 * k + 1] = {radius * std::cos(-angle), radius * std::sin(-angle)};
    }

    // A(z) = product of (1 - p z^-1), expanded factor by factor from the polynomial 1.
    Complex c[11] = {{1.0, 0.0}};
    for (int n = 0; n < 10; ++n) {
        for (int m = n + 1; m >= 1; --m) {
            const Complex product = Multiply(poles[n], c[m - 1]);
            c[m] = {c[m].re - product.re, c[m].im - product.im};
        }
    }

    // Unit gain at DC: g = |A(1)|, computed as 1 / |1 / S|.
    Complex sum = c[0];
    for (int k = 1; k <= 10; ++k)
        sum = {sum.re + c[k].re, sum.im + c[k].im};
    const double norm = sum.re * sum.re + sum.im * sum.im;
    design.g = 1.0 / std::hypot(-sum.im / norm, sum.re / norm);

    for (int k = 1; k <= 10; ++k)
        design.f[k - 1] = -c[k].re / c[0].re;
}

void StepColourFilter(ColourFilterState& state, double x, const ColourFilterDesign& design)
{
    const double* f = design.f;
    const double* h = state.y;
    double y = (f[0] * h[0] + design.g * x) + f[1] * h[1] + f[2] * h[2] + f[3] * h[3] + f[4] * h[4] +
               f[5] * h[5] + f[6] * h[6] + f[7] * h[7] + f[8] * h[8] + f[9] * h[9];
    for (int k = 10; k >= 1; --k)
        state.y[k] = state.y[k - 1];
    if (NeedsColourFlush(y))
        y = 0.0;
    state.y[0] = y;
    state.latest = y;
}

void StereoColouration::Design(int factor)
{
    factor_ = factor;
    DesignColourFilter(design_, 0.2 / factor);
}

void StereoColouration::Reset()
{
    for (int k = 0; k < 10; ++k)
        up_[k] = down_[k] = StereoSample{};
}

namespace {

// Applies the filter's flush to a freshly computed pair: lanes that are below 2^-54 in magnitude,
// infinite or NaN become +0. The same condition as NeedsColourFlush, tested on the double value.
inline StereoSample Flush(StereoSample y)
{
    constexpr long long kSign = static_cast<long long>(0x8000000000000000ULL);
    constexpr StereoMask kSignBit = {kSign, kSign};
    const StereoSample magnitude = ZeroWhere(y, kSignBit);
    const StereoMask keep = (magnitude >= 0x1p-54) & (magnitude <= 0x1.fffffffffffffp+1023);
    const StereoMask flush = ~keep;
    // Silence keeps every lane at +0 and takes this branch on every step; the AND costs nothing
    // that matters there. With signal present it is almost never taken.
    if (AnyLane(flush))
        return ZeroWhere(y, flush);
    return y;
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
    const StereoSample r = low * (1.0 - t) + high * t;  // never negative: the table is
    return reinterpret_cast<StereoSample>(reinterpret_cast<StereoMask>(r) |
                                          (reinterpret_cast<StereoMask>(x) & kSignBit));
}


// The colouration of a block at a fixed factor N (0: the factor is only known at run time).
// Histories and coefficients live in locals for the whole block so that they can stay in
// registers; the recursion is a chain of dependent additions and every load on it costs time. With
// N fixed the sub-sample loop unrolls completely and the history shifts become register renames.
template <int kFactor>
void ColourBlock(const ColourFilterDesign& design, int factor, StereoSample* up, StereoSample* down,
                 const double* left, const double* right, StereoSample* out, int frames)
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
    auto upStep = [&](bool first, StereoSample x) {
        // g * 0 is +0, and f1 * y[n-1] is never -0 (f1 > 0 and the history holds +0 or values of
        // magnitude 2^-54 and more), so the zero-stuffed input term changes nothing and is left out.
        StereoSample head = f1 * u0;
        if (first)
            head = head + g * x;
        StereoSample y = head + f2 * u1 + f3 * u2 + f4 * u3 + f5 * u4 + f6 * u5 + f7 * u6 + f8 * u7 + f9 * u8 +
                         f10 * u9;
        y = Flush(y);
        u9 = u8; u8 = u7; u7 = u6; u6 = u5; u5 = u4; u4 = u3; u3 = u2; u2 = u1; u1 = u0; u0 = y;
        return Shape(gainN * y);
    };
    auto downStep = [&](StereoSample v) {
        StereoSample z = (f1 * d0 + g * v) + f2 * d1 + f3 * d2 + f4 * d3 + f5 * d4 + f6 * d5 + f7 * d6 + f8 * d7 +
                         f9 * d8 + f10 * d9;
        z = Flush(z);
        d9 = d8; d8 = d7; d7 = d6; d6 = d5; d5 = d4; d4 = d3; d3 = d2; d2 = d1; d1 = d0; d0 = z;
        return z;
    };

    if (n < 3) {
        for (int i = 0; i < frames; ++i) {
            out[i] = downStep(upStep(true, MakeStereo(left[i], right[i])));
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
            out[i] = advance(upStep(false, StereoSample{}), true);  // decimation keeps sub-sample 0
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

}  // namespace

void StereoColouration::Process(const double* left, const double* right, StereoSample* out, int frames)
{
    switch (factor_) {
    case 4: ColourBlock<4>(design_, factor_, up_, down_, left, right, out, frames); break;
    case 16: ColourBlock<16>(design_, factor_, up_, down_, left, right, out, frames); break;
    default: ColourBlock<0>(design_, factor_, up_, down_, left, right, out, frames); break;
    }
}

}  // namespace brimo
