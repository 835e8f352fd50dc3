#pragma once

#include "Common/DatabaseLock.h"
#include "Common/Singleton.h"

// The process-wide holder of the database lock.
class Global : public Singleton<Global> {
public:
    DatabaseLock& dbLock() { return dbLock_; }

private:
    friend class Singleton<Global>;
    Global();

    DatabaseLock dbLock_;
};
