#include "support/location.h"

#include "tests/test.h"

namespace tovren::testing {
namespace {

TEST(Location, AppendsWalksUpAndStandardisesAsText) {
  Location home("/home/ana/");
  EXPECT_EQ(home.append(".tovren/tools").path(), "/home/ana/.tovren/tools");
  EXPECT_EQ(Location("/").append("etc").path(), "/etc");
  EXPECT_EQ(home.parent().parent().path(), "/");
  EXPECT_EQ(Location("/").parent().path(), "/");
  EXPECT_EQ(home.name(), "ana");
  for (auto [path, standard] : {std::pair{"//home//ana", "/home/ana"},
                                {"/home/./ana/.tovren/../.tovren/tools", "/home/ana/.tovren/tools"},
                                {"/..", "/"},
                                {"/a/b/../../..", "/"}})
    EXPECT_EQ(Location(path).standardized().path(), standard) << path;
  EXPECT_THROW(Location("relative/path"), std::invalid_argument);
}

}  // namespace
}  // namespace tovren::testing
