// Removes the application's firewall rule through the firewall policy object.
#pragma once

// Succeeds without removing anything when no rule was named, but only if the
// firewall policy is available. A rule that does not exist is no failure.
bool RemoveFirewallRule();

#include <windows.h>

// The firewall policy's class and interface, which MinGW's headers lack.
extern const CLSID ClsidNetFwPolicy2;
extern const IID IidINetFwPolicy2;
