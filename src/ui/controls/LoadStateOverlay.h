#pragma once

#include "ui/controls/DDErrorView.h"
#include "ui/hud/DJActivityIndicator.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

// What a view shows over its content while that content loads, and when loading failed with
// nothing to show: the spinner in the middle, then the error view (the title given,
// "点击刷新按钮重新加载") whose reload button tries again. Both follow the host's size and stay
// over children the host gains later (a web view adds the widget it draws its page in when a page
// first loads, over everything before it); a toast shown over the host stays over them.
class LoadStateOverlay : public QObject
{
    Q_OBJECT
public:
    // spinnerSize: the spinner's width and height.
    LoadStateOverlay(QWidget* host, const QString& failureTitle, int spinnerSize);

    void showLoading();
    void showFailure(std::function<void()> reload);
    // Neither mark.
    void clear();
    // A load ended: no mark when it worked; the failure view (with the reload) when it failed with
    // nothing shown; a short note over toastOver when the rows shown stay, only not new.
    void finish(bool ok, bool rowsShown, std::function<void()> reload, QWidget* toastOver);

    bool isLoadingShown() const;
    bool isFailureShown() const;
    // Null until a failure was first shown.
    DDErrorView* errorView() const { return m_errorView; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place();
    void raiseMarks();

    QWidget* m_host;
    QString m_failureTitle;
    int m_spinnerSize;
    QPointer<DJActivityIndicator> m_spinner;
    QPointer<DDErrorView> m_errorView;
    std::function<void()> m_reload;
};
