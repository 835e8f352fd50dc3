// The Common tests and the processes they start share one private lock directory, so they never
// contend with a console, a server or another test program on this machine.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "Common/DatabaseLock.h"
#include "tests/Common/TestSupport.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    umask(022);  // lock files must be widened to 0666 against a narrowing umask
    test::TempDir lockDirectory;
    setenv(kLockDirectoryVariable, lockDirectory.path().c_str(), 1);
    return RUN_ALL_TESTS();
}
