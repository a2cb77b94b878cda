// The host code's own pieces that do not need a plug-in: parameter queues and load failures.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "brimo/host/Vst3Host.h"
#include "HostObjects.h"

namespace brimo::host {
namespace {

TEST(HostLibraryParameterChanges, QueuesKeepPointsSortedAndReuseStorage) {
  ParameterChanges changes;
  changes.add(7, 100, 0.5);
  changes.add(3, 0, 0.1);
  changes.add(7, 10, 0.2);
  changes.add(7, 100, 0.9);  // same offset: replaces
  ASSERT_EQ(changes.getParameterCount(), 2);
  Steinberg::Vst::IParamValueQueue* q = changes.getParameterData(0);
  ASSERT_TRUE(q);
  EXPECT_EQ(q->getParameterId(), 7u);
  ASSERT_EQ(q->getPointCount(), 2);
  Steinberg::int32 offset = -1;
  double value = -1;
  ASSERT_EQ(q->getPoint(1, offset, value), Steinberg::kResultOk);
  EXPECT_EQ(offset, 100);
  EXPECT_EQ(value, 0.9);
  EXPECT_EQ(q->getPoint(2, offset, value), Steinberg::kResultFalse);
  EXPECT_EQ(q->getPoint(-1, offset, value), Steinberg::kResultFalse);
  EXPECT_EQ(changes.getParameterData(2), nullptr);

  changes.clear();
  EXPECT_EQ(changes.getParameterCount(), 0);
  changes.add(5, 0, 1.0);
  ASSERT_EQ(changes.getParameterCount(), 1);
  EXPECT_EQ(changes.getParameterData(0), q);  // the queue object is reused
  EXPECT_EQ(q->getParameterId(), 5u);
  EXPECT_EQ(q->getPointCount(), 1);
}

TEST(HostLibraryModule, LoadFailuresAreReported) {
  std::string why;
  EXPECT_FALSE(Module::load("/nonexistent/Missing.vst3", &why));
  EXPECT_FALSE(why.empty());

  namespace fs = std::filesystem;
  fs::path fake = fs::temp_directory_path() / "brimo-not-a-module.vst3";
  std::ofstream(fake) << "not a library";
  why.clear();
  EXPECT_FALSE(Module::load(fake.string(), &why));
  EXPECT_FALSE(why.empty());
  std::remove(fake.string().c_str());
}

TEST(HostLibraryHelpers, ArrangementsAndNames) {
  EXPECT_EQ(arrangementFor(1), Steinberg::Vst::SpeakerArr::kMono);
  EXPECT_EQ(arrangementFor(2), Steinberg::Vst::SpeakerArr::kStereo);
  EXPECT_EQ(arrangementFor(3), Steinberg::Vst::SpeakerArr::kEmpty);
  const Steinberg::Vst::TChar wide[] = {'E', 'Q', 0x00E9, 0x4E2D, 0};
  EXPECT_EQ(narrow(wide), std::string("EQ\xE9?"));
  EXPECT_EQ(narrow(wide, 1), "E");
  // The same string on every platform for an id laid out the platform's way.
  const Steinberg::TUID tuid = INLINE_UID(0xF2AEE70D, 0x00DE4F4E, 0x4B77696C, 0x42726D31);
  ClassId id{};
  std::memcpy(id.data(), tuid, id.size());
  EXPECT_EQ(toString(id), "F2AEE70D00DE4F4E4B77696C42726D31");
}

}  // namespace
}  // namespace brimo::host
