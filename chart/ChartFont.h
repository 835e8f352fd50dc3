#pragma once

#include <QFont>
#include <QString>

namespace chart {

// A font described by face and size in tenths of a point; the font object is rebuilt only
// after the description changed. A vertical font draws text turned 90 degrees, reading upwards.
class ChartFont {
public:
    ChartFont(QString face, int tenths) : face_(std::move(face)), size_(tenths) {}

    void SetFont(const QString& face, int tenths, bool italic = false, bool bold = false,
                 bool underline = false);
    void SetVertical(bool vertical);
    // Forces the next GetFont to rebuild the font object.
    void MarkChanged() { changed_ = true; }

    const QFont& GetFont();
    bool IsVertical() const { return vertical_; }
    const QString& Face() const { return face_; }
    int Size() const { return size_; }

private:
    QString face_;
    int size_;
    bool italic_ = false;
    bool bold_ = false;
    bool underline_ = false;
    bool vertical_ = false;
    bool changed_ = true;
    QFont font_;
};

}  // namespace chart
