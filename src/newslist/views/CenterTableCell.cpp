#include "newslist/views/CenterTableCell.h"

#include "foundation/CommonFunction.h"
#include "newslist/NewsRowStyle.h"
#include "newslist/views/ApplicationCache.h"
#include "platform/NotificationCenter.h"
#include "ui/controls/ImageNamed.h"
#include "ui/controls/UILabel.h"

#include <QCache>
#include <QCoreApplication>
#include <QLabel>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>

namespace {

void setTextColour(QLabel* label, const QColor& colour)
{
    if (label->palette().color(QPalette::WindowText) == colour)
        return;
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    label->setPalette(palette);
}

UILabel* smallLabel(QWidget* parent, const QString& text = QString())
{
    auto* label = new UILabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(CommonFunction::fontWithSize(10));
    return label;
}

// Titles laid out for a line limit, by text, font, width and alignment. One row is drawn again
// for every change of its state (read, selected, a new minute, its picture arrived) and for
// every list that shows its item; its title, at its width, is broken into lines only once.
constexpr int kTitleLayouts = 400;

struct TitleLayoutsTag;

QCache<QString, QTextLayout>& titleLayouts()
{
    return applicationCache<TitleLayoutsTag, QString, QTextLayout>(kTitleLayouts);
}

// fontKey: the font's key (QFont::key), which the caller keeps while its font stays.
const QTextLayout& titleLayout(const QString& text, const QFont& font, const QString& fontKey, Qt::Alignment alignment,
                               int width, int lines)
{
    const QChar separator(0x1f);
    const QString key = fontKey + separator + QString::number(width) + separator + QString::number(lines) + separator +
                        QString::number(int(alignment)) + separator + text;
    if (const QTextLayout* laidOut = titleLayouts().object(key))
        return *laidOut;
    auto* layout = new QTextLayout(text, font);
    QTextOption option(alignment);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    layout->beginLayout();
    qreal y = 0;
    for (int line = 0; line < lines; ++line) {
        QTextLine next = layout->createLine();
        if (!next.isValid())
            break;
        next.setLineWidth(width);
        next.setPosition(QPointF(0, y));
        y += next.height();
    }
    layout->endLayout();
    titleLayouts().insert(key, layout);
    return *layout;
}

// A wrapping label that draws at most so many lines (0: all) and cuts the text at the end of
// the last one, as a text field with a line limit does.
class LineLimitedLabel : public UILabel
{
public:
    using UILabel::UILabel;
    void setMaximumNumberOfLines(int lines) { m_maximumNumberOfLines = lines; }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        if (m_maximumNumberOfLines <= 0) {
            UILabel::paintEvent(event);
            return;
        }
        const QRect area = contentsRect();
        if (m_fontKey.isNull() || m_keyedFont != font()) {
            m_keyedFont = font();
            m_fontKey = m_keyedFont.key();
        }
        const QTextLayout& layout =
            titleLayout(text(), font(), m_fontKey, alignment(), area.width(), m_maximumNumberOfLines);
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        layout.draw(&painter, area.topLeft());
    }

private:
    int m_maximumNumberOfLines = 0;
    QFont m_keyedFont;
    QString m_fontKey;
};

// Setting a picture drops the label's scaled copy; the shared row keeps it while the picture stays.
void setPicture(QLabel* label, const QPixmap& picture)
{
    if (label->pixmap().cacheKey() != picture.cacheKey())
        label->setPixmap(picture);
}

}  // namespace

CenterTableCell::CenterTableCell(QWidget* parent) : QWidget(parent)
{
    setControls();
    layoutRow(70);
    if (CommonFunction::isEICapitanLater())
        NotificationCenter::defaultCenter().addObserver(this, QStringLiteral("fontChanged"), nullptr,
                                                        [this](const Notification&) { fontChanged(); });
}

