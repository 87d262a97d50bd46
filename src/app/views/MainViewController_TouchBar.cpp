#include "app/views/MainViewController.h"

#include "database/SettingsDatabaseOperate.h"

#include <QDebug>
#include <QLoggingCategory>
#include <QPointer>

// Off unless asked for: the slider reports every step of a drag.
Q_LOGGING_CATEGORY(lcTouchBar, "tidwen.touchbar", QtInfoMsg)

namespace {

const QString kWriteCommentTitle = QStringLiteral("写评论");

// The stored article font size as its text; the store's own default when it cannot be read.
QString storedFontSizeText()
{
    SettingsDatabaseOperate::Lease settings;
    if (!settings) {
        qWarning() << "touch bar: settings store busy on this thread; the label shows the default size";
        return QStringLiteral("18");
    }
    return settings->contentFontSize();
}

}  // namespace

void MainViewController::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    TouchBarService::shared()->providerShown(*this);
}

std::shared_ptr<TouchBar> MainViewController::makeTouchBar()
{
    auto bar = std::make_shared<TouchBar>();
    bar->setDelegate(this);
    bar->customizationIdentifier = QLatin1String(kTouchBarIdentifier);
    bar->defaultItemIdentifiers = {QLatin1String(kGroupItem), TouchBar::kOtherItemsProxy};
    bar->customizationAllowedItemIdentifiers = {QLatin1String(kGroupItem)};
    return bar;
}

std::shared_ptr<CustomTouchBarItem> MainViewController::makeButtonWithIdentifier(const QString& identifier,
                                                                                  const QString& title,
                                                                                  const QString& customizationLabel,
                                                                                  const QString& image)
{
    auto item = std::make_shared<CustomTouchBarItem>(identifier);
    item->customizationLabel = customizationLabel;
    item->button = std::make_shared<TouchBarButton>();
    item->button->title = title;
    item->button->imageName = image;
    QPointer<MainViewController> self(this);
    item->button->action = [self](TouchBarButton& button) {
        if (self)
            self->buttonAction(button);
    };
    return item;
}

std::shared_ptr<CustomTouchBarItem> MainViewController::makeLeftButtonWithIdentifier(const QString& identifier,
                                                                                      const QString& title,
                                                                                      const QString& customizationLabel,
                                                                                      const QString& image)
{
    std::shared_ptr<CustomTouchBarItem> item = makeButtonWithIdentifier(identifier, title, customizationLabel, image);
    item->button->imageLeft = true;
    if (title == kWriteCommentTitle)
        item->button->bezelColor = QStringLiteral("red");
    return item;
}

QList<TouchBarItemPtr> MainViewController::makeFirstGroupButtons()
{
    return {std::make_shared<TouchBarItem>(TouchBar::kFixedSpaceLarge), std::make_shared<TouchBarItem>(TouchBar::kFixedSpaceLarge),
            makeButtonWithIdentifier(QLatin1String(kBackItem), QStringLiteral("返回"), QStringLiteral("返回"),
                                     QStringLiteral("TourchBar_back")),
            makeButtonWithIdentifier(QLatin1String(kRefreshItem), QStringLiteral("刷新"), QStringLiteral("刷新"),
                                     QStringLiteral("TourchBar_refresh"))};
}

QList<TouchBarItemPtr> MainViewController::makeSecondGroupButtons()
{
    m_commentCountItem = makeButtonWithIdentifier(QLatin1String(kOpenCommentItem), QStringLiteral("看评论"),
                                                  QStringLiteral("看评论"), QStringLiteral("TouchBar_commentCount"));
    return {makeLeftButtonWithIdentifier(QLatin1String(kWriteCommentItem), kWriteCommentTitle, kWriteCommentTitle,
                                         QStringLiteral("TourchBar_writeComment")),
            m_commentCountItem};
}

