#include "ui/layout/LayoutEngine.h"

#include "platform/AssociatedObjects.h"
#include "ui/layout/LayoutViewState.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QLabel>
#include <QLoggingCategory>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <vector>

Q_LOGGING_CATEGORY(lcLayout, "tidwen.layout")

namespace {

const char kEngineKey = 0;
std::atomic<uint64_t> g_generation{1};
const QEvent::Type kLayoutPassEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
// Widgets that keep their geometry outweigh every priority below required.
constexpr double kEditWeight = 1.0e9;
constexpr int kMaxIterations = 4;

bool isSize(NSLayoutAttribute a)
{
    return a == NSLayoutAttributeWidth || a == NSLayoutAttributeHeight;
}

bool isVertical(NSLayoutAttribute a)
{
    return a == NSLayoutAttributeTop || a == NSLayoutAttributeBottom || a == NSLayoutAttributeCenterY
           || a == NSLayoutAttributeBaseline || a == NSLayoutAttributeHeight;
}

// A label's text baseline as (fraction of the height from the top, offset): baseline =
// top + fraction x height + offset. Other widgets: their bottom.
std::pair<double, double> baselineOf(const QWidget* widget)
{
    const auto* label = qobject_cast<const QLabel*>(widget);
    if (!label)
        return {1.0, 0.0};
    const QFontMetricsF fm(label->font());
    const QMargins m = label->contentsMargins();
    const double margin = label->margin();
    const Qt::Alignment v = label->alignment() & Qt::AlignVertical_Mask;
    if (v & Qt::AlignTop)
        return {0.0, m.top() + margin + fm.ascent()};
    if (v & Qt::AlignBottom)
        return {1.0, -(m.bottom() + margin + fm.descent())};
    return {0.5, (m.top() - m.bottom()) / 2.0 + (fm.ascent() - fm.descent()) / 2.0};
}

}  // namespace

void LayoutEngine::bumpGeneration()
{
    g_generation.fetch_add(1, std::memory_order_relaxed);
}

LayoutEngine* LayoutEngine::forWindow(QWidget* window)
{
    if (!window)
        return nullptr;
    if (auto existing = AssociatedObjects::value<LayoutEngine>(window, &kEngineKey))
        return existing.get();
    auto engine = std::shared_ptr<LayoutEngine>(new LayoutEngine(window), [](LayoutEngine* e) { delete e; });
    AssociatedObjects::set(window, &kEngineKey, engine);
    return engine.get();
}

LayoutEngine* LayoutEngine::existingForWindow(const QWidget* window)
{
    return AssociatedObjects::value<LayoutEngine>(window, &kEngineKey).get();
}

LayoutEngine::LayoutEngine(QWidget* window) : m_window(window)
{
    watch(window);
}

LayoutEngine::~LayoutEngine() = default;

void LayoutEngine::setNeedsLayout()
{
    if (m_pending)
        return;
    m_pending = true;
    QCoreApplication::postEvent(this, new QEvent(kLayoutPassEvent));
}

bool LayoutEngine::event(QEvent* event)
{
    if (event->type() == kLayoutPassEvent) {
        if (m_pending)
            layout();
        return true;
    }
    return QObject::event(event);
}

void LayoutEngine::watch(QWidget* widget)
{
    LayoutViewState& state = LayoutViewStates::of(widget);
    if (state.watched)
        return;
    state.watched = true;
    widget->installEventFilter(this);
}

bool LayoutEngine::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
        if (!m_inPass) {
            auto* widget = static_cast<QWidget*>(watched);
            if (Layout::translatesAutoresizingMaskIntoConstraints(widget) && inWindow(widget))
                setNeedsLayout();
        }
        break;
    case QEvent::ParentChange: {
        bumpGeneration();
        setNeedsLayout();
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->window() != m_window)
            LayoutEngine::forWindow(widget->window())->setNeedsLayout();
        break;
    }
    case QEvent::Show:
        // The window itself is about to appear: a pass left for later would run after its first
        // frame, which then shows the old geometry and is painted a second time.
        if (watched == m_window && !m_inPass) {
            layout();
            break;
        }
        [[fallthrough]];
    case QEvent::LayoutRequest:
        if (!m_inPass)
            setNeedsLayout();
        break;
    default:
        break;
    }
    return false;
}

bool LayoutEngine::inWindow(const QWidget* widget) const
{
    return widget && widget->window() == m_window;
}

