// GoogleTest main with a QApplication, for widget tests on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The service state is read by the dashboard; the local backend touches no system service.
    qputenv("TORVO_SERVICE_BACKEND", "local");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
