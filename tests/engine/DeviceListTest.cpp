// Device lists crossing the library boundary: filling, counting and freeing
// the caller's array. Built with AddressSanitizer so a double free fails.
#include <gtest/gtest.h>

#include "src/DeviceEnumeration.h"

using namespace capmill;

namespace {

TEST(DeviceList, FillsAtMostMaxNamesAndFreesOnce) {
  std::vector<std::string> found;
  for (int i = 0; i < 25; ++i) found.push_back("Camera " + std::to_string(i));
  char* names[20] = {};
  ASSERT_EQ(FillDeviceList(found, names, 20), 20);
  EXPECT_STREQ(names[19], "Camera 19");
  FreeDeviceList(names, 20);
  for (char* name : names) EXPECT_EQ(name, nullptr);
  FreeDeviceList(names, 20);  // a second free does nothing
  FreeDeviceList(nullptr, 5);
  FreeDeviceList(names, 0);
  FreeDeviceList(names, -3);
}

TEST(DeviceList, NullArrayCountsAndNonPositiveMaxFillsNothing) {
  const std::vector<std::string> found = {"A", "B", "C"};
  EXPECT_EQ(FillDeviceList(found, nullptr, 20), 3);
  char* names[2] = {};
  EXPECT_EQ(FillDeviceList(found, names, 0), 0);
  EXPECT_EQ(FillDeviceList(found, names, -4), -4);
  EXPECT_EQ(names[0], nullptr);
}

TEST(DeviceList, LongNamesAreCutAtACharacterBoundary) {
  std::string name(254, 'a');
  name += "\xc3\xa9\xc3\xa9";  // two two-byte characters: the first straddles byte 255
  char* names[1] = {};
  ASSERT_EQ(FillDeviceList({name}, names, 1), 1);
  EXPECT_EQ(std::string(names[0]), std::string(254, 'a'));
  FreeDeviceList(names, 1);
  EXPECT_EQ(CutUtf8(std::string(255, 'b') + "c", 255), std::string(255, 'b'));
  EXPECT_EQ(CutUtf8("short", 255), "short");
}

}  // namespace
