#include "newslist/views/editor/editColumnViewController.h"

#include "foundation/CommonFunction.h"
#include "newslist/views/CenterViewController.h"
#include "ui/controls/CustomButton.h"
#include "ui/controls/LightPalette.h"
#include "ui/controls/PopoverClicks.h"
#include "ui/controls/UILabel.h"

#include <QFrame>
#include <QVBoxLayout>

namespace {

constexpr int kTitleTop = 8;
constexpr int kLineGap = 20;  // between the last button row of the shown grid and secondLine's title

const char* const kShownProperty = "editorShownGrid";
const char* const kTagProperty = "editorTag";

int gridHeight(qsizetype count)
{
    return count == 0 ? 0 : int((count + 3) / 4) * 30;
}

}  // namespace

editColumnViewController::editColumnViewController(editColumnModel::ColumnLink column, QWidget* parent)
    : QWidget(parent), m_model(std::move(column))
{
    setObjectName(QStringLiteral("editColumnViewController"));
    // Its own white with its own dark texts, whatever the desktop's colour scheme.
    setAutoFillBackground(true);
    setPalette(lightPalette());
    m_firstTitle = new UILabel(QStringLiteral("点击隐藏频道"), this);
    m_firstLine = new QFrame(this);
    m_firstLine->setObjectName(QStringLiteral("firstLine"));
    m_firstLine->setFrameShape(QFrame::HLine);
    m_firstLine->setFrameShadow(QFrame::Plain);
    m_secondTitle = new UILabel(QStringLiteral("点击显示频道"), this);
    m_secondLine = new QFrame(this);
    m_secondLine->setObjectName(QStringLiteral("secondLine"));
    m_secondLine->setFrameShape(QFrame::HLine);
    m_secondLine->setFrameShadow(QFrame::Plain);
    for (QLabel* title : {static_cast<QLabel*>(m_firstTitle), static_cast<QLabel*>(m_secondTitle)})
        title->setFont(CommonFunction::fontWithSize(12));
    viewDidLoad();
}

void editColumnViewController::viewDidLoad()
{
    m_model.viewDidLoad();
    redraw();
}

QList<CustomButton*> editColumnViewController::gridButtons(bool shown) const
{
    QList<CustomButton*> buttons;
    for (CustomButton* button : m_itemArray) {
        if (button->property(kShownProperty).toBool() == shown)
            buttons.append(button);
    }
    return buttons;
}

void editColumnViewController::redraw()
{
    for (CustomButton* button : std::as_const(m_itemArray)) {
        button->hide();
        button->deleteLater();
    }
    m_itemArray.clear();

    m_firstTitle->setGeometry(20, kTitleTop, kWidth - 40, 16);
    m_firstLine->setGeometry(20, kTitleTop + 20, kWidth - 40, 1);
    const int firstBottom = m_firstLine->geometry().bottom() + 1;
    addGrid(m_model.selectedArray(), firstBottom, true);

    const int secondTop = firstBottom + 10 + gridHeight(m_model.selectedArray().size()) + kLineGap;
    m_secondTitle->setGeometry(20, secondTop, kWidth - 40, 16);
    m_secondLine->setGeometry(20, secondTop + 20, kWidth - 40, 1);
    const int secondBottom = m_secondLine->geometry().bottom() + 1;
    addGrid(m_model.optionalArray(), secondBottom, false);
    setFixedSize(kWidth, secondBottom + 10 + gridHeight(m_model.optionalArray().size()) + 10);
}

void editColumnViewController::addGrid(const QList<NewsListDataPtr>& channels, int lineBottom, bool shown)
{
    for (qsizetype i = 0; i < channels.size(); ++i) {
        CustomButton* button = CustomButton::initWithTitleBest(channels.at(i)->ListName, this);
        button->setProperty(kShownProperty, shown);
        button->setProperty(kTagProperty, qlonglong(channels.at(i)->iListID));
        button->setGeometry(editColumnModel::gridFrame(int(i), lineBottom));
        if (shown)
            button->addTarget(this, &editColumnViewController::BeOptional);
        else
            button->addTarget(this, &editColumnViewController::BeSelected);
        button->show();
        m_itemArray.append(button);
    }
}

void editColumnViewController::BeOptional(QObject* sender)
{
    if (!sender)
        return;
    m_model.BeOptional(sender->property(kTagProperty).toLongLong());
    redraw();
}

void editColumnViewController::BeSelected(QObject* sender)
{
    if (!sender)
        return;
    m_model.BeSelected(sender->property(kTagProperty).toLongLong());
    redraw();
}

QWidget* openChannelEditor(CenterViewController* column, QWidget* sender)
{
    if (!column)
        return nullptr;
    auto* popover = column->findChild<QWidget*>(QStringLiteral("editColumnPopover"), Qt::FindDirectChildrenOnly);
    if (!popover) {
        popover = new QWidget(column, Qt::Popup);
        popover->setObjectName(QStringLiteral("editColumnPopover"));
        auto* layout = new QVBoxLayout(popover);
        layout->setContentsMargins(0, 0, 0, 0);
        QPointer<CenterViewController> owner(column);
        editColumnModel::ColumnLink link;
        link.createNewsItemNewsListArray = [owner](const QList<NewsListDataPtr>& shown) {
            if (owner)
                owner->createNewsItemNewsListArray(shown);
        };
        link.updateColumn = [owner](const QList<NewsListDataPtr>& shown) {
            if (owner)
                owner->updateColumn(shown);
        };
        layout->addWidget(new editColumnViewController(std::move(link), popover));
        layout->setSizeConstraint(QLayout::SetFixedSize);
    }
    const QPoint under = sender ? sender->mapToGlobal(QPoint(0, sender->height())) : column->mapToGlobal(QPoint(0, 0));
    popover->move(under);
    passClosingClickThrough(popover, sender);
    popover->show();
    return popover;
}