TouchBarItemPtr MainViewController::touchBar(TouchBar& touchBar, const QString& identifier)
{
    Q_UNUSED(touchBar);
    if (identifier == QLatin1String(kGroupItem)) {
        auto group = std::make_shared<GroupTouchBarItem>(identifier);
        group->items.append(makeLeftButtonWithIdentifier(QLatin1String(kRefreshListItem), QStringLiteral("刷新列表"),
                                                         QStringLiteral("刷新列表"), QStringLiteral("TourchBar_refresh")));
        group->items.append(makeFirstGroupButtons());

        auto font = std::make_shared<PopoverTouchBarItem>(QLatin1String(kFontPopoverItem));
        font->collapsedImageName = QStringLiteral("TouchBar_Fontsize");
        font->popoverTouchBar = std::make_shared<TouchBar>();
        font->popoverTouchBar->setDelegate(this);
        font->popoverTouchBar->defaultItemIdentifiers = {QLatin1String(kSliderItem), QLatin1String(kLabelItem)};
        group->items.append(font);

        auto share = std::make_shared<PopoverTouchBarItem>(QLatin1String(kSharePopoverItem));
        share->collapsedImageName = QStringLiteral("TouchBar_share");
        share->popoverTouchBar = std::make_shared<TouchBar>();
        share->popoverTouchBar->setDelegate(this);
        share->popoverTouchBar->defaultItemIdentifiers = {QLatin1String(kSinaItem), QLatin1String(kQQzoneItem),
                                                          QLatin1String(kPasteItem)};
        group->items.append(share);

        group->items.append(makeSecondGroupButtons());
        group->customizationLabel = QStringLiteral("Fancy Group");
        m_touchBarItem = group;
        return group;
    }
    if (identifier == QLatin1String(kSliderItem)) {
        auto slider = std::make_shared<SliderTouchBarItem>(identifier);
        slider->label = QStringLiteral("Slider:");
        slider->customizationLabel = QStringLiteral("Slider");
        slider->minValue = 14;
        slider->maxValue = 30;
        slider->doubleValue = 20;
        QPointer<MainViewController> self(this);
        slider->action = [self](SliderTouchBarItem& moved) {
            if (self)
                self->sliderChanged(moved);
        };
        return slider;
    }
    if (identifier == QLatin1String(kLabelItem)) {
        auto item = std::make_shared<CustomTouchBarItem>(identifier);
        item->label = std::make_shared<TouchBarLabel>();
        item->label->text = storedFontSizeText();
        m_theLabel = item->label;
        return item;
    }
    if (identifier == QLatin1String(kSinaItem))
        return makeButtonWithIdentifier(identifier, QStringLiteral("新浪"), QStringLiteral("新浪"), QString());
    if (identifier == QLatin1String(kQQzoneItem))
        return makeButtonWithIdentifier(identifier, QStringLiteral("QQ空间"), QStringLiteral("QQ空间"), QString());
    if (identifier == QLatin1String(kPasteItem))
        return makeButtonWithIdentifier(identifier, QStringLiteral("剪切板"), QStringLiteral("剪切板"), QString());
    return nullptr;
}

void MainViewController::buttonAction(TouchBarButton& button)
{
    MainTouchBarTargets* targets = m_touchBarTargets.get();
    if (targets == nullptr)
        return;
    const QString& title = button.title;
    if (title == QStringLiteral("返回"))
        targets->back();
    else if (title == QStringLiteral("刷新"))
        targets->refresh();
    else if (title == kWriteCommentTitle)
        targets->writeComment();
    else if (!m_commentCount.isNull() && title == m_commentCount)
        targets->openComment();
    else if (title == QStringLiteral("新浪"))
        targets->touchBarShareToSina();
    else if (title == QStringLiteral("QQ空间"))
        targets->touchBarShareToQQzone();
    else if (title == QStringLiteral("剪切板"))
        targets->touchBarShareToPaste();
    else if (title == QStringLiteral("刷新列表"))
        targets->refreshNews();
}

void MainViewController::sliderChanged(SliderTouchBarItem& slider)
{
    qCDebug(lcTouchBar) << "slider changed";
    const int size = static_cast<int>(slider.doubleValue);
    if (m_touchBarTargets)
        m_touchBarTargets->setFontSizeEndChange(size, true);
    if (m_theLabel)
        m_theLabel->text = QString::number(size);
    SettingsDatabaseOperate::Lease settings;
    if (settings)
        settings->setContentFontSize(QString::number(size));
    else
        qWarning() << "touch bar: settings store busy on this thread; size" << size << "not stored";
}

void MainViewController::changeCount(const QString& count)
{
    if (m_commentCountItem && m_commentCountItem->button)
        m_commentCountItem->button->title = count;
    m_commentCount = count;
}
