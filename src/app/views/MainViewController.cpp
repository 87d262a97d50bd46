#include "app/views/MainViewController.h"

#include "app/views/LeftViewController.h"
#include "app/views/MainSplitViewController.h"
#include "platform/NotificationCenter.h"
#include "ui/layout/MASAdditions.h"

#include <QKeyEvent>

MainViewController::MainViewController(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("MainViewController"));
    NotificationCenter::defaultCenter().addObserver(this, QStringLiteral("touchBarCommentCount"), nullptr,
                                                    [this](const Notification& note) {
                                                        if (auto text = note.object.sharedPtr<QString>())
                                                            changeCount(*text);
                                                    });
    m_left = new LeftViewController(this);
    m_split = new MainSplitViewController(this);
    m_touchBarTargets = std::make_unique<SplitViewTouchBarTargets>(m_split);
    // The bar down the left edge; the split view from the bar to the right edge, however wide
    // the window grows (past the widest detail pane the split view's own white shows).
    MASAdditions::mas_makeConstraints(m_left, [this](MASConstraintMaker& make) {
        make.left().equalTo(MASAdditions::mas_left(this));
        make.top().equalTo(MASAdditions::mas_top(this));
        make.bottom().equalTo(MASAdditions::mas_bottom(this));
        make.width().equalTo(LeftViewController::kWidth);
    });
    MASAdditions::mas_makeConstraints(m_split, [this](MASConstraintMaker& make) {
        make.left().equalTo(MASAdditions::mas_right(m_left));
        make.top().equalTo(MASAdditions::mas_top(this));
        make.right().equalTo(MASAdditions::mas_right(this));
        make.bottom().equalTo(MASAdditions::mas_bottom(this));
    });
}

MainViewController::~MainViewController()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    TouchBarService::shared()->providerGone(*this);
}

QString MainViewController::keyEquivalentCharacters(const QKeyEvent& event)
{
    const QString text = event.text();
    // With Ctrl held the platform reports a control character; take the key itself then.
    if (text.size() == 1 && text.at(0).isPrint())
        return text;
    const int key = event.key();
    if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        const QChar letter(u'a' + (key - Qt::Key_A));
        return (event.modifiers() & Qt::ShiftModifier) ? QString(letter.toUpper()) : QString(letter);
    }
    if (key >= Qt::Key_Space && key <= Qt::Key_AsciiTilde)
        return QString(QChar(key));
    return text;
}

bool MainViewController::performKeyEquivalent(const QKeyEvent& event) const
{
    if (!(event.modifiers() & Qt::ControlModifier))
        return false;
    return keyEquivalentCharacters(event) == QLatin1String("I");
}
