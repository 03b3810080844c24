#include "judge/Noise.h"

void SeeWhatChangesByItself(const Snapshot &first, LooksBefore *looks, NoiseRecord *noise)
{
    looks->ChangedBetween.clear();
    CompareSnapshots(first, looks->Before, &looks->ChangedBetween);
    noise->SeenBefore = OutermostPlaces(looks->ChangedBetween);
}

std::vector<Change> InstallersChanges(const LooksBefore &looks, const Snapshot &installed, NoiseRecord *noise)
{
    std::vector<Change> changes;
    CompareSnapshots(looks.Before, installed, &changes);
    noise->ChangesBefore = ForgetWhatIsNotTheInstallers(&changes, looks.ChangedBetween, &noise->TakenBefore);
    return changes;
}