LayoutEngine::ItemVars& LayoutEngine::varsFor(QWidget* widget)
{
    auto it = m_vars.find(widget);
    if (it != m_vars.end() && it->second.widget == widget) {
        it->second.seen = true;
        return it->second;
    }
    ItemVars vars;
    vars.widget = widget;
    vars.left = m_solver.newVariable();
    vars.top = m_solver.newVariable();
    vars.width = m_solver.newVariable();
    vars.height = m_solver.newVariable();
    vars.seen = true;
    watch(widget);
    auto& stored = m_vars[widget];
    stored = vars;
    // Widgets that keep their geometry get their edit variables before any statement uses
    // them: the statements then read them as known values.
    updateEditing(stored, widget == m_window);
    return stored;
}

void LayoutEngine::addTerms(LayoutSolver::Expression& e, QWidget* item, NSLayoutAttribute attribute,
                            double coefficient, QWidget* holder, double* baselineOffset)
{
    ItemVars& v = varsFor(item);
    const LayoutSolver::Variable l = v.left, t = v.top, w = v.width, h = v.height;
    if (!isSize(attribute)) {
        // Positions count from the holder's origin, so that multipliers scale from it.
        ItemVars& hv = varsFor(holder);
        e.add(isVertical(attribute) ? hv.top : hv.left, -coefficient);
    }
    switch (attribute) {
    case NSLayoutAttributeLeft:
    case NSLayoutAttributeLeading:
        e.add(l, coefficient);
        break;
    case NSLayoutAttributeRight:
    case NSLayoutAttributeTrailing:
        e.add(l, coefficient).add(w, coefficient);
        break;
    case NSLayoutAttributeCenterX:
        e.add(l, coefficient).add(w, coefficient * 0.5);
        break;
    case NSLayoutAttributeWidth:
        e.add(w, coefficient);
        break;
    case NSLayoutAttributeTop:
        e.add(t, coefficient);
        break;
    case NSLayoutAttributeBottom:
        e.add(t, coefficient).add(h, coefficient);
        break;
    case NSLayoutAttributeCenterY:
        e.add(t, coefficient).add(h, coefficient * 0.5);
        break;
    case NSLayoutAttributeHeight:
        e.add(h, coefficient);
        break;
    case NSLayoutAttributeBaseline: {
        const auto [fraction, offset] = baselineOf(item);
        e.add(t, coefficient).add(h, coefficient * fraction);
        e.constant += coefficient * offset;
        if (baselineOffset)
            *baselineOffset = fraction * 1e6 + offset;
        break;
    }
    default:
        break;
    }
}

bool LayoutEngine::addToSolver(const LayoutConstraintPtr& c, Entry& entry)
{
    QWidget* first = c->firstItem();
    QWidget* second = c->secondItem();
    QWidget* holder = c->holder();
    if (!first || !holder || c->firstAttribute() == NSLayoutAttributeNotAnAttribute || !inWindow(first)
        || !inWindow(holder) || (second && !inWindow(second)))
        return false;
    LayoutSolver::Expression e;
    e.terms.reserve(6);  // two attributes of at most three terms each: one allocation
    addTerms(e, first, c->firstAttribute(), 1.0, holder, &entry.baselineOffsets[0]);
    if (second && c->secondAttribute() != NSLayoutAttributeNotAnAttribute)
        addTerms(e, second, c->secondAttribute(), -c->multiplier(), holder, &entry.baselineOffsets[1]);
    e.constant -= c->constant();
    const auto relation = static_cast<LayoutSolver::Relation>(c->relation());
    auto [status, id] = m_solver.addConstraint(e, relation, LayoutSolver::weightForPriority(c->priority()));
    if (status != LayoutSolver::Status::Ok) {
        qCWarning(lcLayout).noquote() << "Unable to satisfy" << c->description() << "- left out";
        return false;
    }
    entry.id = id;
    return true;
}

void LayoutEngine::updateHints(ItemVars& vars)
{
    // A fixed dimension takes no hint: its weaker pulls could not move it, and asking a button
    // or label for its size hint measures its text.
    QSize hint(-1, -1);
    if (vars.placed && !(vars.fixedWidth && vars.fixedHeight)) {
        hint = vars.widget->sizeHint();
        if (vars.fixedWidth)
            hint.setWidth(-1);
        if (vars.fixedHeight)
            hint.setHeight(-1);
    }
    if (hint == vars.hint)
        return;
    for (auto& id : vars.hintIds) {
        if (id)
            m_solver.removeConstraint(id);
        id = 0;
    }
    vars.hint = hint;
    auto addHint = [&](LayoutSolver::Variable v, int value, int slot) {
        LayoutSolver::Expression e;
        e.add(v, 1.0);
        e.constant = -value;
        vars.hintIds[slot] = m_solver.addConstraint(e, LayoutSolver::Relation::Equal,
                                                    LayoutSolver::weightForPriority(250)).second;
        vars.hintIds[slot + 1] = m_solver.addConstraint(e, LayoutSolver::Relation::GreaterOrEqual,
                                                        LayoutSolver::weightForPriority(750)).second;
    };
    if (hint.width() >= 0)
        addHint(vars.width, hint.width(), 0);
    if (hint.height() >= 0)
        addHint(vars.height, hint.height(), 2);
}

