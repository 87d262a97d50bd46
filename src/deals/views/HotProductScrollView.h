#pragma once

#include "foundation/models/slideData.h"

#include <QFontMetrics>
#include <QList>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include <functional>

class ListKeyboardSelection;
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
    // The first row of the whole list, when it holds the top slides.
    static constexpr int kSlideRowHeight = 150;
    // Makes the strip that shows the top slides (the news lists' focus-slide strip, a floor above).
    using SlideStripMaker = std::function<QWidget*(const QList<slideDataPtr>& slides)>;
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
    // Without a maker the slide row stays empty.
    void setSlideStripMaker(SlideStripMaker maker);
    // The strip in the slide row, or null.
    QWidget* slideStrip() const { return m_strip; }
    // What the detail pane now shows, however it came there (a slide, a search result, its own
    // back button): the deal's row is marked while that deal is listed, and no row for another
    // deal not listed or, with an empty id, for an article.
    void setOpenDeal(const QString& productId);

signals:
    // A deal row was clicked.
    void dealChosen(const QString& productId);

private:
    void select(int index);
    void loadFinished(bool ok);
    void replaceStrip();
    // What a click on the row does (the keys do the same): the deal is selected, read and chosen.
    void openRow(int row);

    HotProductListModel* m_model;
    QList<QPushButton*> m_buttons;
    QListView* m_list;
    LoadStateOverlay* m_loadState;
    // The keys, which also keep the open deal's row marked.
    ListKeyboardSelection* m_keys;
    int m_lastSelected = 0;
    SlideStripMaker m_stripMaker;
    QPointer<QWidget> m_strip;
};
