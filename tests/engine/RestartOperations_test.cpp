#include "engine/RestartOperations.h"

#include <gtest/gtest.h>

#include "PrintU16.h"

namespace {

using namespace std::string_literals;

// As Windows and Wine write it: a deletion of a folder and of a file, a rename that replaces.
const std::u16string kValue =
    u"\\??\\C:\\dir\0\0\\??\\C:\\a.txt\0\0\\??\\C:\\a.txt\0!\\??\\C:\\b.txt\0\0"s;

TEST(RestartOperations, AreReadAsPairsAndWrittenBackAsTheyWere) {
  const auto Operations = ParseRestartOperations(kValue);
  ASSERT_TRUE(Operations);
  ASSERT_EQ(Operations->size(), 3u);
  EXPECT_EQ(Printable((*Operations)[2].To), "!\\??\\C:\\b.txt");
  EXPECT_EQ(RestartOperationsValue(*Operations), kValue);
  EXPECT_EQ(RestartPath(u"*1\\??\\C:\\x"), u"C:\\x");
  EXPECT_EQ(RestartPath(u"C:\\x"), u"");
  EXPECT_TRUE(ParseRestartOperations(u"")->empty());
}

// A value that is not whole pairs ended by its final NUL is nobody's to rewrite.
TEST(RestartOperations, AMalformedValueIsNotRead) {
  for (const std::u16string& Value :
       {u"\\??\\C:\\a\0\0\\??\\C:\\b\0\0"s.substr(0, 10), u"\\??\\C:\\a\0"s,
        u"\\??\\C:\\a\0\0\\??\\C:\\b\0\0"s, u"\\??\\C:\\a"s}) {
    EXPECT_FALSE(ParseRestartOperations(Value)) << Printable(Value);
  }
}

TEST(RestartOperations, OnlyTheMatchingDeletionsGo) {
  auto Operations = *ParseRestartOperations(kValue);
  const auto IsA = [](std::u16string_view Path) { return Path == u"C:\\a.txt"; };
  EXPECT_EQ(RemoveRestartDeletions(Operations, IsA), 1u);
  // The folder's deletion and the rename from a.txt stay.
  EXPECT_EQ(RestartOperationsValue(Operations),
            u"\\??\\C:\\dir\0\0\\??\\C:\\a.txt\0!\\??\\C:\\b.txt\0\0"s);
}

}  // namespace
