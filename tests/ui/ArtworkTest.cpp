// The pictures come out of the resources with their sizes and colours.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <functional>

#include "ui/res/Artwork.h"

namespace {

TEST(Artwork, LampsAre15By15GreenWhenRunningRedOtherwise) {
    for (bool running : {true, false}) {
        const QImage lamp = res::Lamp(running).toImage();
        ASSERT_EQ(lamp.size(), QSize(15, 15)) << running;
        const QColor centre = lamp.pixelColor(7, 8);
        EXPECT_EQ(centre.alpha(), 255);
        if (running) {
            EXPECT_GT(centre.green(), 2 * centre.red());
        } else {
            EXPECT_GT(centre.red(), 2 * centre.green());
        }
        EXPECT_EQ(lamp.pixelColor(0, 0).alpha(), 0);  // round, transparent corners
    }
}

TEST(Artwork, StripsCutIntoDistinctImages) {
    struct Case {
        QPixmap strip;
        int count;
        std::function<QIcon(int)> image;
    };
    const Case cases[] = {
        {res::RowIconStrip(), res::kRowIconCount, res::RowIcon},
        {res::TabImageStrip(), res::kTabImageCount, res::TabImage},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(c.strip.size(), QSize(16 * c.count, 16));
        std::vector<QImage> images;
        for (int i = 0; i < c.count; ++i) {
            const QImage image = c.image(i).pixmap(16, 16).toImage();
            ASSERT_EQ(image.size(), QSize(16, 16)) << i;
            for (const QImage& earlier : images) EXPECT_NE(image, earlier) << i;
            images.push_back(image);
        }
        EXPECT_TRUE(c.image(c.count).isNull());
        EXPECT_TRUE(c.image(-1).isNull());
    }
}

TEST(Artwork, ToolbarPicturesHaveANormalAndAHotImage) {
    std::vector<QIcon> icons{
        res::AccountToolIcon(res::AccountTool::Add), res::AccountToolIcon(res::AccountTool::Modify),
        res::AccountToolIcon(res::AccountTool::Delete), res::AutoRefreshIcon()};
    for (const QIcon& icon : icons) {
        const QImage normal = icon.pixmap(QSize(16, 15), QIcon::Normal).toImage();
        const QImage hot = icon.pixmap(QSize(16, 15), QIcon::Active).toImage();
        EXPECT_EQ(normal.size(), QSize(16, 15));
        EXPECT_NE(normal, hot);
    }
}

TEST(Artwork, IconsExist) {
    EXPECT_FALSE(res::ProgramIcon().isNull());
    EXPECT_EQ(res::ProgramIcon().pixmap(32, 32).size(), QSize(32, 32));
    EXPECT_FALSE(res::MenuExitPicture().isNull());
    EXPECT_FALSE(res::MenuAboutPicture().isNull());
}

}  // namespace
