#include "judge/RunCost.h"

#include <gtest/gtest.h>

// After the first look the run reckons its worst case from its start: what it took so far, the
// looks to come as long as the first, the settle, the stand-in, the watch, and every bounded wait
// at its limit. A budget it cannot keep stops it before the install.
TEST(CheckRunCost, TheWholeRunIsReckonedFromTheFirstLook)
{
    const unsigned long long standIn = StandInAllowanceMs;
    struct Row {
        const char *Name;
        unsigned long long ElapsedMs, FirstLookMs;
        RunBounds Bounds;
        DWORD Budget;
        unsigned long long WorstMs;
        unsigned Limits;
        bool Over;
    } rows[] = {
        {"a runner's full drive, the recipe's limit", 95000, 90000, {120, 2, 12, false, 2}, 0,
         95000 + 2 * 90000 + standIn + 14000 + 3 * 120000, 3, false},
        {"the same within the recipe's budget", 95000, 90000, {120, 2, 12, false, 2}, 800,
         95000 + 2 * 90000 + standIn + 14000 + 3 * 120000, 3, false},
        {"the same with a budget a minute short", 95000, 90000, {120, 2, 12, false, 2}, 600,
         95000 + 2 * 90000 + standIn + 14000 + 3 * 120000, 3, true},
        {"a budget met to the second", 1000, 1000, {10, 0, 0, false, 2}, 38, 1000 + 2000 + standIn + 30000, 3, false},
        {"a budget a millisecond short", 1001, 1000, {10, 0, 0, false, 2}, 38, 1001 + 2000 + standIn + 30000, 3, true},
        {"under Wine, two restarts of the prefix", 4000, 3000, {300, 0, 12, true, 2}, 0,
         4000 + 6000 + standIn + 12000 + 5 * 300000, 5, false},
        {"no watch, no settle, one look to come", 500, 500, {1, 0, 0, false, 1}, 0, 500 + 500 + standIn + 3000, 3, false},
    };
    for (const Row &row : rows) {
        LookCost cost = ReckonRun(row.ElapsedMs, row.FirstLookMs, 1234, row.Bounds, row.Budget);
        EXPECT_EQ(cost.WorstMs, row.WorstMs) << row.Name;
        EXPECT_EQ(cost.LimitsAtMost, row.Limits) << row.Name;
        EXPECT_EQ(cost.MoreLooks, row.Bounds.MoreLooks) << row.Name;
        EXPECT_EQ(OverBudget(cost), row.Over) << row.Name;
    }
}
