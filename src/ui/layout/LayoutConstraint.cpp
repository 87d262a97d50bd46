#include "ui/layout/LayoutConstraint.h"

#include "platform/AssociatedObjects.h"
#include "ui/layout/LayoutEngine.h"
#include "ui/layout/LayoutViewState.h"
#include "ui/layout/MASAdditions.h"

#include <QMap>

#include <algorithm>

namespace {
const char kLayoutStateKey = 0;

void scheduleFor(QWidget* widget)
{
    LayoutEngine::bumpGeneration();
    if (widget)
        LayoutEngine::forWindow(widget->window())->setNeedsLayout();
}

QString attributeName(NSLayoutAttribute attribute)
{
    static const char* const names[] = {"", "left", "right", "top", "bottom", "leading", "trailing",
                                        "width", "height", "centerX", "centerY", "baseline"};
    return attribute >= 1 && attribute <= 11 ? QString::fromLatin1(names[attribute]) : QString();
}

QString relationName(NSLayoutRelation relation)
{
    switch (relation) {
    case NSLayoutRelationLessThanOrEqual: return QStringLiteral("<=");
    case NSLayoutRelationGreaterThanOrEqual: return QStringLiteral(">=");
    default: return QStringLiteral("==");
    }
}

QString priorityName(NSLayoutPriority priority)
{
    static const QMap<float, QString> names = {
        {1000, QStringLiteral("required")}, {750, QStringLiteral("high")},
        {510, QStringLiteral("drag can resize window")}, {501, QStringLiteral("medium")},
        {500, QStringLiteral("window size stay put")}, {490, QStringLiteral("drag cannot resize window")},
        {250, QStringLiteral("low")}, {50, QStringLiteral("fitting size")}};
    auto it = names.find(priority);
    return it != names.end() ? *it : QString::asprintf("%g", double(priority));
}

QString describeObject(const QString& className, const QString& key, const void* address)
{
    if (!key.isEmpty())
        return className + u':' + key;
    return className + QString::asprintf(":%p", address);
}

QString describeView(const QWidget* view)
{
    if (!view)
        return QStringLiteral("(null)");
    const QVariant key = MASAdditions::mas_key(view);
    return describeObject(QString::fromLatin1(view->metaObject()->className()), key.isValid() ? key.toString() : QString(),
                          view);
}

}  // namespace

LayoutViewState::~LayoutViewState()
{
    for (const auto& c : held)
        c->m_holder = nullptr;  // gone with its holder
    LayoutEngine::bumpGeneration();
}

namespace LayoutViewStates {

LayoutViewState& of(QWidget* widget)
{
    return *AssociatedObjects::getOrCreate<LayoutViewState>(widget, &kLayoutStateKey);
}

LayoutViewState* find(const QWidget* widget)
{
    return AssociatedObjects::value<LayoutViewState>(widget, &kLayoutStateKey).get();
}

}  // namespace LayoutViewStates

LayoutConstraint::LayoutConstraint(QWidget* firstItem, NSLayoutAttribute firstAttribute, NSLayoutRelation relation,
                                   QWidget* secondItem, NSLayoutAttribute secondAttribute, double multiplier,
                                   double constant)
    : m_firstItem(firstItem),
      m_secondItem(secondItem),
      m_firstAttribute(firstAttribute),
      m_secondAttribute(secondAttribute),
      m_relation(relation),
      m_multiplier(multiplier),
      m_constant(constant)
{
}

LayoutConstraint::~LayoutConstraint() = default;

void LayoutConstraint::setConstant(double constant)
{
    if (constant == m_constant)
        return;
    m_constant = constant;
    if (m_holder)
        scheduleFor(m_holder);
}

void LayoutConstraint::setPriority(NSLayoutPriority priority)
{
    if (priority == m_priority)
        return;
    m_priority = priority;
    if (m_holder)
        scheduleFor(m_holder);
}

