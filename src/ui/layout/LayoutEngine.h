#pragma once

#include "ui/layout/LayoutConstraint.h"
#include "ui/layout/LayoutSolver.h"

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QRectF>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <unordered_map>

// Solves the constraints held by the widgets of one window and places the widgets whose flag
// translatesAutoresizingMaskIntoConstraints is off. Positions are window coordinates, y down;
// every widget has left, top, width and height variables, the other attributes derive from them.
// Widgets with the flag on enter with their geometry (refreshed when they move or resize); placed
// widgets with a size hint hug it (== at 250) and resist compression (>= at 750). Changes post one
// coalesced layout request; the pass solves and sets geometry relative to the parent with the
// edges rounded.
class LayoutEngine : public QObject
{
    Q_OBJECT
public:
    // The engine of the window (top-level widget), made on first use and freed with it.
    static LayoutEngine* forWindow(QWidget* window);
    // The engine of the window if it has one.
    static LayoutEngine* existingForWindow(const QWidget* window);

    explicit LayoutEngine(QWidget* window);
    ~LayoutEngine() override;

    // Posts one layout request (coalesced).
    void setNeedsLayout();
    bool needsLayout() const { return m_pending; }
    // Runs the pass now.
    void layout();

    // The solved frame of a placed widget in its parent's coordinates; nothing otherwise.
    bool solvedFrame(const QWidget* view, QRectF* frame) const;

    int solverConstraintCount() const { return m_solver.constraintCount(); }
    int passCount() const { return m_passCount; }

    // Every change of constraints, flags or the widget tree bumps this; a pass re-reads the
    // window's constraints only when it moved.
    static void bumpGeneration();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct ItemVars
    {
        QPointer<QWidget> widget;
        LayoutSolver::Variable left = 0, top = 0, width = 0, height = 0;
        bool editing = false;       // enters with its geometry (edit variables)
        bool editingSize = false;
        bool placed = false;        // the engine sets its geometry
        QSize hint{-1, -1};
        // A required statement sets the width (height) to a constant: the hint cannot move it.
        bool fixedWidth = false;
        bool fixedHeight = false;
        LayoutSolver::ConstraintId hintIds[4] = {0, 0, 0, 0};
        QRectF suggested;           // window rectangle last suggested (editing widgets)
        QRectF solvedRelative;      // placed widgets: frame in the parent's coordinates
        bool seen = false;
    };
    struct Entry
    {
        std::weak_ptr<LayoutConstraint> constraint;
        LayoutSolver::ConstraintId id = 0;
        double constant = 0;
        float priority = 0;
        const QWidget* holder = nullptr;
        double baselineOffsets[2] = {0, 0};
        bool seen = false;
    };

    void collect();
    ItemVars& varsFor(QWidget* widget);
    void addTerms(LayoutSolver::Expression& e, QWidget* item, NSLayoutAttribute attribute, double coefficient,
                  QWidget* holder, double* baselineOffset);
    bool addToSolver(const LayoutConstraintPtr& c, Entry& entry);
    void updateHints(ItemVars& vars);
    void markFixedSizes();
    void updateEditing(ItemVars& vars, bool isRoot);
    // The widget's rectangle in window coordinates from the solution and the actual geometry.
    QRectF windowRectOf(QWidget* widget) const;
    QPointF windowOriginOfParent(QWidget* widget) const;
    bool suggestEdits();
    void place();
    void watch(QWidget* widget);
    bool inWindow(const QWidget* widget) const;

    QPointer<QWidget> m_window;
    LayoutSolver m_solver;
    std::unordered_map<const QWidget*, ItemVars> m_vars;
    std::unordered_map<const LayoutConstraint*, Entry> m_entries;
    uint64_t m_seenGeneration = 0;
    bool m_pending = false;
    bool m_inPass = false;
    int m_passCount = 0;
};
