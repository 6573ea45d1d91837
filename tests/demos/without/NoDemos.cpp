// Built when the project is configured without the demo programs.
#include <gtest/gtest.h>

TEST(Demos, NotBuilt) { GTEST_SKIP() << "the demo programs are not built (LIMPET_BUILD_DEMOS=OFF)"; }
