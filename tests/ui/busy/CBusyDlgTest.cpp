// The busy box: closes only on the posted close event, with the task runner as its caller.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <QtTest/QTest>
#include <optional>

#include "Common/Paths.h"
#include "tests/support/ScopedOverrides.h"
#include "ui/busy/CBusyDlg.h"
#include "ui/busy/CPictureEx.h"
#include "ui/common/PrivateEvents.h"

namespace {

// Enter, Escape and a close request leave the box up; the posted event closes it.
void CheckClosesOnlyOnThePostedEvent(CBusyDlg& dialog, bool playing) {
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(dialog.Picture()->IsPlaying(), playing);
    for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter})
        QTest::keyClick(&dialog, key);
    EXPECT_FALSE(dialog.close());
    QCoreApplication::processEvents();
    EXPECT_TRUE(dialog.isVisible());
    QCoreApplication::postEvent(&dialog, new QEvent(kCloseBusyEvent));
    QCoreApplication::processEvents();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(dialog.Picture()->IsPlaying());
}

// busy.gif lies beside the test program (the build copies it); without it the box still closes.
TEST(CBusyDlgTest, PlaysBusyGifAndClosesOnlyOnThePostedEventEvenOneBeforeItShows) {
    CBusyDlg dialog;
    CheckClosesOnlyOnThePostedEvent(dialog, true);
    EXPECT_GT(dialog.Picture()->FrameCount(), 1u);
    CheckClosesOnlyOnThePostedEvent(dialog, true);  // shown again, it plays again
    std::optional<CBusyDlg> withoutGif;
    {
        test::ScopedOverride moduleDir(OverrideModuleDirectory,
                                       std::string("/nonexistent-directory"), std::string());
        withoutGif.emplace();
        CheckClosesOnlyOnThePostedEvent(*withoutGif, false);
    }
    EXPECT_FALSE(withoutGif->Picture()->IsInitialised());
    // A job that ends before the box is up must not leave it up for good: exec() ends at once
    // (Rejected), not by the guard that accepts after 10 s.
    QCoreApplication::postEvent(&dialog, new QEvent(kCloseBusyEvent));
    QCoreApplication::processEvents();  // delivered while the box is hidden
    QTimer::singleShot(10000, &dialog, [&dialog] { dialog.done(QDialog::Accepted); });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
}

}  // namespace
