#include "hostlib/LastUsedComLock.h"

#include "afx/Registry.h"

// Beside the store, apart from its own lock, which changes take only for a
// moment. A lock that cannot be had (a folder nobody may write) leaves the
// run as it would be alone.
LastUsedComLock::LastUsedComLock() { lock_.Acquire(afx::GetRegistryPath() + ".lastused.lock", true); }
