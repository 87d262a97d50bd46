#include "app/views/MainViewController.h"

#include "app/views/LeftViewController.h"
#include "app/views/MainSplitViewController.h"
#include "platform/NotificationCenter.h"

#include <QHBoxLayout>
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
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_left);
    layout->addWidget(m_split, 1);
    // Past the widest detail pane the window's white shows on the right; the bar stays left.
    layout->addStretch(0);
}

MainViewController::~MainViewController()
{
    NotificationCenter::defaultCenter().removeObserver(this);
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

void MainViewController::changeCount(const QString& count)
{
    m_commentCount = count;
}
