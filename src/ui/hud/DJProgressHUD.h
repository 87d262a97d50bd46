#pragma once

#include "ui/hud/DJActivityIndicator.h"
#include "ui/hud/DJProgressIndicator.h"

#include <QLabel>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <QPushButton>
#include <QString>

#include <cstdint>
#include <functional>

// The one heads-up display of the process: over a given widget it shows a spinner with a status
// text, a progress ring with a status text, or a short text toast, dims the widget and swallows
// its clicks until dismissed. Main thread only.
//
// Toasts: showToast(text, view), which dismisses the HUD one second later; a toast asked for
// while the HUD shows is dropped.
//
// The HUD's widgets are children of the covered widget while shown; when that widget is destroyed
// they go with it, and the next show makes them again (hidden, count 0).
class DJProgressHUD : public QObject
{
    Q_OBJECT
public:
    // The process's HUD, made on first use.
    static DJProgressHUD* instance();

    // Spinner and text over the view.
    static void showStatus(const QString& status, QWidget* view);
    // Ring at progress (0 ... 1; negative clears it) and text over the view.
    static void showProgress(double progress, const QString& status, QWidget* view);
    // The toast: a box of messageSize centred over the view; dropped while the HUD shows.
    static void showMessage(const QString& message, QWidget* view);
    // The toast that dismisses itself: showMessage, then, one second later, dismiss and after.
    // When the covered widget is gone by then it took the toast with it, and the HUD is left to
    // what shows now; after still runs.
    static void showToast(const QString& message, QWidget* view, std::function<void()> after = {});
    // The toast's box for that message: 20 high, 20 per UTF-16 unit + 40 wide.
    static QSize messageSize(const QString& message);
    // Counts down when keepActivityCount is set, else hides.
    static void dismiss();
    static void popActivity();
    static void setBackgroundAlpha(double alpha, bool disableActions);

    // ---- the instance ----
    void showStatusFromView(const QString& status, QWidget* view);
    void showProgressWithStatus(double progress, const QString& status, QWidget* view);
    void showMessageFromView(const QString& message, QWidget* view);
    // Lowers the activity count; hides when it falls from 1 to 0; does nothing at 0.
    void popActivityCount();

    void showViewAnimated();
    void hideViewAnimated();
    void replaceViewQuick();
    void beginShowView();
    void finishHideView();
    void addMask();
    void removeMask();
    void updateLayout();
    void setBackground();
    // The height of the text laid out in that font at that width.
    static double heightForString(const QString& text, const QFont& font, double width);
    // The box's rectangle, pSize scaled, centred in a rectangle of the size given (y-up).
    QRectF getCenterWithinRect(const QRectF& rect, double scale) const;

    // ---- state ----
    QWidget* parentView() const { return m_parentView; }
    QSizeF pSize() const { return m_pSize; }
    bool keepActivityCount = false;
    bool actionsEnabled = false;
    bool animatingDismiss() const { return m_animatingDismiss; }
    bool animatingShow() const { return m_animatingShow; }
    bool displaying() const { return m_displaying; }
    uint64_t activityCount() const { return m_activityCount; }
    double pAlpha = 0.9;
    double pPadding = 10;
    double backgroundAlpha = 0.4;
    QPointF pOffset;
    QSizeF indicatorSize{40, 40};

    // ---- parts (null when hidden and gone with a destroyed covered widget) ----
    // The dimming view over the covered widget; the box is its child.
    QWidget* hudView() const { return m_hudView; }
    QWidget* mainHUD() const { return m_mainHUD; }
    QLabel* label() const { return m_label; }
    DJActivityIndicator* activityIndicator() const { return m_activityIndicator; }
    DJProgressIndicator* progressIndicator() const { return m_progressIndicator; }
    QPushButton* backgroundMask() const { return m_backgroundMask; }
    // The box's opacity (0 ... pAlpha) as the animation leaves it.
    double boxOpacity() const;

    // Makes the parts (hidden) when they are missing.
    void initializePopup();

    ~DJProgressHUD() override;

private:
    explicit DJProgressHUD(QObject* parent);
    void deleteUnparentedParts();
    // The box placed at a rectangle given y-up in the HUD view's coordinates.
    void placeBox(const QRectF& yUpRect);
    void setBoxOpacity(double opacity);
    void animateBox(const QRectF& toYUp, double toOpacity, bool dismissing);
    // The box fades in while it grows from three quarters of its size over the parent view.
    void animateBoxIn();
    bool partsAlive() const;

    QPointer<QWidget> m_parentView;
    QSizeF m_pSize;
    QPointer<QWidget> m_hudView;
    QPointer<QWidget> m_mainHUD;
    QPointer<QLabel> m_label;
    QPointer<DJActivityIndicator> m_activityIndicator;
    QPointer<DJProgressIndicator> m_progressIndicator;
    QPointer<QPushButton> m_backgroundMask;
    QPointer<QObject> m_animation;
    bool m_animatingDismiss = false;
    bool m_animatingShow = false;
    bool m_displaying = false;
    uint64_t m_activityCount = 0;
};
