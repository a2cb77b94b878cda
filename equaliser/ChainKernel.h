// The per-sample loop of the equaliser chain and of the colouration, built once per instruction
// set (ChainKernel*.cpp) and reached through the table that ColourPath.cpp selects. Internal to
// the DSP library.
#pragma once

#include "Colouration.h"
#include "FilterSections.h"
#include "StereoSample.h"

#include <cstdint>

namespace brimo {

// One block of the chain: the samples, the selected section of each stage (null where the stage is
// off) and the colouration's histories, all owned by EqualiserChain.
struct ChainBlock {
  const double* left;
  const double* right;
  double* outLeft;
  double* outRight;
  std::int32_t frames;

  BasicFirstOrderSection<StereoSample>* lowCut;
  BasicSecondOrderSection<StereoSample>* lowBoost;
  BasicSecondOrderSection<StereoSample>* midBoost;
  BasicSecondOrderSection<StereoSample>* midCut;
  BasicFirstOrderSection<StereoSample>* highBoost;
  BasicFirstOrderSection<StereoSample>* highCut;
  double makeUp, colourMix, outputGain;
  bool lowBoostOff, bypass;

  const ColourFilterDesign* design;
  int factor;
  StereoSample* up;
  StereoSample* down;
};

struct ChainKernels {
  void (*runChain)(const ChainBlock& block);
  void (*colour)(const ColourFilterDesign& design, int factor, StereoSample* up, StereoSample* down,
                 const double* left, const double* right, StereoSample* out, int frames);
};

extern const ChainKernels kChainKernelsSse2;
extern const ChainKernels kChainKernelsAvx2;
extern const ChainKernels kChainKernelsAvx512;

// The table of the active path (ColourPath.h).
const ChainKernels& ActiveChainKernels();

}  // namespace brimo