void CenterTableCell::setControls()
{
    setAttribute(Qt::WA_DontShowOnScreen);
    // The background picture covers the row whole, over the white the list renders it on.
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Added first, so behind everything.
    m_selectedV = new QLabel(this);
    m_selectedV->setScaledContents(true);
    m_selectedV->setPixmap(imageNamed(QStringLiteral("CellNOSelectedBg")));

    // Titles come from the network: shown as plain text, never as markup.
    auto* title = new LineLimitedLabel(this);
    if (CommonFunction::isEICapitanLater())
        title->setMaximumNumberOfLines(2);
    m_titleLabel = title;
    m_titleLabel->setTextFormat(Qt::PlainText);
    m_titleLabel->setFont(CommonFunction::fontWithSize(13));
    m_titleLabel->setWordWrap(true);
    m_titleLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    m_postdate = smallLabel(this);
    m_commentCount = smallLabel(this);
    m_commentCount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    m_coverImageView = new QLabel(this);
    m_coverImageView->setScaledContents(true);
    m_coverImageView->setPixmap(imageNamed(QStringLiteral("browserIOS7_ipad_toolbar_refreshACTIVE")));

    m_pinglunImageView = new QLabel(this);
    m_pinglunImageView->setPixmap(imageNamed(QStringLiteral("iPadTable_hadReadCell_CommentCount_night")));

    m_toupiaoLabel = smallLabel(this, QStringLiteral("投票"));
    m_shipinLabel = smallLabel(this, QStringLiteral("视频"));
    m_adLabel = smallLabel(this);
    for (UILabel* tag : {m_toupiaoLabel, m_shipinLabel, m_adLabel})
        tag->setAlignment(Qt::AlignCenter);
    m_toupiaoLabel->hide();
    m_shipinLabel->hide();
    m_adLabel->hide();

    m_typeLabel = new UILabel(this);
    m_typeLabel->setTextFormat(Qt::PlainText);
    m_typeLabel->hide();

    m_crackView = new QWidget(this);
    m_crackView->setAutoFillBackground(true);
    QPalette bar = m_crackView->palette();
    bar.setColor(QPalette::Window, NewsRowStyle::kSeparator);
    m_crackView->setPalette(bar);
    m_crackView->hide();
}

void CenterTableCell::layoutRow(int height)
{
    resize(kWidth, height);
    const int coverRight = 10 + 70;
    m_selectedV->setGeometry(0, 0, kWidth, height);
    m_coverImageView->setGeometry(QRect(QPoint(10, 10), kCoverSize));
    m_titleLabel->setGeometry(coverRight + 5, 5, kWidth - 10 - (coverRight + 5), 45);
    m_postdate->setGeometry(coverRight + 5, 50, m_dateWidth, 15);
    m_commentCount->setGeometry(kWidth - 5 - 30, 50, 30, 15);
    m_pinglunImageView->setGeometry(m_commentCount->x() - 3 - 12, 53, 12, 10);
    m_toupiaoLabel->setGeometry(m_postdate->geometry().right() + 1 + 2, 50, 21, 13);
    m_shipinLabel->setGeometry(m_toupiaoLabel->geometry());
    m_adLabel->setGeometry(m_titleLabel->x(), m_titleLabel->geometry().bottom() + 1, 21, 13);
    m_typeLabel->setGeometry(kWidth - 12 - 50, 50, 50, 15);
    m_crackView->setGeometry(0, height - 10, 310, 10);
    if (m_taglable)
        m_taglable->setGeometry(coverRight + 5, 6, 25, 16);
}

void CenterTableCell::setTitle(const QString& title)
{
    m_titleLabel->setText(title);
}

void CenterTableCell::setCommentCountText(const QString& text)
{
    m_commentCount->setText(text);
}

void CenterTableCell::setPostDateText(const QString& text)
{
    m_postdate->setText(text);
}

void CenterTableCell::setCoverImage(const QPixmap& picture)
{
    setPicture(m_coverImageView, picture);
}

void CenterTableCell::setCrackVisible(bool visible)
{
    m_crackView->setVisible(visible);
}

void CenterTableCell::colourTag(UILabel* label, const QColor& colour)
{
    // Style sheets are costly to apply; the shared row applies each colour only when it changes.
    if (label->property("tagColour").value<QColor>() == colour)
        return;
    label->setProperty("tagColour", colour);
    label->setStyleSheet(QStringLiteral("color: %1; border: 1px solid %1; background: transparent;").arg(colour.name()));
}

