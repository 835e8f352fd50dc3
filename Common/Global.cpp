#include "Common/Global.h"

#include "Common/Paths.h"

Global::Global() : dbLock_(JoinPath(DatabaseLockDirectory(), kDatabaseLockName)) {}
