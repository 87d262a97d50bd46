#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QPixmap>

#include <optional>

// A button of the left bar: a coloured layer (none: the bar shows through), a picture drawn alone
// in its middle (or scaled to fill), optionally clipped to a rounded shape.
class LeftBarButton : public QAbstractButton
{
    Q_OBJECT

public:
    LeftBarButton(int tag, QWidget* parent);

    int tag() const { return m_tag; }

    void setLayerColor(std::optional<QColor> color);
    std::optional<QColor> layerColor() const { return m_layerColor; }

    // The picture and the bundled name it came from ("" for a downloaded one).
    void setImage(const QPixmap& image, const QString& name);
    QString imageName() const { return m_imageName; }
    QPixmap image() const { return m_image; }

    void setScalesImageToFill(bool on);
    void setCornerRadius(qreal radius);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_tag;
    std::optional<QColor> m_layerColor;
    QPixmap m_image;
    QString m_imageName;
    bool m_scalesToFill = false;
    qreal m_cornerRadius = 0;
};

// The bar's own close, minimise and zoom buttons (the window has no title bar).
class WindowControlButton : public QAbstractButton
{
    Q_OBJECT

public:
    enum class Kind { Close, Minimize, Zoom };
    WindowControlButton(Kind kind, QWidget* parent);
    Kind kind() const { return m_kind; }
    QSize sizeHint() const override { return {14, 14}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    Kind m_kind;
    bool m_hovered = false;
};

// A round dot of one colour (the reply-reminder dot).
class DotView : public QWidget
{
    Q_OBJECT

public:
    DotView(QColor color, QWidget* parent);
    QColor color() const { return m_color; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_color;
};
