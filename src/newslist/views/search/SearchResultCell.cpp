#include "newslist/views/search/SearchResultCell.h"

#include "foundation/CommonFunction.h"
#include "newslist/NewsRowStyle.h"
#include "newslist/views/search/SearchImages.h"
#include "platform/NotificationCenter.h"
#include "ui/controls/UILabel.h"

#include <QHash>
#include <QPainter>

namespace {

const QColor kTitleColor(25, 25, 25);
const QColor kDateColor(115, 115, 115);
const QColor kLineColor(0, 0, 0, 15);  // black at 0.06

QRect titleRect(const QRect& row)
{
    return QRect(row.left() + 15, row.top() + 5, row.width() - 25, 36);
}

QRect dateRect(const QRect& row)
{
    return QRect(row.left() + 10, row.top() + row.height() - 5 - 14, 120, 14);
}

// The text as one line (as Qt::TextSingleLine draws it) in the style's font for kind ('t' title,
// 'd' date), cut with an ellipsis to elideWidth when that is above zero; from the style's cache.
// A copy, not a reference into the cache: the next look-up may push this one out.
QStaticText laidOutLine(const SearchResultCell::RowStyle& style, QChar kind, int elideWidth,
                               const QString& text)
{
    const QString key = kind + QString::number(elideWidth) + QLatin1Char(' ') + text;
    if (const QStaticText* found = style.laidOut->object(key))
        return *found;
    const bool title = kind == QLatin1Char('t');
    QString line = elideWidth > 0 ? style.titleMetrics.elidedText(text, Qt::ElideRight, elideWidth) : text;
    line.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QChar::LineSeparator, QLatin1Char(' '));
    QStaticText laid(line);
    laid.setTextFormat(Qt::PlainText);
    laid.prepare(QTransform(), title ? style.titleFont : style.dateFont);
    style.laidOut->insert(key, new QStaticText(laid));
    return laid;
}

// Where drawText would put a line centred in rect: by the height the line was laid out with,
// which a fallback font for Chinese makes taller than the font's own.
QPointF centredLineTopLeft(const QRect& rect, const QStaticText& line)
{
    return QPointF(rect.left(), rect.top() + (rect.height() - line.size().height()) / 2);
}

}  // namespace

SearchResultCell::SearchResultCell(QWidget* parent) : QWidget(parent)
{
    setControls();
    setLayout();
    if (CommonFunction::isEICapitanLater())
        NotificationCenter::defaultCenter().addObserver(this, QStringLiteral("fontChanged"), nullptr,
                                                        [this](const Notification&) { fontChanged(); });
}

SearchResultCell::~SearchResultCell() = default;

void SearchResultCell::setControls()
{
    m_backImageName = NewsRowStyle::backgroundImage(false);
    m_textLabel = new UILabel(this);
    m_textLabel->setWordWrap(false);
    m_favdateLabel = new UILabel(this);
    m_bottomLine = new QWidget(this);
    m_bottomLine->setAutoFillBackground(true);
    QPalette line = m_bottomLine->palette();
    line.setColor(QPalette::Window, kLineColor);
    m_bottomLine->setPalette(line);
    QPalette title = m_textLabel->palette();
    title.setColor(QPalette::WindowText, kTitleColor);
    m_textLabel->setPalette(title);
    QPalette date = m_favdateLabel->palette();
    date.setColor(QPalette::WindowText, kDateColor);
    m_favdateLabel->setPalette(date);
    fontChanged();
}

void SearchResultCell::setLayout()
{
    const QRect row = rect();
    m_textLabel->setGeometry(titleRect(row));
    m_favdateLabel->setGeometry(dateRect(row));
    m_bottomLine->setGeometry(0, row.height() - 1, row.width(), 1);
}

void SearchResultCell::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    setLayout();
}

void SearchResultCell::fontChanged()
{
    m_textLabel->setFont(CommonFunction::fontWithSize(16));
    m_favdateLabel->setFont(CommonFunction::fontWithSize(10));
}

void SearchResultCell::setTitle(const QString& title, const QString& searchKey, const QString& date, bool selected)
{
    Q_UNUSED(searchKey);
    m_textLabel->setText(title);
    m_favdateLabel->setText(date);
    m_backImageName = NewsRowStyle::backgroundImage(selected);
    update();
}

void SearchResultCell::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event);
    QPainter painter(this);
    painter.drawPixmap(rect(), SearchImages::image(m_backImageName));
}

SearchResultCell::RowStyle SearchResultCell::RowStyle::current()
{
    RowStyle style{CommonFunction::fontWithSize(16), CommonFunction::fontWithSize(10)};
    style.titleMetrics = QFontMetrics(style.titleFont);
    return style;
}

void SearchResultCell::paintRow(QPainter& painter, const QRect& rect, const QString& title, const QString& date,
                                bool selected, const RowStyle& style)
{
    // The background picture stretched to the row once per size, not on every paint.
    static QHash<QString, QPixmap> stretched;
    const QString name = NewsRowStyle::backgroundImage(selected);
    const QString key = name + QLatin1Char('/') + QString::number(rect.width()) + QLatin1Char('x')
                        + QString::number(rect.height());
    auto found = stretched.constFind(key);
    if (found == stretched.constEnd()) {
        const QPixmap source = SearchImages::image(name);
        found = stretched.insert(key, source.isNull() ? QPixmap() : source.scaled(rect.size()));
    }
    if (!found->isNull())
        painter.drawPixmap(rect.topLeft(), *found);
    painter.setPen(kTitleColor);
    painter.setFont(style.titleFont);
    const QRect titleArea = titleRect(rect);
    const QStaticText titleLine = laidOutLine(style, QLatin1Char('t'), titleArea.width(), title);
    painter.drawStaticText(centredLineTopLeft(titleArea, titleLine), titleLine);
    painter.setPen(kDateColor);
    painter.setFont(style.dateFont);
    // The date keeps its whole text even where the font is wider than the label.
    const QRect dateArea = dateRect(rect);
    const QStaticText dateLine = laidOutLine(style, QLatin1Char('d'), 0, date);
    painter.drawStaticText(centredLineTopLeft(dateArea, dateLine), dateLine);
    painter.fillRect(QRect(rect.left(), rect.bottom(), rect.width(), 1), kLineColor);
}
