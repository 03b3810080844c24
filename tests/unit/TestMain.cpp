// The test programs' main: GoogleTest's own, except that a filter which selects no test fails.
// A group renamed or misspelt in a filter would otherwise pass with nothing run.
#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    if (!GTEST_FLAG_GET(list_tests) && testing::UnitTest::GetInstance()->test_to_run_count() == 0) {
        printf("0 tests matched --gtest_filter=%s\n", GTEST_FLAG_GET(filter).c_str());
        fflush(stdout);
        return 1;
    }
    return result;
}
