#include "chart/ChartFont.h"

#include "chart/ChartDraw.h"

namespace chart {

void ChartFont::SetFont(const QString& face, int tenths, bool italic, bool bold, bool underline) {
    // Face names longer than the platform's 31-character limit are cut, as the font
    // description holds no more.
    face_ = face.left(30);
    size_ = tenths;
    italic_ = italic;
    bold_ = bold;
    underline_ = underline;
    changed_ = true;
}

void ChartFont::SetVertical(bool vertical) {
    vertical_ = vertical;
    changed_ = true;
}

const QFont& ChartFont::GetFont() {
    if (changed_) {
        font_ = MakePointFont(face_.left(30), size_, bold_, italic_, underline_);
        changed_ = false;
    }
    return font_;
}

}  // namespace chart
