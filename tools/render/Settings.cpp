#include "Settings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace brimo::render {

namespace {

namespace Vst = Steinberg::Vst;

std::string Number(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::optional<std::string> ToText(Vst::IEditController& controller, host::ParamID id,
                                  double normalized) {
  Vst::String128 text{};
  if (controller.getParamStringByValue(id, normalized, text) != Steinberg::kResultOk)
    return std::nullopt;
  return host::narrow(text);
}

std::optional<double> FromText(Vst::IEditController& controller, host::ParamID id,
                               const std::string& text) {
  Vst::String128 wide{};
  const size_t n = std::min<size_t>(text.size(), 127);
  for (size_t i = 0; i < n; ++i)
    wide[i] = static_cast<Vst::TChar>(static_cast<unsigned char>(text[i]));
  double value = 0.0;
  if (controller.getParamValueByString(id, wide, value) != Steinberg::kResultOk)
    return std::nullopt;
  return value;
}

// The normalised value of a text the parameter shows (such as "16x"), if it is one. Only a text
// that the parameter shows again for the value it reads as counts: the plug-in reads any other
// word as 0.
std::optional<double> ShownAs(Vst::IEditController& controller, host::ParamID id,
                              const std::string& text) {
  std::string wanted = text;
  wanted.erase(0, wanted.find_first_not_of(' '));
  wanted.erase(wanted.find_last_not_of(' ') + 1);
  const std::optional<double> n = FromText(controller, id, wanted);
  if (!n) return std::nullopt;
  const std::optional<std::string> shown = ToText(controller, id, *n);
  if (!shown || Lower(*shown) != Lower(wanted)) return std::nullopt;
  return n;
}

}  // namespace

bool IsHidden(const host::ParamInfo& p) {
  return (p.flags & Vst::ParameterInfo::kIsHidden) != 0;
}

std::string DisplayName(const host::ParamInfo& p) {
  if (!p.title.empty()) return p.title;
  std::string name = "#";
  name += std::to_string(p.id);
  return name;
}

bool ResolveSettings(Vst::IEditController& controller, const std::vector<Assignment>& sets,
                     std::vector<ResolvedSetting>& resolved, std::string& error) {
  std::vector<host::ParamInfo> params = host::ListParameters(controller);
  std::erase_if(params, [](const host::ParamInfo& p) { return IsHidden(p); });
  resolved.clear();
  for (const Assignment& a : sets) {
    const host::ParamInfo* found = nullptr;
    if (a.name.size() > 1 && a.name[0] == '#') {
      char* end = nullptr;
      const unsigned long id = std::strtoul(a.name.c_str() + 1, &end, 10);
      if (*end == '\0')
        for (const host::ParamInfo& p : params)
          if (p.id == id) found = &p;
    } else {
      for (const host::ParamInfo& p : params)
        if (p.title == a.name) found = &p;
      if (!found)  // forgive letter case when that is unambiguous
        for (const host::ParamInfo& p : params)
          if (!p.title.empty() && Lower(p.title) == Lower(a.name)) {
            if (found) {
              found = nullptr;
              break;
            }
            found = &p;
          }
    }
    if (!found) {
      error = "unknown parameter \"" + a.name + "\" (--list-params shows the names)";
      return false;
    }
    const host::ParamInfo& p = *found;
    const std::string name = DisplayName(p);
    double normalized = 0;
    if (std::optional<double> plain = ParseNumber(a.value)) {
      const double lo = controller.normalizedParamToPlain(p.id, 0.0);
      const double hi = controller.normalizedParamToPlain(p.id, 1.0);
      const double tol = 1e-9 * std::max(1.0, std::fabs(hi - lo));
      if (!(*plain >= std::min(lo, hi) - tol && *plain <= std::max(lo, hi) + tol)) {
        error = "value " + a.value + " for \"" + name + "\" is out of range (" + Number(lo) +
                " to " + Number(hi) + ")";
        return false;
      }
      normalized = std::clamp(controller.plainParamToNormalized(p.id, *plain), 0.0, 1.0);
      if (p.stepCount > 0) {
        const double steps = normalized * p.stepCount;
        if (std::fabs(steps - std::round(steps)) > 1e-6) {
          error = "value " + a.value + " for \"" + name + "\" is not one of its steps (" +
                  Number(lo) + " to " + Number(hi) + " in " + std::to_string(p.stepCount) +
                  " steps)";
          return false;
        }
        normalized = std::round(steps) / p.stepCount;
      }
    } else if ((p.flags & Vst::ParameterInfo::kIsList) != 0) {
      std::optional<double> n = FromText(controller, p.id, a.value);
      if (!n) {
        error = "value \"" + a.value + "\" is not one of the entries of \"" + name + "\"";
        return false;
      }
      normalized = *n;
    } else if (std::optional<double> n = ShownAs(controller, p.id, a.value)) {
      normalized = *n;  // a text the parameter shows, such as a switch legend
    } else {
      error = "value \"" + a.value + "\" for \"" + name + "\" is not a number or one of its texts";
      return false;
    }
    resolved.push_back({p.id, name, normalized});
  }
  return true;
}

}  // namespace brimo::render
