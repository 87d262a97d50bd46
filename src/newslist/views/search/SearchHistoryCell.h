#pragma once

#include <QString>
#include <QWidget>

class CustomButton;
class UILabel;

// One remembered keyword (63 high): the keyword, the cross that forgets it and a thin line.
class SearchHistoryCell : public QWidget
{
    Q_OBJECT

public:
    explicit SearchHistoryCell(QWidget* parent = nullptr);

    // Shows the keyword and remembers it for the cross.
    void showText(const QString& keyword);
    // The cross: posts "searchHistoryDelete" with the keyword shown.
    void deleteSelf();
    void fontChanged();

    CustomButton* deleteButton() const { return m_deleteButton; }
    UILabel* titleLabel() const { return m_titleLabel; }
    QString selfTitle() const { return m_selfTitle; }

private:
    void setControls();
    void setLayout();

    CustomButton* m_deleteButton = nullptr;
    QWidget* m_bottomLine = nullptr;
    UILabel* m_titleLabel = nullptr;
    QString m_selfTitle;
};

// Row 0 of the history table: "搜索历史" and the button "清空记录".
class SearchHistoryHeader : public QWidget
{
    Q_OBJECT

public:
    explicit SearchHistoryHeader(int contentWidth, QWidget* parent = nullptr);
    CustomButton* clearButton() const { return m_clear; }

private:
    CustomButton* m_label = nullptr;
    CustomButton* m_clear = nullptr;
};
