#include "platform/location.h"

#include <gtest/gtest.h>

#include "platform/error.h"

namespace tovren {
namespace {

TEST(Location, StandardFormResolvesDotsAndDoubledSeparatorsAsText) {
  struct Case {
    const char* path;
    const char* standard;
  } cases[] = {
      {"/", "/"},
      {"/home/ana/", "/home/ana"},
      {"//home//ana", "/home/ana"},
      {"/home/./ana/.tovren/../.tovren/tools", "/home/ana/.tovren/tools"},
      {"/..", "/"},
      {"/a/b/../../..", "/"},
  };
  for (const auto& c : cases) EXPECT_EQ(Location(c.path).standardized().path(), c.standard) << c.path;
}

TEST(Location, AppendsAndWalksUpToTheRoot) {
  Location home("/home/ana");
  EXPECT_EQ(home.append(".tovren/tools").path(), "/home/ana/.tovren/tools");
  EXPECT_EQ(Location("/").append("etc").path(), "/etc");
  EXPECT_EQ(home.parent().path(), "/home");
  EXPECT_EQ(home.parent().parent().path(), "/");
  EXPECT_EQ(Location("/").parent().path(), "/");
  EXPECT_EQ(home.name(), "ana");
  EXPECT_THROW(Location("relative/path"), PlatformError);
}

}  // namespace
}  // namespace tovren
