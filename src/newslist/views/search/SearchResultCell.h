#pragma once

#include <QCache>
#include <QFont>
#include <QFontMetrics>
#include <QStaticText>
#include <QWidget>

#include <memory>

class QLabel;
class QPainter;
class UILabel;

// One result row (63 high): the background picture ("CellSelectedBg" for the opened item, else
// "CellNOSelectedBg"), the title on one line, the date below it and a thin line at the bottom.
// The result table's delegate paints rows with paintRow, the same drawing without a widget.
class SearchResultCell : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kHeight = 63;

    explicit SearchResultCell(QWidget* parent = nullptr);
    ~SearchResultCell() override;

    // The keyword is accepted and not shown: titles are shown plain.
    void setTitle(const QString& title, const QString& searchKey, const QString& date, bool selected);
    // Takes the fonts of the current thin-font setting.
    void fontChanged();

    UILabel* textLabel() const { return m_textLabel; }
    UILabel* favdateLabel() const { return m_favdateLabel; }
    QString backImageName() const { return m_backImageName; }

    // The fonts and measures of a painted row, made once and again after "fontChanged".
    struct RowStyle
    {
        QFont titleFont;
        QFont dateFont;
        QFontMetrics titleMetrics{titleFont};
        // Titles and dates laid out in these fonts, by text and width, a few screens of rows:
        // scrolling, hovering and a refresh repaint the same rows, and shaping the text is most
        // of what a row costs.
        static constexpr int kLaidOutTexts = 120;
        std::shared_ptr<QCache<QString, QStaticText>> laidOut =
            std::make_shared<QCache<QString, QStaticText>>(kLaidOutTexts);
        static RowStyle current();
    };

    // The row as the table shows it, into rect.
    static void paintRow(QPainter& painter, const QRect& rect, const QString& title, const QString& date, bool selected,
                         const RowStyle& style);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void setControls();
    void setLayout();

    UILabel* m_favdateLabel = nullptr;
    QWidget* m_bottomLine = nullptr;
    QString m_backImageName;
    UILabel* m_textLabel = nullptr;
};
