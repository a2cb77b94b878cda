#include "Colouration.h"

#include <array>

#include "ChainKernel.h"

namespace brimo {

namespace {

// Upper-half-plane poles sigma + j omega of the tenth-order Bessel low-pass normalised to a -3 dB
// frequency of 1 rad/s.
struct BesselPole {
  double sigma, omega;
};

constexpr BesselPole kBesselPoles[5] = {
    {-1.927619691324482, 0.2416234709451774},  {-1.8421962445659017, 0.7272575977534836},
    {-1.6618102413500957, 1.221100218591516},  {-1.3606922783857325, 1.73350574265843},
    {-0.8657569017089488, 2.2926048309837426},
};

struct Complex {
  double re, im;
};

Complex Multiply(Complex a, Complex b) {
  return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}

}  // namespace

constexpr float kSaturationTable[kSaturationSize + 1] = {
    0.0f,          0.00026090338f, 0.0006035264f, 0.00088559324f, 0.0012119777f, 0.0015062557f,
    0.001823322f,  0.002124477f,   0.0024363233f, 0.0027412176f,  0.0030502365f, 0.0033570554f,
    0.0036646156f, 0.0039723325f,  0.0042791977f, 0.0045872503f,  0.0048938305f, 0.0052019246f,
    0.0055084266f, 0.0058164196f,  0.0061229384f, 0.0064307707f,  0.00673734f,   0.0070449966f,
    0.0073516187f, 0.0076591056f,  0.00796577f,   0.008273101f,   0.008579791f,  0.008886984f,
    0.009193681f,  0.009500752f,   0.009807444f,  0.010114405f,   0.01042108f,   0.010727943f,
    0.011034588f,  0.011341364f,   0.011647971f,  0.011954666f,   0.0122612305f, 0.01256785f,
    0.012874367f,  0.013180914f,   0.013487379f,  0.013793859f,   0.014100269f,  0.014406682f,
    0.014713038f,  0.015019385f,   0.015325684f,  0.015631968f,   0.015938208f,  0.01624443f,
    0.01655061f,   0.01685677f,    0.017162891f,  0.017468989f,   0.017775051f,  0.018081088f,
    0.01838709f,   0.018693065f,   0.018999007f,  0.01930492f,    0.019610802f,  0.019916655f,
    0.020222478f,  0.02052827f,    0.02083403f,   0.021139761f,   0.021445462f,  0.021751134f,
    0.022056773f,  0.022362383f,   0.022667963f,  0.022973513f,   0.023279032f,  0.02358452f,
    0.02388998f,   0.024195407f,   0.024500806f,  0.024806174f,   0.025111511f,  0.025416818f,
    0.025722094f,  0.02602734f,    0.026332557f,  0.026637744f,   0.0269429f,    0.027248025f,
    0.02755312f,   0.027858187f,   0.02816322f,   0.028468225f,   0.0287732f,    0.029078145f,
    0.029383058f,  0.029687941f,   0.029992795f,  0.030297618f,   0.03060241f,   0.030907173f,
    0.031211905f,  0.031516608f,   0.03182128f,   0.03212592f,    0.032430533f,  0.032735113f,
    0.033039667f,  0.033344187f,   0.033648677f,  0.033953138f,   0.03425757f,   0.034561966f,
    0.034866337f,  0.035170674f,   0.035474986f,  0.035779264f,   0.036083512f,  0.03638773f,
    0.03669192f,   0.036996078f,   0.037300207f,  0.037604306f,   0.03790837f,   0.03821241f,
    0.038516417f,  0.038820393f,   0.03912434f,   0.039428256f,   0.039732143f,  0.040036f,
    0.040339828f,  0.04064362f,    0.04094739f,   0.041251123f,   0.041554827f,  0.041858505f,
    0.04216215f,   0.042465765f,   0.04276935f,   0.043072905f,   0.043376427f,  0.043679923f,
    0.043983385f,  0.04428682f,    0.044590224f,  0.044893596f,   0.04519694f,   0.045500252f,
    0.045803536f,  0.04610679f,    0.046410013f,  0.046713207f,   0.047016367f,  0.0473195f,
    0.047622602f,  0.047925673f,   0.04822872f,   0.04853173f,    0.04883471f,   0.049137663f,
    0.049440585f,  0.049743474f,   0.050046336f,  0.05034917f,    0.050651968f,  0.05095474f,
    0.05125748f,   0.05156019f,    0.05186287f,   0.05216552f,    0.05246814f,   0.05277073f,
    0.05307329f,   0.05337582f,    0.053678323f,  0.05398079f,    0.05428323f,   0.05458564f,
    0.05488802f,   0.05519037f,    0.055492688f,  0.055794977f,   0.056097236f,  0.056399465f,
    0.056701664f,  0.057003833f,   0.057305973f,  0.05760808f,    0.05791016f,   0.058212206f,
    0.058514226f,  0.058816213f,   0.05911817f,   0.0594201f,     0.059722f,     0.060023867f,
    0.060325705f,  0.060627513f,
    0.060627513f,  // padding: same as entry 199
};

namespace {

constexpr std::array<SaturationPair, kSaturationSize> MakeSaturationPairs() {
  std::array<SaturationPair, kSaturationSize> pairs{};
  for (int k = 0; k < kSaturationSize; ++k)
    pairs[k] = {kSaturationTable[k], kSaturationTable[k + 1]};
  return pairs;
}

constexpr std::array<SaturationPair, kSaturationSize> kPairs = MakeSaturationPairs();

}  // namespace

const SaturationPair* const kSaturationPairs = kPairs.data();

void DesignColourFilter(ColourFilterDesign& design, double fc) {
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
  for (int k = 1; k <= 10; ++k) sum = {sum.re + c[k].re, sum.im + c[k].im};
  const double norm = sum.re * sum.re + sum.im * sum.im;
  design.g = 1.0 / std::hypot(-sum.im / norm, sum.re / norm);

  for (int k = 1; k <= 10; ++k) design.f[k - 1] = -c[k].re / c[0].re;
}

void StepColourFilter(ColourFilterState& state, double x, const ColourFilterDesign& design) {
  const double* f = design.f;
  const double* h = state.y;
  double y = (f[0] * h[0] + design.g * x) + f[1] * h[1] + f[2] * h[2] + f[3] * h[3] + f[4] * h[4] +
             f[5] * h[5] + f[6] * h[6] + f[7] * h[7] + f[8] * h[8] + f[9] * h[9];
  for (int k = 10; k >= 1; --k) state.y[k] = state.y[k - 1];
  if (NeedsColourFlush(y)) y = 0.0;
  state.y[0] = y;
  state.latest = y;
}

void StereoColouration::Design(int factor) {
  factor_ = factor < 2 ? 2 : factor;  // the loop relies on f1 > 0, true from factor 2 up
  DesignColourFilter(design_, 0.2 / factor_);
}

void StereoColouration::Reset() {
  for (int k = 0; k < 10; ++k) up_[k] = down_[k] = StereoSample{};
}

void StereoColouration::Process(const double* left, const double* right, StereoSample* out,
                                int frames) {
  ActiveChainKernels().colour(design_, factor_, up_, down_, left, right, out, frames);
}

}  // namespace brimo
