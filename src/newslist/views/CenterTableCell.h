#pragma once

#include "foundation/models/Feed.h"
#include "foundation/models/NSListADInfo.h"

#include <QHash>
#include <QPointer>
#include <QWidget>

class QLabel;
#include "ui/controls/UILabel.h"

// One row of a news list: a news item (kind 0) or a list ad (kind 1). The list fills one such
// row off screen per row it paints and renders it; rows are never made per item.
class CenterTableCell : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kWidth = 300;
    // The cover picture's place in the row.
    static constexpr QSize kCoverSize{70, 50};

    explicit CenterTableCell(QWidget* parent = nullptr);

    // Filling (the list's order): kind, item, flags, then the colour and background passes.
    void setIOdd(int64_t kind) { iOdd = kind; }
    void setTitle(const QString& title);
    void setCommentCountText(const QString& text);
    void setPostDateText(const QString& text);
    void setCoverImage(const QPixmap& picture);
    void setCurrentFeed(const FeedPtr& feed) { currentFeed = feed; }
    void setCurrentAd(const NSListADInfoPtr& ad) { currentAd = ad; }
    void setIsSelected(bool value) { isSelected = value; }
    void setIsShiPin(bool value) { isShiPin = value; }
    void setIsTouPiao(bool value) { isTouPiao = value; }
    void setIsYuanChuang(bool value) { isYuanChuang = value; }
    void setTitlecolor(const QString& value) { titlecolor = value; }
    // The separator bar under the last pinned item.
    void setCrackVisible(bool visible);

    void updateCellTextColor();
    void updateCellBgImage();
    // Ad rows: texts, tag and background from the ad; the cover picture is the caller's.
    void setupWithAdData(const NSListADInfoPtr& ad);
    void fontChanged();

    // Puts the subviews where their constraints say for a row of that height.
    void layoutRow(int height);

    // Read by tests.
    UILabel* titleLabel() const { return m_titleLabel; }
    UILabel* pinnedTag() const { return m_taglable; }
    int pinnedTagCount() const;
    UILabel* videoTag() const { return m_shipinLabel; }
    UILabel* voteTag() const { return m_toupiaoLabel; }
    UILabel* dateLabel() const { return m_postdate; }
    UILabel* adTag() const { return m_adLabel; }

    QString titlecolor = QStringLiteral("");
    bool isYuanChuang = false;
    bool isTouPiao = false;
    bool isShiPin = false;
    bool isSelected = false;
    QString currentImageLink;
    int64_t iOdd = 0;
    FeedPtr currentFeed;
    NSListADInfoPtr currentAd;

private:
    void setControls();
    static void colourTag(UILabel* label, const QColor& colour);

    QLabel* m_selectedV = nullptr;
    UILabel* m_titleLabel = nullptr;
    UILabel* m_postdate = nullptr;
    UILabel* m_commentCount = nullptr;
    QLabel* m_coverImageView = nullptr;
    QLabel* m_pinglunImageView = nullptr;
    UILabel* m_toupiaoLabel = nullptr;
    UILabel* m_shipinLabel = nullptr;
    UILabel* m_adLabel = nullptr;
    UILabel* m_typeLabel = nullptr;
    QWidget* m_crackView = nullptr;
    QPointer<UILabel> m_taglable;
    int m_dateWidth = 30;
    // Widths of the date texts this row has shown, in the date label's font.
    QHash<QString, int> m_dateAdvances;
};