void LayoutEngine::updateEditing(ItemVars& vars, bool isRoot)
{
    const bool translates = Layout::translatesAutoresizingMaskIntoConstraints(vars.widget);
    // The window's origin is the origin of the coordinates; its size is solved only when its
    // flag is off.
    const bool editing = translates || isRoot;
    const bool editingSize = translates;
    if (editing != vars.editing) {
        for (auto v : {vars.left, vars.top}) {
            if (editing)
                m_solver.addEditVariable(v, kEditWeight);
            else
                m_solver.removeEditVariable(v);
        }
        vars.editing = editing;
        vars.suggested = QRectF(0, 0, -1, -1);
    }
    if (editingSize != vars.editingSize) {
        for (auto v : {vars.width, vars.height}) {
            if (editingSize)
                m_solver.addEditVariable(v, kEditWeight);
            else
                m_solver.removeEditVariable(v);
        }
        vars.editingSize = editingSize;
        vars.suggested = QRectF(0, 0, -1, -1);
    }
    vars.placed = !translates;
}

void LayoutEngine::collect()
{
    m_seenGeneration = g_generation.load(std::memory_order_relaxed);
    for (auto& [w, vars] : m_vars)
        vars.seen = false;
    for (auto& [c, entry] : m_entries)
        entry.seen = false;

    QList<QWidget*> widgets = m_window->findChildren<QWidget*>();
    widgets.prepend(m_window);
    std::vector<LayoutConstraintPtr> current;
    for (QWidget* w : widgets) {
        const LayoutViewState* state = LayoutViewStates::find(w);
        if (!state)
            continue;
        if (!state->translatesAutoresizingMaskIntoConstraints && inWindow(w))
            varsFor(w);
        for (const auto& c : state->held) {
            // Statements about widgets that are gone or elsewhere take no part.
            QWidget* first = c->firstItem();
            QWidget* second = c->secondItem();
            const bool secondGone = !second && c->secondAttribute() != NSLayoutAttributeNotAnAttribute;
            if (first && inWindow(first) && inWindow(w) && !secondGone && (!second || inWindow(second)))
                current.push_back(c);
        }
    }

    // Take out what went away or changed first, then add: the solver never holds both.
    std::vector<LayoutConstraintPtr> toAdd;
    for (const auto& c : current) {
        auto it = m_entries.find(c.get());
        if (it != m_entries.end()) {
            Entry& entry = it->second;
            const bool same = entry.constraint.lock() == c && entry.constant == c->constant()
                              && entry.priority == c->priority() && entry.holder == c->holder();
            if (same) {
                entry.seen = true;
                continue;
            }
            if (entry.id)
                m_solver.removeConstraint(entry.id);
            m_entries.erase(it);
        }
        toAdd.push_back(c);
    }
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (!it->second.seen) {
            if (it->second.id)
                m_solver.removeConstraint(it->second.id);
            it = m_entries.erase(it);
        } else {
            // Items referenced must still count as seen.
            if (auto c = it->second.constraint.lock()) {
                if (c->firstItem())
                    varsFor(c->firstItem());
                if (c->secondItem())
                    varsFor(c->secondItem());
                if (c->holder())
                    varsFor(c->holder());
            }
            ++it;
        }
    }
    m_solver.reserve(toAdd.size());
    m_entries.reserve(m_entries.size() + toAdd.size());
    std::sort(toAdd.begin(), toAdd.end(),
              [](const LayoutConstraintPtr& a, const LayoutConstraintPtr& b) { return a->sequence() < b->sequence(); });
    for (const auto& c : toAdd) {
        Entry entry;
        entry.constraint = c;
        entry.constant = c->constant();
        entry.priority = c->priority();
        entry.holder = c->holder();
        entry.seen = true;
        addToSolver(c, entry);
        m_entries[c.get()] = entry;
    }

    markFixedSizes();

    // Widgets that left the window (or were destroyed) drop their edit variables and hints.
    for (auto it = m_vars.begin(); it != m_vars.end();) {
        ItemVars& vars = it->second;
        if (!vars.seen || !vars.widget || !inWindow(vars.widget)) {
            for (auto id : vars.hintIds)
                if (id)
                    m_solver.removeConstraint(id);
            for (auto v : {vars.left, vars.top, vars.width, vars.height})
                if (m_solver.hasEditVariable(v))
                    m_solver.removeEditVariable(v);
            it = m_vars.erase(it);
        } else {
            updateEditing(vars, vars.widget == m_window);
            ++it;
        }
    }
}

