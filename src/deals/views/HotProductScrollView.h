#pragma once

#include <QFontMetrics>
#include <QList>
#include <QRect>
#include <QWidget>

class LoadStateOverlay;
class HotProductListModel;
class QListView;
class QPushButton;

// The deals view: a bar of category buttons over the selected category's deals, each row with
// its thumbnail; a click on a row chooses that deal.
class HotProductScrollView : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kRowHeight = 70;
    // Where each row shows its deal's thumbnail.
    static constexpr QRect kPictureRect{10, 10, 70, 50};

    explicit HotProductScrollView(QWidget* parent = nullptr);
    static HotProductScrollView* init(QWidget* parent = nullptr) { return new HotProductScrollView(parent); }
    // A row's foot text at the right: the store's name, cut short at the end when it does not fit,
    // then the deal's day ("yyyy-MM-dd"), which is never cut; the day alone when no name fits.
    static QString storeAndDayText(const QFontMetrics& metrics, const QString& store, const QString& time, int width);

    // Selects the remembered category again, as a click on its button.
    void showLastSelectedIndex();

    HotProductListModel* model() const { return m_model; }
    const QList<QPushButton*>& categoryButtons() const { return m_buttons; }
    QListView* listView() const { return m_list; }
    LoadStateOverlay* loadState() const { return m_loadState; }

signals:
    // A deal row was clicked.
    void dealChosen(const QString& productId);

private:
    void select(int index);
    void loadFinished(bool ok);

    HotProductListModel* m_model;
    QList<QPushButton*> m_buttons;
    QListView* m_list;
    LoadStateOverlay* m_loadState;
    int m_lastSelected = 0;
};
