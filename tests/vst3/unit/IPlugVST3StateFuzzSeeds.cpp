// Writes the state fuzzer's seed corpus from the real plug-in, so the seeds follow its state
// layout: the default state, every parameter at its minimum and at its maximum, a stored preset's
// state, one cut inside its last value and one with non-finite values. Each seed starts with the
// byte the fuzzer reads as the stream's piece size.
// Usage: vst3_state_fuzz_seeds <directory> <.vstpreset>
#include "BRIMO.h"
#include "TestHost.h"

#include "public.sdk/source/vst/vstpresetfile.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>

using namespace testhost;

namespace {

std::vector<uint8_t> State(BRIMO& plug) {
  ByteStream saved;
  if (plug.getState(&saved) != kResultOk) return {};
  return saved.bytes;
}

// Every parameter, and the bypass, at one end of its range, through the controller as a host
// would set them.
std::vector<uint8_t> StateAt(BRIMO& plug, ParamValue normalized) {
  for (int32_t i = 0; i < plug.ParamCount(); ++i) plug.setParamNormalized(ParamID(i), normalized);
  plug.setParamNormalized(IPlugVST3::kBypassParamId, normalized);
  return State(plug);
}

std::vector<uint8_t> PresetState(BRIMO& plug, const char* path) {
  IBStream* file = FileStream::open(path, "rb");
  if (file == nullptr) return {};
  PresetFile preset(file);
  const bool restored =
      preset.readChunkList() && preset.restoreComponentState(static_cast<IComponent*>(&plug));
  file->release();
  return restored ? State(plug) : std::vector<uint8_t>{};
}

// The state's layout with NaN, infinities, out-of-range and subnormal values in turn.
std::vector<uint8_t> NonFinite(std::vector<uint8_t> state) {
  if (state.size() < 4) return {};
  const double values[] = {std::numeric_limits<double>::quiet_NaN(),
                           std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity(),
                           1e300,
                           -1e300,
                           std::numeric_limits<double>::denorm_min(),
                           -0.0};
  for (size_t i = 0; i + 8 <= state.size() - 4; i += 8)
    std::memcpy(state.data() + i, &values[(i / 8) % std::size(values)], 8);
  return state;
}

bool Write(const std::string& path, uint8_t pieceSize, const std::vector<uint8_t>& state) {
  if (state.empty()) {
    std::fprintf(stderr, "no state for %s\n", path.c_str());
    return false;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.put(char(pieceSize));
  out.write(reinterpret_cast<const char*>(state.data()), std::streamsize(state.size()));
  return bool(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string dir = argv[1];
  std::error_code error;
  std::filesystem::create_directories(dir, error);

  auto* plug = new BRIMO();
  plug->initialize(nullptr);
  const std::vector<uint8_t> initial = State(*plug);
  std::vector<uint8_t> truncated = initial;
  truncated.resize(truncated.size() >= 6 ? truncated.size() - 6 : 0);

  // Piece sizes: 0 hands out everything at once, 1 a byte per read, 7 pieces that straddle the
  // values, 16 two values per read.
  bool ok = Write(dir + "/default", 0, initial);
  ok &= Write(dir + "/truncated", 16, truncated);
  ok &= Write(dir + "/non-finite", 0, NonFinite(initial));
  ok &= Write(dir + "/maximum-bypassed", 1, StateAt(*plug, 1.0));
  ok &= Write(dir + "/minimum", 7, StateAt(*plug, 0.0));
  ok &= Write(dir + "/preset", 0, PresetState(*plug, argv[2]));
  plug->terminate();
  plug->release();
  return ok ? 0 : 1;
}
