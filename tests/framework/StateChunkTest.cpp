#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "TestPlug.h"

namespace {

TEST(StateChunk, GrowthRule) {
  StateChunk chunk;
  ASSERT_TRUE(chunk.PutDouble(1.0));
  EXPECT_EQ(chunk.Size(), 8);
  EXPECT_EQ(chunk.Capacity(), 4000);  // (8 + 96 + 4096) rounded down to 4096, minus 96
  for (int i = 1; i < 13; ++i) chunk.PutDouble(double(i));
  EXPECT_EQ(chunk.Capacity(), 4000);

  chunk.Resize(4001);
  EXPECT_EQ(chunk.Capacity(), 8096);
  double v = 0.0;
  EXPECT_EQ(chunk.GetDouble(v, 96), 104);
  EXPECT_EQ(v, 12.0) << "growing keeps the contents";

  chunk.Resize(10, true);  // above the shrink threshold of 1: no reallocation
  EXPECT_EQ(chunk.Capacity(), 8096);
  chunk.Resize(0);
  EXPECT_EQ(chunk.Capacity(), 8096);
  chunk.Resize(8);
  chunk.Resize(-5, true);  // negative counts as 0; shrinking to nothing releases the storage
  EXPECT_EQ(chunk.Size(), 0);
  EXPECT_EQ(chunk.Capacity(), 0);
  EXPECT_EQ(chunk.Bytes(), nullptr);

  StateChunk fine(16);
  fine.Resize(100);
  EXPECT_EQ(fine.Capacity(), 150);
  fine.Resize(1000, true);
  fine.Resize(100, true);  // threshold min(1500 / 2, 1500 - 64) = 750
  EXPECT_EQ(fine.Capacity(), 150);
}

TEST(StateChunk, SizesThatCannotBeRepresentedFailAndKeepTheChunk) {
  StateChunk chunk;
  chunk.PutDouble(42.0);
  EXPECT_EQ(chunk.Resize(std::numeric_limits<int32_t>::max() - 4), nullptr);
  EXPECT_EQ(chunk.Size(), 8);
  EXPECT_EQ(chunk.Capacity(), 4000);
  double v = 0.0;
  EXPECT_EQ(chunk.GetDouble(v, 0), 8);
  EXPECT_EQ(v, 42.0);

  v = -1.0;
  EXPECT_EQ(chunk.GetDouble(v, 1), -1);
  EXPECT_EQ(chunk.GetDouble(v, -8), -1);
  EXPECT_EQ(chunk.GetDouble(v, std::numeric_limits<int32_t>::max() - 4), -1);
  EXPECT_EQ(v, -1.0) << "a failed read leaves the value alone";

  StateChunk moved(std::move(chunk));
  EXPECT_EQ(moved.Size(), 8);
  EXPECT_EQ(chunk.Size(), 0);
}

TEST(StateChunk, SectionIsLittleEndianDoublesWithoutHeader) {
  TestPlug plug(13);
  for (int i = 0; i < 13; ++i) plug.GetParam(i)->DefineDouble("", 0.0, -100.0, 100.0, 0.001);
  for (int i = 0; i < 13; ++i) plug.GetParam(i)->SetPlain(i * 1.25 - 7.0);
  StateChunk chunk;
  ASSERT_TRUE(plug.SerializeParams(&chunk));
  ASSERT_EQ(chunk.Size(), 104);
  for (int i = 0; i < 13; ++i) {
    uint64_t bits = 0;
    for (int b = 7; b >= 0; --b) bits = (bits << 8) | chunk.Bytes()[8 * i + b];
    double v;
    std::memcpy(&v, &bits, 8);
    EXPECT_EQ(v, i * 1.25 - 7.0) << "parameter " << i;
  }

  TestPlug copy(13);
  for (int i = 0; i < 13; ++i) copy.GetParam(i)->DefineDouble("", 0.0, -100.0, 100.0, 0.001);
  EXPECT_EQ(copy.UnserializeParams(&chunk, 0), 104);
  EXPECT_EQ(copy.GetParam(12)->Value(), 12 * 1.25 - 7.0);
  ASSERT_EQ(copy.log.size(), 13u);
  EXPECT_EQ(copy.log.front(), "changed 0");
  EXPECT_EQ(copy.log.back(), "changed 12");

  StateChunk nothing;
  EXPECT_TRUE(TestPlug(0).SerializeParams(&nothing));
  EXPECT_EQ(nothing.Size(), 0);
}

TEST(StateChunk, ShortOrBadStoredValues) {
  TestPlug plug(13);
  for (int i = 0; i < 13; ++i) plug.GetParam(i)->DefineDouble("", 3.0, 1.0, 5.0, 0.01);
  StateChunk chunk;
  chunk.PutDouble(2.0);
  chunk.PutDouble(99.0);  // out of range: clamped
  chunk.Resize(20);
  std::memset(chunk.Bytes() + 16, 0xFF, 4);
  EXPECT_EQ(plug.UnserializeParams(&chunk, 0), -1);
  EXPECT_EQ(plug.GetParam(0)->Value(), 2.0);
  EXPECT_EQ(plug.GetParam(1)->Value(), 5.0);
  EXPECT_EQ(plug.GetParam(2)->Value(), 1.0) << "the short position reads 0.0, clamped";
  for (int i = 3; i < 13; ++i) EXPECT_EQ(plug.GetParam(i)->Value(), 3.0);
  EXPECT_EQ(plug.log.size(), 13u) << "every parameter is announced";

  StateChunk bad;
  bad.PutDouble(std::numeric_limits<double>::quiet_NaN());
  plug.UnserializeParams(&bad, 0);
  EXPECT_EQ(plug.GetParam(0)->Value(), 2.0) << "a stored NaN is ignored";
}

TEST(Presets, DefaultPresetAndCaptureOfEmptyPresets) {
  TestPlug plug(2, "1-1 2-2", 3);
  plug.GetParam(0)->DefineDouble("A", 0.5, 0.0, 1.0, 0.01);
  EXPECT_EQ(plug.PresetCount(), 3);
  EXPECT_STREQ(plug.GetPresetName(0), "empty");
  EXPECT_STREQ(plug.GetPresetName(3), "");

  plug.MakeDefaultPreset("-");
  EXPECT_STREQ(plug.GetPresetName(0), "-");

  plug.GetParam(0)->SetPlain(0.75);
  EXPECT_TRUE(plug.RestorePreset(2));  // empty: captures instead of applying
  EXPECT_STREQ(plug.GetPresetName(2), "user preset 1");
  EXPECT_EQ(plug.GetParam(0)->Value(), 0.75);
  EXPECT_EQ(plug.GetCurrentPreset(), 2);
  EXPECT_TRUE(plug.RestorePreset(1));
  EXPECT_STREQ(plug.GetPresetName(1), "user preset 2");

  plug.MakeDefaultPreset("late");  // every preset is taken: nothing happens
  EXPECT_STREQ(plug.GetPresetName(1), "user preset 2");

  plug.log.clear();
  EXPECT_TRUE(plug.RestorePreset(0));
  EXPECT_EQ(plug.GetParam(0)->Value(), 0.5);
  EXPECT_EQ(plug.GetCurrentPreset(), 0);
  EXPECT_EQ(plug.log, (std::vector<std::string>{"changed 0", "changed 1", "preset restored"}));
  EXPECT_TRUE(plug.RestorePreset(2));
  EXPECT_EQ(plug.GetParam(0)->Value(), 0.75);
}

TEST(Presets, RestoreFailures) {
  TestPlug plug(1, "1-1 2-2", 1);
  plug.MakeDefaultPreset("-");
  EXPECT_FALSE(plug.RestorePreset(-1));
  EXPECT_FALSE(plug.RestorePreset(1));
  EXPECT_TRUE(plug.log.empty());

  // With no parameters the snapshot is empty and reads back as 0: a failure, although every
  // (zero) parameter was announced, and the current preset stays.
  TestPlug empty(0, "1-1 2-2", 2);
  std::vector<std::string> graphicsLog;
  auto* graphics = new FakeGraphics(&empty, &graphicsLog);
  empty.AttachGraphics(graphics);
  empty.MakeDefaultPreset("-");
  EXPECT_TRUE(empty.RestorePreset(1));
  EXPECT_EQ(empty.GetCurrentPreset(), 1);
  EXPECT_FALSE(empty.RestorePreset(0));
  EXPECT_EQ(empty.GetCurrentPreset(), 1);
  EXPECT_EQ(empty.log, std::vector<std::string>{"preset restored"});

  // A capture that fails leaves the preset empty, for the default and for a restore alike.
  struct FailingCapture : TestPlug {
    FailingCapture() : TestPlug(1, "1-1 2-2", 1) {}
    bool SerializeParams(StateChunk*) override { return false; }
  } failing;
  failing.MakeDefaultPreset("-");
  EXPECT_STREQ(failing.GetPresetName(0), "empty");
  EXPECT_FALSE(failing.RestorePreset(0));
  EXPECT_STREQ(failing.GetPresetName(0), "empty");
  EXPECT_EQ(failing.GetCurrentPreset(), 0);
}

}  // namespace