void LayoutEngine::markFixedSizes()
{
    for (auto& [w, vars] : m_vars)
        vars.fixedWidth = vars.fixedHeight = false;
    for (const auto& [key, entry] : m_entries) {
        // Only statements the solver holds count: one left out for a conflict fixes nothing.
        if (!entry.id)
            continue;
        const LayoutConstraintPtr c = entry.constraint.lock();
        if (!c || c->relation() != NSLayoutRelationEqual || c->priority() < NSLayoutPriorityRequired
            || (c->secondItem() && c->secondAttribute() != NSLayoutAttributeNotAnAttribute) || !isSize(c->firstAttribute()))
            continue;
        auto it = m_vars.find(c->firstItem());
        if (it == m_vars.end())
            continue;
        (c->firstAttribute() == NSLayoutAttributeWidth ? it->second.fixedWidth : it->second.fixedHeight) = true;
    }
}

QPointF LayoutEngine::windowOriginOfParent(QWidget* widget) const
{
    QPointF origin;
    for (QWidget* p = widget->parentWidget(); p && p != m_window; p = p->parentWidget()) {
        auto it = m_vars.find(p);
        if (it != m_vars.end() && it->second.placed) {
            return origin + QPointF(m_solver.value(it->second.left), m_solver.value(it->second.top));
        }
        origin += QPointF(p->pos());
    }
    return origin;
}

QRectF LayoutEngine::windowRectOf(QWidget* widget) const
{
    if (widget == m_window)
        return QRectF(QPointF(0, 0), QSizeF(widget->size()));
    return QRectF(windowOriginOfParent(widget) + QPointF(widget->pos()), QSizeF(widget->size()));
}

bool LayoutEngine::suggestEdits()
{
    bool changed = false;
    for (auto& [w, vars] : m_vars) {
        if (!vars.editing || !vars.widget)
            continue;
        QRectF r = windowRectOf(vars.widget);
        if (!vars.editingSize)
            r.setSize(vars.suggested.size());
        if (r == vars.suggested)
            continue;
        changed = true;
        vars.suggested = r;
        m_solver.suggestValue(vars.left, r.x());
        m_solver.suggestValue(vars.top, r.y());
        if (vars.editingSize) {
            m_solver.suggestValue(vars.width, r.width());
            m_solver.suggestValue(vars.height, r.height());
        }
    }
    return changed;
}

void LayoutEngine::place()
{
    for (auto& [w, vars] : m_vars) {
        if (!vars.placed || !vars.widget)
            continue;
        QWidget* widget = vars.widget;
        const double l = m_solver.value(vars.left), t = m_solver.value(vars.top);
        const double wd = std::max(0.0, m_solver.value(vars.width));
        const double ht = std::max(0.0, m_solver.value(vars.height));
        if (widget == m_window) {
            vars.solvedRelative = QRectF(QPointF(widget->pos()), QSizeF(wd, ht));
            const QSize size(int(std::lround(wd)), int(std::lround(ht)));
            if (widget->size() != size)
                widget->resize(size);
            continue;
        }
        const QPointF origin = windowOriginOfParent(widget);
        vars.solvedRelative = QRectF(l - origin.x(), t - origin.y(), wd, ht);
        const long x1 = std::lround(l - origin.x()), y1 = std::lround(t - origin.y());
        const long x2 = std::lround(l + wd - origin.x()), y2 = std::lround(t + ht - origin.y());
        const QRect rect(int(x1), int(y1), int(x2 - x1), int(y2 - y1));
        if (widget->geometry() != rect)
            widget->setGeometry(rect);
    }
}

void LayoutEngine::layout()
{
    if (m_pending) {
        // Run now: the request posted for later has nothing left to do.
        QCoreApplication::removePostedEvents(this, kLayoutPassEvent);
        m_pending = false;
    }
    if (!m_window || m_inPass)
        return;
    if (m_window->window() != m_window) {
        // Our window was put into another one before its pass ran: that window lays it out.
        bumpGeneration();
        LayoutEngine::forWindow(m_window->window())->layout();
        return;
    }
    m_inPass = true;
    ++m_passCount;
    if (m_seenGeneration != g_generation.load(std::memory_order_relaxed))
        collect();
    for (auto& [w, vars] : m_vars)
        if (vars.widget)
            updateHints(vars);
    // Widgets that keep their geometry inside placed ones move with them: go round until their
    // window positions settle.
    for (int i = 0; i < kMaxIterations; ++i) {
        const bool changed = suggestEdits();
        if (!changed && i > 0)
            break;
        m_solver.updateVariables();
        place();
    }
    m_inPass = false;
}

bool LayoutEngine::solvedFrame(const QWidget* view, QRectF* frame) const
{
    auto it = m_vars.find(view);
    if (it == m_vars.end() || !it->second.placed || it->second.widget != view)
        return false;
    *frame = it->second.solvedRelative;
    return true;
}
