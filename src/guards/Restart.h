// Restarts the machine so that deletions deferred to the restart happen.
#pragma once

// Enables the shutdown privilege and requests an immediate, planned restart
// that does not force applications to close. True once requested.
bool RestartSystem();
