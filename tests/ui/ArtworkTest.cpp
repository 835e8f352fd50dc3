// Pictures cut from the resource strips (the lamps are checked on the dashboard's pixels).
#include <gtest/gtest.h>

#include <QImage>
#include <functional>

#include "ui/res/Artwork.h"

namespace {

TEST(Artwork, StripsCutIntoDistinctImages) {
    const std::tuple<QPixmap, int, std::function<QIcon(int)>> strips[] = {
        {res::RowIconStrip(), res::kRowIconCount, res::RowIcon},
        {res::TabImageStrip(), res::kTabImageCount, res::TabImage}};
    for (const auto& [strip, count, image] : strips) {
        ASSERT_EQ(strip.size(), QSize(16 * count, 16));
        std::vector<QImage> images;
        for (int i = 0; i < count; ++i) {
            images.push_back(image(i).pixmap(16, 16).toImage());
            ASSERT_EQ(images.back().size(), QSize(16, 16)) << i;
            for (int j = 0; j < i; ++j) EXPECT_NE(images[j], images[i]) << j << " " << i;
        }
        EXPECT_TRUE(image(count).isNull());
        EXPECT_TRUE(image(-1).isNull());
    }
}

}  // namespace
