// The busy box: closes only on the posted close event, with the task runner as its caller.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
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
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

// Runs the box modally; a guard ends it after `limitMs` so a failing test cannot hang.
struct ModalRun {
    qint64 elapsedMs = 0;
    bool endedByGuard = false;
    int result = -1;
};

ModalRun RunModal(CBusyDlg& dialog, int limitMs) {
    ModalRun run;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &dialog, [&] {
        run.endedByGuard = true;
        dialog.QDialog::reject();
    });
    guard.start(limitMs);
    QElapsedTimer timer;
    timer.start();
    run.result = dialog.exec();
    run.elapsedMs = timer.elapsed();
    return run;
}

TEST(CBusyDlgTest, EnterEscapeAndCloseDoNothingThePostedEventCloses) {
    CBusyDlg dialog;
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QTest::keyClick(&dialog, Qt::Key_Return);
    QTest::keyClick(&dialog, Qt::Key_Enter);
    EXPECT_FALSE(dialog.close());
    Serve(50);
    EXPECT_TRUE(dialog.isVisible());

    PostClose(&dialog);
    Serve(50);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
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
    const ModalRun run = RunModal(dialog, 20000);
    const qint64 total = sinceStart.elapsed();
    EXPECT_FALSE(run.endedByGuard);
    EXPECT_TRUE(jobRan);
    EXPECT_GE(total, 500);
    EXPECT_EQ(run.result, QDialog::Rejected);
    EXPECT_TRUE(executor.WaitUntilIdle(std::chrono::seconds(10)));

    // A second run gets a fresh worker and closes the box again.
    ASSERT_TRUE(executor.Start());
    const ModalRun again = RunModal(dialog, 20000);
    EXPECT_FALSE(again.endedByGuard);
    EXPECT_GE(again.elapsedMs, 300);  // most of the 500 ms delay is spent inside the box
    EXPECT_EQ(executor.WorkersCreated(), 2u);
}

TEST(CBusyDlgTest, CloseEventThatArrivesBeforeTheBoxShowsStillClosesIt) {
    CBusyDlg dialog;
    PostClose(&dialog);
    QCoreApplication::processEvents();  // delivered while the box is hidden
    const ModalRun run = RunModal(dialog, 5000);
    EXPECT_FALSE(run.endedByGuard);
    EXPECT_LT(run.elapsedMs, 2000);
}

// busy.gif lies beside the test program (the build copies it there).
TEST(CBusyDlgTest, PlaysBusyGifWhileShownAndStopsWhenClosed) {
    ASSERT_TRUE(QFile::exists(QCoreApplication::applicationDirPath() + "/busy.gif"));
    CBusyDlg dialog;
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    CPictureEx* picture = dialog.Picture();
    ASSERT_TRUE(picture->IsInitialised());
    EXPECT_TRUE(picture->IsPlaying());
    EXPECT_EQ(picture->size(), QSize(96, 96));
    // Centred: the margins on either side differ by the odd pixel at most.
    const QRect place = picture->geometry();
    EXPECT_LE(std::abs(place.left() - (dialog.width() - place.right() - 1)), 1);
    EXPECT_LE(std::abs(place.top() - (dialog.height() - place.bottom() - 1)), 1);

    const QString saveTo = qEnvironmentVariable("TORVO_BUSY_SNAPSHOTS");
    QList<QImage> distinct;
    for (int i = 0; i < 30; ++i) {
        Serve(40);
        const QImage image = dialog.grab().toImage();
        if (!distinct.contains(image)) {
            distinct.append(image);
            if (!saveTo.isEmpty()) {
                image.save(QDir(saveTo).filePath(QString("busy-%1.png").arg(distinct.size())));
            }
        }
    }
    EXPECT_GE(distinct.size(), 4);  // the spinner moves

    PostClose(&dialog);
    Serve(50);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(picture->IsPlaying());

    // Showing it again loads afresh and plays again.
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_TRUE(picture->IsPlaying());
    PostClose(&dialog);
    Serve(50);
    EXPECT_FALSE(dialog.isVisible());
}

TEST(CBusyDlgTest, WithoutBusyGifTheBoxIsEmptyButStillCloses) {
    OverrideModuleDirectory("/nonexistent-directory");
    CBusyDlg dialog;
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_FALSE(dialog.Picture()->IsInitialised());
    EXPECT_FALSE(dialog.Picture()->IsPlaying());
    PostClose(&dialog);
    Serve(50);
    OverrideModuleDirectory("");
    EXPECT_FALSE(dialog.isVisible());
}

}  // namespace
