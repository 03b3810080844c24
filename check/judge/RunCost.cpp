#include "judge/RunCost.h"

LookCost ReckonRun(unsigned long long elapsedMs, unsigned long long firstLookMs, size_t places, const RunBounds &bounds,
                   DWORD budgetSeconds)
{
    LookCost cost;
    cost.FirstMs = firstLookMs;
    cost.Places = places;
    cost.MoreLooks = bounds.MoreLooks;
    // The installer, the uninstall, the reinstall; under Wine also the two restarts of the prefix.
    cost.LimitsAtMost = bounds.RestartsPrefix ? 5 : 3;
    cost.WorstMs = elapsedMs + bounds.MoreLooks * firstLookMs + StandInAllowanceMs
                 + 1000ull * (bounds.SettleSeconds + bounds.WatchSeconds)
                 + 1000ull * cost.LimitsAtMost * bounds.LimitSeconds;
    cost.BudgetSeconds = budgetSeconds;
    return cost;
}

bool OverBudget(const LookCost &cost)
{
    return cost.BudgetSeconds != 0 && cost.WorstMs > 1000ull * cost.BudgetSeconds;
}
