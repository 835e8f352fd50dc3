// A private lock directory, so these tests never contend with a console or server on this machine.
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
