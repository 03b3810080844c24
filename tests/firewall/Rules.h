// The firewall's rule collection (INetFwRules) and the policy object that hands it out
// (INetFwPolicy2, of which only Rules is served).
#pragma once

#include <netfw.h>

INetFwRules *NewRules();
INetFwPolicy2 *NewPolicy();
