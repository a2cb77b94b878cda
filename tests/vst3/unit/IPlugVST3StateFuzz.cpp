// libFuzzer target: arbitrary bytes as the controller state stream of a BRIMO instance, read in
// arbitrary pieces, then one processed block. The instance must keep every parameter inside its
// range, save a complete state again and produce finite audio.
#include "BRIMO.h"
#include "TestHost.h"

#include <cstdint>
#include <cstdlib>

using namespace testhost;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static BRIMO* plug = [] {
    auto* p = new BRIMO();
    p->initialize(nullptr);
    p->activateBus(kAudio, kInput, 0, true);
    p->activateBus(kAudio, kOutput, 0, true);
    auto setup = MakeSetup(44100.0, 64);
    p->setupProcessing(setup);
    p->setActive(true);
    return p;
  }();
  if (size == 0) return 0;
  // The first byte picks how many bytes the stream hands out per read (0: all it can).
  ByteStream stream(std::vector<uint8_t>(data + 1, data + size), data[0] % 17);
  plug->setState(&stream);

  for (int32_t i = 0; i < plug->ParamCount(); ++i) {
    const IParamDef* p = plug->GetParam(i);
    if (!(p->Value() >= p->Min() && p->Value() <= p->Max())) std::abort();
  }
  ByteStream saved;
  if (plug->getState(&saved) != kResultOk ||
      saved.bytes.size() != size_t(plug->ParamCount()) * 8 + 4)
    std::abort();

  std::vector<std::vector<float>> in(2, std::vector<float>(64, 0.5f)),
      out(2, std::vector<float>(64, 0.0f));
  Process<float>(plug, in, out, 64);
  for (auto& channel : out)
    for (float s : channel)
      if (!std::isfinite(s)) std::abort();
  return 0;
}
