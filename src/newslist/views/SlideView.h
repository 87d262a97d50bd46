#pragma once

#include "foundation/models/slideData.h"

#include <QList>
#include <QPointer>
#include <QScrollArea>
#include <QTimer>

class CustomButton;
class UILabel;

// The focus slides at the top of a list: one 300 x 150 picture at a time with its title on a
// dark band, arrows on both sides, a turn every 6 s, and a click opens the slide's target.
class SlideView : public QScrollArea
{
    Q_OBJECT

public:
    static constexpr int kWidth = 300;
    static constexpr int kHeight = 150;
    static constexpr int kIntervalMs = 6000;

    // initWithDataSource:
    explicit SlideView(const QList<slideDataPtr>& slides, QWidget* parent = nullptr);
    ~SlideView() override;

    void leftSlide();
    void rightSlide();
    void fontChanged();

    int64_t currentPosition() const { return m_currentPosition; }
    int64_t SlideCount() const { return m_slideCount; }
    QString titleText() const;
    const QTimer& timer() const { return m_timer; }
    CustomButton* leftArrow() const { return m_left; }
    CustomButton* rightArrow() const { return m_right; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // The strip turns a whole slide at a time, by its arrows and its timer alone: the wheel goes
    // to the list around it, and the keys move nothing.
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void setControlsWithDataSource(const QList<slideDataPtr>& slides);
    void showPosition();

    int64_t m_currentPosition = 0;
    int64_t m_slideCount = 0;
    QList<slideDataPtr> m_dataArray;
    QWidget* m_band = nullptr;
    UILabel* m_title = nullptr;
    CustomButton* m_left = nullptr;
    CustomButton* m_right = nullptr;
    QTimer m_timer;
};
