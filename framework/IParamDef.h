#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

// What sort of value a parameter holds. Every kind except KindDouble is rounded to its step.
enum IParamKind : int32_t {
  KindNone = 0,  // never declared
  KindBool = 1,
  KindInt = 2,
  KindEnum = 3,
  KindDouble = 4,
};

// A text shown in place of the number when a parameter's value (truncated to an integer) matches.
struct IDisplayText {
  int32_t value = 0;
  char text[32] = {};
};

// Output buffers of the display operations hold this many characters, terminator included.
constexpr int IParamDisplaySize = 128;

// One automatable value of the plug-in: its plain value, range, step, curve, display precision,
// names and optional display texts, with the conversions between plain and normalised values that
// the host, the editor and the stored state all share.
//
// Declaration (DefineDouble, DefineInt, SetShape, SetName, SetDisplayText and the flag setters)
// happens once in the plug-in's constructor. Afterwards only the value changes. Writers hold the
// plug-in lock; the value is still a single atomic double (relaxed) so that readers outside the
// lock (host queries, the editor) never see a torn value.
class IParamDef {
public:
  IParamDef() = default;
  IParamDef(const IParamDef&) = delete;
  IParamDef& operator=(const IParamDef&) = delete;

  // Declaration. Strings are copied and cut to 31 characters; a null string counts as empty.
  // max is raised to min + step when it is smaller. shape 0.0 keeps the previous shape.
  void DefineDouble(const char* name, double defaultValue, double min, double max, double step,
                    const char* label = "", const char* group = "", double shape = 1.0);
  void DefineInt(const char* name, int32_t defaultValue, int32_t min, int32_t max,
                 const char* label = "", const char* group = "");
  // A shape that is not a positive finite number is refused (the conversions would divide by zero
  // or take roots of negatives); the previous shape stays.
  void SetShape(double shape);
  // Names a record without declaring it: kind, range and value stay as created.
  void SetName(const char* name);
  void SetDisplayText(int32_t value, const char* text);
  void SetNegateDisplay(bool negate) { negateDisplay = negate; }
  void SetAutomatable(bool canAutomate) { automatable = canAutomate; }
  // A hidden parameter keeps its place, value and state but is not shown to hosts.
  void SetHidden(bool hide) { hidden = hide; }

  // Value access. A NaN never becomes the value: SetPlain and SetNormalized ignore it.
  double Value() const { return value.load(std::memory_order_relaxed); }
  void SetPlain(double plain);
  void SetNormalized(double normalized);

  // Conversions. ToNormalized always answers within [0, 1]; FromNormalized neither rounds nor
  // clamps.
  double ToNormalized(double plain) const;
  double GetNormalized() const { return ToNormalized(Value()); }
  double FromNormalized(double normalized) const;

  // Display. GetDisplayText answers "" when no display text matches plain; out buffers must hold
  // IParamDisplaySize characters.
  const char* GetDisplayText(double plain) const;
  // The value whose display text equals text (ignoring case and surrounding white space); false
  // when none does.
  bool FindDisplayText(const char* text, double* plain) const;
  void FormatValue(double plain, char* out) const;
  void GetDisplay(char* out) const { FormatValue(Value(), out); }
  const char* GetLabelForHost() const;

  // Declared properties.
  IParamKind Kind() const { return kind; }
  double Min() const { return min; }
  double Max() const { return max; }
  double Step() const { return step; }
  double Shape() const { return shape; }
  double DefaultValue() const { return defaultValue; }
  int32_t Precision() const { return precision; }
  const char* Name() const { return name; }
  const char* Label() const { return label; }
  const char* Group() const { return group; }
  bool NegateDisplay() const { return negateDisplay; }
  bool IsAutomatable() const { return automatable; }
  bool IsHidden() const { return hidden; }
  int32_t NDisplayTexts() const { return int32_t(displayTexts.size()); }
  const IDisplayText* GetDisplayTextEntry(int32_t position) const;

  // Display precision that DefineDouble derives from a step (decimal places, at most 6).
  static int32_t PrecisionFromStep(double step);

private:
  IParamKind kind = KindNone;
  std::atomic<double> value{0.0};
  double min = 0.0;
  double max = 1.0;
  double step = 1.0;
  double shape = 1.0;
  double defaultValue = 0.0;
  int32_t precision = 0;
  char name[32] = {};
  char label[32] = {};
  char group[32] = {};
  bool negateDisplay = false;
  bool automatable = true;
  bool hidden = false;
  std::vector<IDisplayText> displayTexts;
};

// Copies src into a fixed field of dstSize bytes, cutting it to dstSize - 1 characters and always
// terminating it. A null src gives the empty string.
void CopyTruncated(char* dst, const char* src, int dstSize);

// Truncates toward zero to an int32, saturating at the int32 limits; NaN gives 0.
int32_t TruncToInt32(double v);
