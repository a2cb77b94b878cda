// The five things brimo-render does. Each returns the process exit status: 0 on success, 1 when
// something failed (the message is on standard error and no output file was created or changed).
#pragma once

#include <string>
#include <vector>

#include "Options.h"
#include "Response.h"

namespace brimo::render {

class Session;

int RunRender(const Options& options);
int RunListParams(const Options& options);
int RunResponse(const Options& options);
int RunDemo(const Options& options);
int RunSnapshot(const Options& options);

// Peak level of the measuring impulse. Low enough that the colouration's saturation curve stays
// in its nearly linear region (its hard limit starts at 0.1), high enough to sit far above the
// double-precision noise floor.
inline constexpr double kImpulseLevel = 0.05;
// How long the impulse response is recorded: long enough for the slowest, most resonant network
// (mid boost near its minimum) to decay far below what shows in dB.
inline constexpr double kImpulseSeconds = 2.0;

struct ResolvedSetting;

// Measures one curve on a fresh (not yet started) instance with the given settings: the
// magnitude response in dB at the given frequencies, from the response to one impulse of the
// given peak level, divided by that level.
bool MeasureResponse(Session& session, double sampleRate,
                     const std::vector<ResolvedSetting>& settings,
                     const std::vector<double>& frequencies, std::vector<double>& db,
                     std::string& error, double impulseLevel = kImpulseLevel);

}  // namespace brimo::render
