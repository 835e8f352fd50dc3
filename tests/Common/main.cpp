// The Common tests share one private lock directory, inherited by the processes they start, so
// they never contend with a console, a server or another test program on this machine.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "Common/DatabaseLock.h"
#include "tests/Common/TestSupport.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    test::TempDir lockDirectory;
    setenv(kLockDirectoryVariable, lockDirectory.path().c_str(), 1);
    return RUN_ALL_TESTS();
}
