#include "article/views/ToolBarView.h"

#include "platform/NotificationCenter.h"
#include "ui/controls/CustomButton.h"
#include "ui/layout/MASAdditions.h"

#include <QEvent>

using namespace MASAdditions;

namespace {
constexpr int kInstantGOTag = 2000;
}  // namespace

ToolBarView::ToolBarView(QWidget* parent) : QWidget(parent)
{
    setControls();
    setLayout();
}

void ToolBarView::send(void (ToolBarDelegate::*operation)())
{
    if (m_delegate)
        (m_delegate->*operation)();
}

void ToolBarView::setControls()
{
    const auto make = [this](const QString& title, void (ToolBarDelegate::*operation)(), int width, int height) {
        CustomButton* button = CustomButton::initWithTitle(title, this);
        button->resize(width, height);
        button->addTarget(this, std::function<void()>([this, operation] { send(operation); }));
        return button;
    };
    commentBtn = make(QStringLiteral("评论"), &ToolBarDelegate::openComment, 50, 50);
    commentCountBtn = make(QStringLiteral("   0"), &ToolBarDelegate::openComment, 32, 15);
    commentCountBtn->setStyleSheet(QStringLiteral("background: rgb(210,34,34); color: white; border-radius: 7px;"));
    shareBtn = make(QStringLiteral("分享"), &ToolBarDelegate::share, HW, 50);
    shareLPBtn = make(QStringLiteral("分享"), &ToolBarDelegate::share, HW, 50);
    refreshBtn = make(QStringLiteral("刷新"), &ToolBarDelegate::refresh, HW, 50);
    fontBtn = make(QStringLiteral("字体"), &ToolBarDelegate::adjustFont, HW, 50);
    writeCommentBtn = make(QStringLiteral("写评论"), &ToolBarDelegate::writeComment, 70, 50);
    backBtn = make(QStringLiteral("返回"), &ToolBarDelegate::back, 50, 50);
    instantGOBtn = make(QStringLiteral("      立即前往"), &ToolBarDelegate::instantGO, 118, 40);
    m_lineView = new QWidget(this);
    m_lineView->setAutoFillBackground(true);
    QPalette line = m_lineView->palette();
    line.setColor(QPalette::Window, QColor(230, 230, 230));
    m_lineView->setPalette(line);
    m_lineView->stackUnder(instantGOBtn);
    shareLPBtn->hide();
    instantGOBtn->hide();
    backBtn->hide();
    instantGOBtn->setProperty("tag", kInstantGOTag);
    m_hoverArray = {backBtn, refreshBtn, fontBtn, shareBtn, shareLPBtn, writeCommentBtn, commentBtn, instantGOBtn};
    for (CustomButton* button : m_hoverArray) {
        button->setAttribute(Qt::WA_Hover);
        button->installEventFilter(this);
        colour(button, false);
    }
}

void ToolBarView::colour(CustomButton* button, bool entered)
{
    const bool goNow = button->property("tag").toInt() == kInstantGOTag;
    QString style;
    if (goNow)
        style = entered ? QStringLiteral("background: rgb(210,65,57); color: white; border: none;")
                        : QStringLiteral("background: rgb(210,34,34); color: white; border: none;");
    else
        style = entered ? QStringLiteral("background: rgb(244,244,244); border: none;")
                        : QStringLiteral("background: transparent; border: none;");
    button->setStyleSheet(style);
}

bool ToolBarView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Enter || event->type() == QEvent::Leave) {
        if (auto* button = qobject_cast<CustomButton*>(watched); button && m_hoverArray.contains(button))
            colour(button, event->type() == QEvent::Enter);
    }
    return QWidget::eventFilter(watched, event);
}

void ToolBarView::setLayout()
{
    mas_makeConstraints(backBtn, [this](MASConstraintMaker& make) {
        make.left().equalTo(mas_left(this));
        make.top().equalTo(mas_top(this));
        make.width().equalTo(50);
        make.height().equalTo(50);
    });
    mas_makeConstraints(commentBtn, [this](MASConstraintMaker& make) {
        make.top().equalTo(mas_top(this));
        make.right().equalTo(mas_right(this)).offset(-10);
        make.width().equalTo(50);
        make.height().equalTo(50);
    });
    mas_makeConstraints(commentCountBtn, [this](MASConstraintMaker& make) {
        make.left().equalTo(mas_centerX(commentBtn));
        make.top().equalTo(mas_top(commentBtn)).offset(5);
        make.width().equalTo(32);
        make.height().equalTo(15);
    });
    mas_makeConstraints(writeCommentBtn, [this](MASConstraintMaker& make) {
        make.top().equalTo(mas_top(this));
        make.right().equalTo(mas_left(commentBtn)).offset(-5);
        make.height().equalTo(50);
        make.width().equalTo(70);
    });
    const auto iconOverText = [this](CustomButton* button, CustomButton* rightOf) {
        mas_makeConstraints(button, [this, rightOf](MASConstraintMaker& make) {
            make.top().equalTo(mas_top(this));
            make.right().equalTo(mas_left(rightOf)).offset(-20);
            make.width().equalTo(HW);
            make.height().equalTo(50);
        });
    };
    iconOverText(shareBtn, writeCommentBtn);
    iconOverText(fontBtn, shareBtn);
    iconOverText(refreshBtn, fontBtn);
    mas_makeConstraints(instantGOBtn, [this](MASConstraintMaker& make) {
        make.top().equalTo(mas_top(this));
        make.right().equalTo(mas_right(this));
        make.height().equalTo(mas_height(this));
        make.width().equalTo(118);
    });
    iconOverText(shareLPBtn, instantGOBtn);
    mas_makeConstraints(m_lineView, [this](MASConstraintMaker& make) {
        make.left().equalTo(mas_left(this));
        make.right().equalTo(mas_right(this));
        make.top().equalTo(mas_top(this));
        make.height().equalTo(1);
    });
}

void ToolBarView::changeForNews()
{
    for (QWidget* news : {static_cast<QWidget*>(refreshBtn), static_cast<QWidget*>(fontBtn), static_cast<QWidget*>(writeCommentBtn),
                          static_cast<QWidget*>(commentBtn), static_cast<QWidget*>(shareBtn), static_cast<QWidget*>(commentCountBtn)})
        news->show();
    shareLPBtn->hide();
    instantGOBtn->hide();
}

void ToolBarView::changForHotProduct()
{
    for (QWidget* news : {static_cast<QWidget*>(refreshBtn), static_cast<QWidget*>(fontBtn), static_cast<QWidget*>(writeCommentBtn),
                          static_cast<QWidget*>(commentBtn), static_cast<QWidget*>(shareBtn), static_cast<QWidget*>(commentCountBtn)})
        news->hide();
    shareLPBtn->show();
    instantGOBtn->show();
}

void ToolBarView::setCommentCount(const QString& count)
{
    if (count.isEmpty())
        return;
    const qsizetype pad = std::max<qsizetype>(0, 4 - count.size());
    commentCountBtn->setText(QString(pad, QLatin1Char(' ')) + count);
    NotificationCenter::defaultCenter().post(QStringLiteral("touchBarCommentCount"), NotificationObject::from(std::make_shared<QString>(count)));
}

QString ToolBarView::commentCountText() const
{
    return commentCountBtn->text();
}
