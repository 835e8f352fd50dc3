// The busy box: closes only on the posted close event, with the task runner as its caller.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QtTest/QTest>

#include "Common/Paths.h"
#include "tasks/AsyncExecutor.h"
#include "ui/PrivateEvents.h"
#include "ui/busy/CBusyDlg.h"
#include "ui/busy/CPictureEx.h"

namespace {

void PostClose(QObject* dialog) {
    QCoreApplication::postEvent(dialog, new QEvent(kCloseBusyEvent));
}

void Serve(int ms) {
    QElapsedTimer timer;
    for (timer.start(); timer.elapsed() < ms;)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// Runs the box modally and returns how long it was up; a guard ends it after 10 s.
qint64 RunModal(CBusyDlg& dialog) {
    QTimer guard;
    guard.callOnTimeout([&] { dialog.done(QDialog::Accepted); });
    guard.start(10000);
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);  // Accepted: the guard had to end it
    return timer.elapsed();
}

// Enter, Escape and a close request leave the box up; the posted event closes it.
void CheckClosesOnlyOnThePostedEvent(CBusyDlg& dialog, bool playing) {
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(dialog.Picture()->IsPlaying(), playing);
    for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter})
        QTest::keyClick(&dialog, key);
    EXPECT_FALSE(dialog.close());
    Serve(50);
    EXPECT_TRUE(dialog.isVisible());
    PostClose(&dialog);
    Serve(50);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(dialog.Picture()->IsPlaying());
}

// busy.gif lies beside the test program (the build copies it there).
TEST(CBusyDlgTest, PlaysBusyGifCentredAndClosesOnlyOnThePostedEvent) {
    CBusyDlg dialog;
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    const CPictureEx* picture = dialog.Picture();
    ASSERT_TRUE(picture->IsPlaying());
    const QRect place = picture->geometry();  // margins differ by the odd pixel at most
    EXPECT_LE(std::abs(place.left() - (dialog.width() - place.right() - 1)), 1);
    EXPECT_LE(std::abs(place.top() - (dialog.height() - place.bottom() - 1)), 1);
    QList<QImage> distinct;
    for (int i = 0; i < 30 && distinct.size() < 4; ++i) {
        Serve(40);
        if (const QImage image = dialog.grab().toImage(); !distinct.contains(image))
            distinct.append(image);
    }
    EXPECT_EQ(distinct.size(), 4);  // the spinner moves
    CheckClosesOnlyOnThePostedEvent(dialog, true);
    CheckClosesOnlyOnThePostedEvent(dialog, true);  // shown again, it plays again
}

TEST(CBusyDlgTest, WithoutBusyGifTheBoxIsEmptyButStillCloses) {
    OverrideModuleDirectory("/nonexistent-directory");
    CBusyDlg dialog;
    CheckClosesOnlyOnThePostedEvent(dialog, false);
    OverrideModuleDirectory("");
    EXPECT_FALSE(dialog.Picture()->IsInitialised());
}

TEST(CBusyDlgTest, QuickJobStillKeepsTheBoxUpForTheDelayThenItsCompletionClosesIt) {
    AsyncExecutor executor;  // the real 500 ms delay
    CBusyDlg dialog;
    std::atomic<bool> jobRan{false};
    executor.SetJob([&] { jobRan = true; });
    executor.SetCompletion([&] { PostClose(&dialog); });
    QElapsedTimer sinceStart;
    sinceStart.start();
    ASSERT_TRUE(executor.Start());
    RunModal(dialog);
    EXPECT_GE(sinceStart.elapsed(), 500);
    EXPECT_TRUE(jobRan);
    EXPECT_TRUE(executor.WaitUntilIdle(std::chrono::seconds(10)));
}

// A job that ends before the box is up must not leave it up for good.
TEST(CBusyDlgTest, CloseEventThatArrivesBeforeTheBoxShowsStillClosesIt) {
    CBusyDlg dialog;
    PostClose(&dialog);
    QCoreApplication::processEvents();  // delivered while the box is hidden
    EXPECT_LT(RunModal(dialog), 2000);
}

}  // namespace
