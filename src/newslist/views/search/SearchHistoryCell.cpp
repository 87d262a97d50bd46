#include "newslist/views/search/SearchHistoryCell.h"

#include "foundation/CommonFunction.h"
#include "newslist/views/search/SearchImages.h"
#include "platform/NotificationCenter.h"
#include "ui/controls/CustomButton.h"
#include "ui/controls/UILabel.h"
#include "ui/layout/MASAdditions.h"

namespace {

QWidget* thinLine(QWidget* parent)
{
    auto* line = new QWidget(parent);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, QColor(0, 0, 0, 15));
    line->setPalette(palette);
    return line;
}

CustomButton* imageTitleButton(const QString& image, const QString& title, QWidget* parent)
{
    auto* button = CustomButton::initWithTitle(title, parent);
    button->setIcon(QIcon(SearchImages::image(image)));
    button->setBordered(false);
    button->setBezelStyle(12);
    return button;
}

}  // namespace

SearchHistoryCell::SearchHistoryCell(QWidget* parent) : QWidget(parent)
{
    setControls();
    setLayout();
    if (CommonFunction::isEICapitanLater())
        NotificationCenter::defaultCenter().addObserver(this, QStringLiteral("fontChanged"), nullptr,
                                                        [this](const Notification&) { fontChanged(); });
}

void SearchHistoryCell::setControls()
{
    m_titleLabel = new UILabel(this);
    QPalette palette = m_titleLabel->palette();
    palette.setColor(QPalette::WindowText, QColor(25, 25, 25));
    m_titleLabel->setPalette(palette);
    m_deleteButton = CustomButton::initWithImagePosition(CustomButton::NSImageOnly, QString(), false, 12, this);
    m_deleteButton->setIcon(QIcon(SearchImages::image(QStringLiteral("searchBar_deleteBtn"))));
    m_deleteButton->setIconSize(QSize(20, 20));
    m_deleteButton->addTarget(this, &SearchHistoryCell::deleteSelf);
    m_bottomLine = thinLine(this);
    fontChanged();
}

void SearchHistoryCell::setLayout()
{
    using namespace MASAdditions;
    mas_makeConstraints(m_titleLabel, [this](MASConstraintMaker& make) {
        make.left().equalTo(mas_left(this)).offset(10);
        make.centerY().equalTo(mas_centerY(this)).offset(5);
        make.width().equalTo(120);
        make.height().equalTo(30);
    });
    mas_makeConstraints(m_deleteButton, [this](MASConstraintMaker& make) {
        make.right().equalTo(mas_right(this)).offset(-10);
        make.centerY().equalTo(mas_centerY(this));
        make.width().equalTo(20);
        make.height().equalTo(20);
    });
    mas_makeConstraints(m_bottomLine, [this](MASConstraintMaker& make) {
        make.left().equalTo(mas_left(this));
        make.right().equalTo(mas_right(this));
        make.bottom().equalTo(mas_bottom(this));
        make.height().equalTo(1);
    });
}

void SearchHistoryCell::fontChanged()
{
    m_titleLabel->setFont(CommonFunction::fontWithSize(16));
}

void SearchHistoryCell::showText(const QString& keyword)
{
    m_selfTitle = keyword;
    m_titleLabel->setText(keyword);
}

void SearchHistoryCell::deleteSelf()
{
    NotificationCenter::defaultCenter().post(QStringLiteral("searchHistoryDelete"),
                                             NotificationObject::from(std::make_shared<QString>(m_selfTitle)));
}

SearchHistoryHeader::SearchHistoryHeader(int contentWidth, QWidget* parent) : QWidget(parent)
{
    QWidget* line = thinLine(this);
    line->setGeometry(0, 0, contentWidth, 1);
    m_label = imageTitleButton(QStringLiteral("searchBar_history"), QStringLiteral("搜索历史"), this);
    m_label->setEnabled(false);
    m_label->setGeometry(10, 5, 80, 20);
    m_clear = imageTitleButton(QStringLiteral("searchBar_deleteAll"), QStringLiteral("清空记录"), this);
    m_clear->setStyleSheet(QStringLiteral("color: rgb(210, 34, 34);"));
    m_clear->setGeometry(contentWidth - 90, 5, 80, 22);
}
