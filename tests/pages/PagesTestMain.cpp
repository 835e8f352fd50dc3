#include <gtest/gtest.h>

#include <QApplication>

#include "ui/res/Strings.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    res::SetUiLanguage(res::UiLanguage::English);
    return RUN_ALL_TESTS();
}
