// Parameters, text conversion, units and programs as the controller presents them.
#include "BundleFixture.h"

#include "pluginterfaces/gui/iplugview.h"

namespace brimo::test {
namespace {

using Steinberg::Vst::ParameterInfo;

class BundleParameters : public ::testing::Test {
protected:
  void SetUp() override {
    plugin = makePlugin();
    ASSERT_TRUE(plugin);
  }
  std::unique_ptr<Plugin> plugin;
};

TEST_F(BundleParameters, HostListInOrder) {
  struct Expected {
    host::ParamID id;
    const char* title;
    const char* units;
    int steps;
    double def;
    int flags;
  };
  const int autom = ParameterInfo::kCanAutomate;
  const Expected expected[] = {
      {kPresetId, "Preset", "", 1, 0.0, ParameterInfo::kIsProgramChange},
      {kBypassId, "Bypass", "", 1, 0.0,
       ParameterInfo::kCanAutomate | ParameterInfo::kIsList | ParameterInfo::kIsBypass},
      {0, "Reserved", "", 1, 0.0, ParameterInfo::kIsHidden | ParameterInfo::kIsReadOnly},
      {kLowBoost, "Low Boost", "%", 0, 0.0, autom},
      {kMidBoost, "Mid Boost", "%", 0, 0.0, autom},
      {kMidCut, "Mid Cut", "%", 0, 0.0, autom},
      {kOutput, "Output", "%", 0, 0.5, autom},
      {kHighBoost, "High Boost", "", 8, 0.0, autom},
      {kHighCut, "High Cut", "", 2, 0.0, autom},
      {kLowCut, "Low Cut", "", 5, 0.0, autom},
      {kLowFrequency, "Low Frequency", "", 3, 0.0, autom},
      {kMidBoostFrequency, "Mid Boost Frequency", "", 7, 0.0, autom},
      {kMidCutFrequency, "Mid Cut Frequency", "", 7, 0.0, autom},
      {kOversampling, "Oversampling", "", 1, 0.0, autom},
      {kBypassSwitch, "Bypass Switch", "", 1, 0.0, autom},
  };
  auto params = plugin->parameters();
  ASSERT_EQ(params.size(), std::size(expected));
  EXPECT_EQ(plugin->controller()->getParameterCount(), 15);
  for (size_t i = 0; i < params.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(params[i].id, expected[i].id);
    EXPECT_EQ(params[i].title, expected[i].title);
    EXPECT_EQ(params[i].shortTitle, "");
    EXPECT_EQ(params[i].units, expected[i].units);
    EXPECT_EQ(params[i].stepCount, expected[i].steps);
    EXPECT_DOUBLE_EQ(params[i].defaultNormalized, expected[i].def);
    EXPECT_EQ(params[i].flags, expected[i].flags);
    EXPECT_EQ(params[i].unitId, 0);
    // Right after initialisation every parameter sits at its default.
    if (params[i].id < kParamCount) {
      EXPECT_DOUBLE_EQ(plugin->controllerNormalized(params[i].id), expected[i].def);
    }
  }
  ParameterInfo info{};
  EXPECT_NE(plugin->controller()->getParameterInfo(15, info), kResultOk);
  EXPECT_NE(plugin->controller()->getParameterInfo(-1, info), kResultOk);
}

TEST_F(BundleParameters, ValueToText) {
  EXPECT_EQ(plugin->toText(kOutput, 0.5), "0.00");
  EXPECT_EQ(plugin->toText(kOutput, 1.0), "15.00");
  EXPECT_EQ(plugin->toText(kOutput, 0.0), "-15.00");
  EXPECT_EQ(plugin->toText(kLowBoost, 0.25), "-0.75");
  // Stepped parameters are shown truncated, not rounded: 0.56 of 0..8 is 4.48.
  EXPECT_EQ(plugin->toText(kHighBoost, 0.56), "4");
  EXPECT_EQ(plugin->toText(kHighBoost, 0.99), "7");
  EXPECT_EQ(plugin->toText(kHighBoost, 1.0), "8");
  // The switches show their panel legends.
  EXPECT_EQ(plugin->toText(kBypassSwitch, 0.0), "off");
  EXPECT_EQ(plugin->toText(kBypassSwitch, 1.0), "on");
  EXPECT_EQ(plugin->toText(kOversampling, 0.0), "4x");
  EXPECT_EQ(plugin->toText(kOversampling, 1.0), "16x");
  // The preset and bypass parameters and unknown ids have no text of the plug-in's own.
  EXPECT_FALSE(plugin->toText(kPresetId, 0.0));
  EXPECT_FALSE(plugin->toText(kBypassId, 1.0));
  EXPECT_FALSE(plugin->toText(13, 0.5));
}

TEST_F(BundleParameters, TextToValue) {
  EXPECT_NEAR(*plugin->fromText(kOutput, "12.5"), 27.5 / 30.0, 1e-12);
  EXPECT_NEAR(*plugin->fromText(kOutput, "  -3.75 dB"), 11.25 / 30.0, 1e-12);
  EXPECT_DOUBLE_EQ(*plugin->fromText(kOutput, "99"), 1.0);  // clamped
  EXPECT_DOUBLE_EQ(*plugin->fromText(kOutput, "-99"), 0.0);
  EXPECT_DOUBLE_EQ(*plugin->fromText(kOutput, "loud"), 0.5);  // no number reads as 0
  EXPECT_DOUBLE_EQ(*plugin->fromText(kOutput, ""), 0.5);
  EXPECT_DOUBLE_EQ(*plugin->fromText(kHighBoost, "3"), 3.0 / 8.0);
  EXPECT_DOUBLE_EQ(*plugin->fromText(kMidBoostFrequency, "7"), 1.0);
  // A legend reads back as the position it names, whatever its case.
  EXPECT_DOUBLE_EQ(*plugin->fromText(kOversampling, "4x"), 0.0);
  EXPECT_DOUBLE_EQ(*plugin->fromText(kOversampling, " 16X "), 1.0);
  EXPECT_DOUBLE_EQ(*plugin->fromText(kBypassSwitch, "on"), 1.0);
  EXPECT_DOUBLE_EQ(*plugin->fromText(kBypassSwitch, "Off"), 0.0);
}

TEST_F(BundleParameters, TextRoundTripKeepsTheShownValue) {
  for (host::ParamID id = 0; id < kParamCount; ++id) {
    for (double x = 0.0; x <= 1.0; x += 0.0625) {
      SCOPED_TRACE(testing::Message() << "id " << id << " normalized " << x);
      auto text = plugin->toText(id, x);
      ASSERT_TRUE(text);
      auto back = plugin->fromText(id, *text);
      ASSERT_TRUE(back);
      EXPECT_EQ(plugin->toText(id, *back), text);
    }
  }
}

TEST_F(BundleParameters, PlainAndNormalizedConversions) {
  EXPECT_DOUBLE_EQ(plugin->toNormalized(kOutput, 0.0), 0.5);
  EXPECT_DOUBLE_EQ(plugin->toNormalized(kOutput, 30.0), 1.0);  // clamped
  EXPECT_DOUBLE_EQ(plugin->toNormalized(kLowBoost, -0.5), 0.5);
  EXPECT_DOUBLE_EQ(plugin->toPlain(kOutput, 0.75), 7.5);
  EXPECT_DOUBLE_EQ(plugin->toPlain(kMidCutFrequency, 1.0), 7.0);
  EXPECT_DOUBLE_EQ(plugin->toNormalized(kBypassId, 0.3), 0.3);  // not a plug-in parameter
  for (host::ParamID id = 0; id < kParamCount; ++id)
    for (double x : {0.0, 0.3, 1.0})
      EXPECT_NEAR(plugin->toNormalized(id, plugin->toPlain(id, x)), x, 1e-12) << id;
}

TEST_F(BundleParameters, ControllerValues) {
  EXPECT_EQ(plugin->setControllerNormalized(kOutput, 0.75), kResultOk);
  EXPECT_DOUBLE_EQ(plugin->controllerNormalized(kOutput), 0.75);
  EXPECT_EQ(plugin->setControllerNormalized(kHighCut, 0.6), kResultOk);
  EXPECT_DOUBLE_EQ(plugin->controllerNormalized(kHighCut), 0.5);  // rounded to a step
  EXPECT_EQ(plugin->setControllerNormalized(kPresetId, 0.0), kResultFalse);
  EXPECT_EQ(plugin->setControllerNormalized(99, 0.5), kResultFalse);
  EXPECT_DOUBLE_EQ(plugin->controllerNormalized(kPresetId), 0.0);
  EXPECT_DOUBLE_EQ(plugin->controllerNormalized(kBypassId), 0.0);
}

TEST_F(BundleParameters, UnitsAndPrograms) {
  auto units = plugin->units();
  ASSERT_EQ(units.size(), 1u);
  EXPECT_EQ(units[0].id, 0);
  EXPECT_EQ(units[0].parentId, -1);
  EXPECT_EQ(units[0].name, "Root Unit");
  EXPECT_EQ(units[0].programListId, -1);
  Steinberg::Vst::UnitInfo unit{};
  EXPECT_EQ(plugin->unitInfo()->getUnitInfo(1, unit), kResultFalse);

  auto* ui = plugin->unitInfo();
  EXPECT_EQ(ui->getProgramListCount(), 0);
  Steinberg::Vst::ProgramListInfo list{};
  ASSERT_EQ(ui->getProgramListInfo(0, list), kResultOk);
  EXPECT_EQ(list.id, static_cast<int32_t>(kPresetId));
  EXPECT_EQ(host::narrow(list.name), "Factory Presets");
  EXPECT_EQ(list.programCount, 1);
  EXPECT_EQ(ui->getProgramListInfo(1, list), kResultFalse);

  EXPECT_EQ(plugin->programName(kPresetId, 0), "-");
  EXPECT_EQ(plugin->programName(kPresetId, 5), "");
  EXPECT_FALSE(plugin->programName(0, 0));
  EXPECT_EQ(ui->getSelectedUnit(), 0);
}

TEST_F(BundleParameters, EditorIsNamedExactly) {
  // Only the name is checked here; the view itself is tested with the editor.
  Steinberg::IPlugView* view = plugin->controller()->createView("Editor");
  EXPECT_EQ(view, nullptr);
  if (view) view->release();
  EXPECT_EQ(plugin->controller()->createView(nullptr), nullptr);
}

}  // namespace
}  // namespace brimo::test
