// The database lock lives beside each test's own main.db, so these tests never contend with a
// console or server on this machine.
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
