#include <gtest/gtest.h>

#include <string>

#include "HostIdentification.h"

namespace {

TEST(HostIdentification, TableOrderAndCaseFolding) {
  EXPECT_EQ(IdentifyHost("REAPER"), 1);
  EXPECT_EQ(IdentifyHost("reaper64"), 1);
  EXPECT_EQ(IdentifyHost("Nuendo and Cubase"), 3);  // cubase is tested first
  EXPECT_EQ(IdentifyHost("olive"), 9);
  EXPECT_EQ(IdentifyHost("Melodyne Live"), 9);  // live comes before melodyne
  EXPECT_EQ(IdentifyHost("Logic Pro"), 21);
  EXPECT_EQ(IdentifyHost("Pro Tools"), 0) << "the table says protools, without a space";
  EXPECT_EQ(IdentifyHost("ProTools"), 2);
  EXPECT_EQ(IdentifyHost("Ardour"), 28);
  EXPECT_EQ(IdentifyHost("VST3PluginTestHost"), 27);
  EXPECT_EQ(IdentifyHost("Standalone"), 24);
  EXPECT_EQ(IdentifyHost("\xC4RDOUR"), 0) << "only A to Z are folded";
  EXPECT_EQ(IdentifyHost(""), 0);
  EXPECT_EQ(IdentifyHost(nullptr), -1);

  const std::string longName = std::string(300, 'x') + "reaper";
  EXPECT_EQ(IdentifyHost(longName.c_str()), 0) << "only the first 255 characters are read";
}

}  // namespace
