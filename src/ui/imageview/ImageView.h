#pragma once

#include <QImage>
#include <QWidget>

// A view showing one picture, scaled proportionally to fit and centred; by default only down,
// never up. No picture: nothing is drawn.
class ImageView : public QWidget
{
    Q_OBJECT

public:
    // The platform's image scaling values that the program's views use.
    enum ImageScaling {
        ImageScaleProportionallyDown = 0,
        ImageScaleProportionallyUpOrDown = 3,
    };

    explicit ImageView(QWidget* parent = nullptr);

    ImageScaling imageScaling() const { return m_imageScaling; }
    void setImageScaling(ImageScaling scaling);

    QImage image() const { return m_image; }
    // A null image clears the view. Call on the main thread.
    void setImage(const QImage& image);
    // Asks for a new layout pass and a repaint.
    void setNeedsLayout(bool needsLayout);

    QSize sizeHint() const override;

signals:
    // Every time a picture (or nothing) is set, the same one included.
    void imageChanged(const QImage& image);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_image;
    ImageScaling m_imageScaling = ImageScaleProportionallyDown;
};