void LayoutConstraint::setActive(bool active)
{
    if (active == isActive())
        return;
    if (active) {
        QWidget* holder = m_secondItem ? Layout::closestCommonAncestor(m_firstItem, m_secondItem) : m_firstItem.data();
        if (!m_secondItem && m_firstItem && m_firstAttribute != NSLayoutAttributeWidth
            && m_firstAttribute != NSLayoutAttributeHeight)
            holder = m_firstItem->parentWidget();
        if (holder)
            Layout::addConstraint(holder, shared_from_this());
    } else {
        Layout::removeConstraint(m_holder, shared_from_this());
    }
}

QString LayoutConstraint::description() const
{
    QString text = QStringLiteral("<") + describeObject(className(), debugKey(), this);
    text += u' ' + describeView(m_firstItem);
    if (m_firstAttribute != NSLayoutAttributeNotAnAttribute)
        text += u'.' + attributeName(m_firstAttribute);
    text += u' ' + relationName(m_relation);
    if (m_secondItem)
        text += u' ' + describeView(m_secondItem);
    if (m_secondAttribute != NSLayoutAttributeNotAnAttribute)
        text += u'.' + attributeName(m_secondAttribute);
    if (m_multiplier != 1)
        text += QString::asprintf(" * %g", m_multiplier);
    if (m_secondAttribute == NSLayoutAttributeNotAnAttribute)
        text += QString::asprintf(" %g", m_constant);
    else if (m_constant != 0)
        text += QString::asprintf(" %s %g", m_constant < 0 ? "-" : "+", m_constant < 0 ? -m_constant : m_constant);
    if (m_priority != NSLayoutPriorityRequired)
        text += QStringLiteral(" ^") + priorityName(m_priority);
    text += u'>';
    return text;
}

namespace Layout {

void addConstraint(QWidget* view, const LayoutConstraintPtr& constraint)
{
    if (!view || !constraint || constraint->m_holder)
        return;
    static uint64_t nextSequence = 1;
    LayoutViewStates::of(view).held.push_back(constraint);
    constraint->m_holder = view;
    constraint->m_sequence = nextSequence++;
    scheduleFor(view);
}

void removeConstraint(QWidget* view, const LayoutConstraintPtr& constraint)
{
    if (!view || !constraint || constraint->m_holder != view)
        return;
    LayoutViewState* state = LayoutViewStates::find(view);
    constraint->m_holder = nullptr;
    if (state) {
        auto& held = state->held;
        held.erase(std::remove(held.begin(), held.end(), constraint), held.end());
    }
    scheduleFor(view);
}

QList<LayoutConstraintPtr> constraints(const QWidget* view)
{
    QList<LayoutConstraintPtr> list;
    if (const LayoutViewState* state = LayoutViewStates::find(view))
        list = QList<LayoutConstraintPtr>(state->held.begin(), state->held.end());
    return list;
}

bool translatesAutoresizingMaskIntoConstraints(const QWidget* view)
{
    const LayoutViewState* state = LayoutViewStates::find(view);
    return !state || state->translatesAutoresizingMaskIntoConstraints;
}

void setTranslatesAutoresizingMaskIntoConstraints(QWidget* view, bool translates)
{
    if (!view || translatesAutoresizingMaskIntoConstraints(view) == translates)
        return;
    LayoutViewStates::of(view).translatesAutoresizingMaskIntoConstraints = translates;
    scheduleFor(view);
}

void layoutSubtreeIfNeeded(QWidget* view)
{
    if (view)
        LayoutEngine::forWindow(view->window())->layout();
}

QRectF frameOf(QWidget* view)
{
    if (!view)
        return {};
    QRectF frame;
    if (LayoutEngine* engine = LayoutEngine::existingForWindow(view->window()))
        if (engine->solvedFrame(view, &frame))
            return frame;
    return QRectF(view->geometry());
}

QWidget* closestCommonAncestor(QWidget* a, QWidget* b)
{
    if (!a || !b)
        return nullptr;
    for (QWidget* second = b; second; second = second->parentWidget())
        for (QWidget* first = a; first; first = first->parentWidget())
            if (first == second)
                return first;
    return nullptr;
}

}  // namespace Layout