void CenterTableCell::updateCellTextColor()
{
    // The rule's width, widened when this platform's font needs more room for the text.
    const QString date = m_postdate->text();
    auto advance = m_dateAdvances.constFind(date);
    if (advance == m_dateAdvances.cend()) {
        if (m_dateAdvances.size() > 500)
            m_dateAdvances.clear();
        advance = m_dateAdvances.insert(date, m_postdate->fontMetrics().horizontalAdvance(date));
    }
    m_dateWidth = std::max(NewsRowStyle::dateWidth(date), *advance + 2);
    layoutRow(height());
    if (iOdd == 1) {
        setTextColour(m_titleLabel, NewsRowStyle::adTitleColor(currentAd && currentAd->isHaveRead));
        colourTag(m_adLabel, NewsRowStyle::adTypeColor(m_adLabel->text()));
        setTextColour(m_typeLabel, NewsRowStyle::kNote);
        return;
    }
    setTextColour(m_titleLabel, NewsRowStyle::newsTitleColor(currentFeed != nullptr,
                                                             currentFeed && currentFeed->isHaveRead, isSelected,
                                                             titlecolor));
    setTextColour(m_postdate, NewsRowStyle::kNote);
    setTextColour(m_commentCount, NewsRowStyle::kNote);
    colourTag(m_toupiaoLabel, NewsRowStyle::kVoteTag);
    colourTag(m_shipinLabel, NewsRowStyle::kVideoTag);
    m_shipinLabel->setVisible(NewsRowStyle::showsVideoTag(isShiPin, isTouPiao));
    m_toupiaoLabel->setVisible(NewsRowStyle::showsVoteTag(isShiPin, isTouPiao));
    // A cell that showed an ad before shows the news parts again.
    m_adLabel->hide();
    m_typeLabel->hide();
    m_pinglunImageView->show();
}

void CenterTableCell::updateCellBgImage()
{
    setPicture(m_selectedV, imageNamed(NewsRowStyle::backgroundImage(isSelected)));
    const bool pinned = currentFeed && currentFeed->isTop;
    // One pinned tag per row, however often the row is refreshed.
    if (pinned && !m_taglable) {
        m_taglable = new UILabel(QStringLiteral("置顶"), this);
        m_taglable->setFont(CommonFunction::fontWithSize(10));
        m_taglable->setAlignment(Qt::AlignCenter);
        m_taglable->setStyleSheet(QStringLiteral("color: white; background: %1; border-radius: 3px;")
                                      .arg(NewsRowStyle::kPinnedTag.name()));
        m_taglable->setGeometry(10 + 70 + 5, 6, 25, 16);
    }
    if (m_taglable) {
        m_taglable->setText(QStringLiteral("置顶"));
        m_taglable->setVisible(pinned);
    }
}

int CenterTableCell::pinnedTagCount() const
{
    int count = 0;
    for (const QObject* child : children()) {
        const auto* label = qobject_cast<const QLabel*>(child);
        count += label && label->text() == QStringLiteral("置顶") ? 1 : 0;
    }
    return count;
}

void CenterTableCell::setupWithAdData(const NSListADInfoPtr& ad)
{
    if (!ad)
        return;
    if (m_taglable) {
        m_taglable->setText(QStringLiteral(""));
        m_taglable->hide();
    }
    m_coverImageView->show();
    m_selectedV->show();
    m_titleLabel->setText(ad->adTitle);
    m_adLabel->setText(ad->adType);
    m_adLabel->show();
    m_postdate->setText(QStringLiteral(""));
    m_commentCount->setText(QStringLiteral(""));
    QFont note = QFont();
    note.setPixelSize(11);
    note.setWeight(QFont::Light);
    m_typeLabel->setFont(note);
    m_typeLabel->setText(QStringLiteral("查看详情"));
    setTextColour(m_typeLabel, QColor(0, 0, 0, 128));
    m_typeLabel->show();
    m_shipinLabel->hide();
    m_toupiaoLabel->hide();
    m_pinglunImageView->hide();
    setPicture(m_selectedV, imageNamed(NewsRowStyle::backgroundImage(ad->isSelected)));
}

void CenterTableCell::fontChanged()
{
    m_dateAdvances.clear();
    m_titleLabel->setFont(CommonFunction::fontWithSize(13));
    for (UILabel* label : {m_postdate, m_commentCount, m_toupiaoLabel, m_shipinLabel, m_adLabel})
        label->setFont(CommonFunction::fontWithSize(10));
}
