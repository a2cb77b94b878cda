// Command line of brimo-render: what to do and with which parameter settings.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace brimo::render {

enum class Mode { Render, ListParams, Response, Demo, Snapshot, Help, Version };

// One parameter setting as typed: a host-visible name (or "#id") and the value text.
struct Assignment {
  std::string name;
  std::string value;
};

// One curve of a response chart: its label and the settings that apply to it
// (the common settings first, then its own, so later ones win).
struct Curve {
  std::string label;
  std::vector<Assignment> sets;
};

struct Options {
  Mode mode = Mode::Help;
  std::string input;            // render: IN
  std::string output;           // render: OUT; response: output base name; demo: folder;
                                // snapshot: the PNG file
  std::string plugin;           // --plugin PATH, empty = default search
  std::vector<Curve> curves;    // at least one; render and list-params use curves[0]
  std::string format;           // --format (container), empty = by OUT's extension or as the input
  std::string encoding;         // --encoding (sample format), empty = chosen to suit the container
  double sampleRate = 44100.0;  // --rate for response measurement
  int blockSize = 512;          // --block
  bool quiet = false;           // --quiet: no progress bar
  double scale = 1.0;           // --scale for the snapshot: device pixels per panel unit
  std::string touch;            // --touch for the snapshot: the control whose readout shows
};

struct ParseResult {
  bool ok = false;
  Options options;
  std::string error;  // set when !ok
};

// Parses argv[1..]. Assignments given before any --curve apply to every curve.
ParseResult ParseArguments(const std::vector<std::string>& args);

// Splits "NAME=VALUE" at the first '='; surrounding blanks are dropped from both sides.
// Fails on a missing '=' or an empty side.
std::optional<Assignment> ParseAssignment(const std::string& text);

// Reads a whole decimal number (no trailing junk, finite). Used for values and options.
std::optional<double> ParseNumber(const std::string& text);

const char* UsageText();

}  // namespace brimo::render
