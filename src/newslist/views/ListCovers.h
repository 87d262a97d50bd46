#pragma once

#include <QCache>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QSize>
#include <QString>

class ImageView;
class QAbstractItemView;

// The cover pictures of one news list's rows, by URL. Each picture is loaded through an image
// view of its own (the image view binding: the manager's memory and disk cache, one load per
// view) and kept only as a copy at the size a row shows it; the full picture stays with the
// image cache. The table holds the covers of the rows shown last, up to kMaxCovers, and empties
// when the image cache's memory is cleared (the settings page's clearing).
//
// A cover that could not be loaded is not asked for again on every repaint. Once the rows have
// moved (rowsMoved: scrolled, paged, replaced) it is asked again as its row is drawn, as any
// list row's picture is: the manager refuses at once a URL that failed for good, and a passing
// failure (the network was gone) may be over. The next showing of the list (retryFailed) asks
// past the manager's mark on URLs that failed.
class ListCovers : public QObject
{
    Q_OBJECT

public:
    // A few screens of rows in every list at once, about 14 KB each at 1x.
    static constexpr int kMaxCovers = 200;

    explicit ListCovers(QSize coverSize, QObject* parent = nullptr);
    ~ListCovers() override;

    // The cover of the URL at the row size for that pixel ratio once it has arrived; otherwise
    // null, and its load starts unless it runs or has failed since the last showing.
    QPixmap coverFor(const QString& url, qreal pixelRatio);
    // Covers that failed are asked for again the next time a row wants them.
    void retryFailed();
    // Covers that failed are asked for again, within the manager's mark, when their rows are next
    // drawn.
    void rowsMoved();
    // The list's rows move when it scrolls and when its model pages in rows or replaces them.
    void followRows(QAbstractItemView* list);
    void clear();
    int count() const { return m_entries.size(); }
    // The last load of the URL's cover failed and has not been asked for again yet.
    bool hasFailed(const QString& url) const;

signals:
    // A cover arrived (rows showing it should be painted again).
    void coverArrived();
    // The table was emptied.
    void cleared();

private:
    struct Entry;
    // How a cover whose load failed is asked for at its next drawing (in rising order).
    enum class Again { Not, WithinFailedMark, PastFailedMark };
    void startLoad(const QString& url, Entry& entry, bool retry);
    void askFailedAgain(Again again);

    QSize m_coverSize;
    QCache<QString, Entry> m_entries{kMaxCovers};
};
