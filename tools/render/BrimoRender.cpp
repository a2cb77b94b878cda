// brimo-render: renders audio files through the BRIMO plug-in bundle, loaded as a VST3 host loads
// it, measures and plots its responses, and draws its editor to a picture.
#include <cstdio>
#include <string>
#include <vector>

#include "Commands.h"
#include "Options.h"

#ifndef BRIMO_RENDER_VERSION
#define BRIMO_RENDER_VERSION "0"
#endif

int main(int argc, char** argv) {
  using namespace brimo::render;
  const std::vector<std::string> args(argv + 1, argv + argc);
  const ParseResult parsed = ParseArguments(args);
  if (!parsed.ok) {
    std::fprintf(stderr, "brimo-render: %s\n%s", parsed.error.c_str(), UsageText());
    return 2;
  }
  const Options& o = parsed.options;
  switch (o.mode) {
    case Mode::Help:
      std::fputs(UsageText(), stdout);
      return 0;
    case Mode::Version:
      std::printf("brimo-render %s\n", BRIMO_RENDER_VERSION);
      return 0;
    case Mode::Render:
      return RunRender(o);
    case Mode::ListParams:
      return RunListParams(o);
    case Mode::Response:
      return RunResponse(o);
    case Mode::Demo:
      return RunDemo(o);
    case Mode::Snapshot:
      return RunSnapshot(o);
  }
  return 2;
}
