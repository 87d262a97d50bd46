#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

#include "ui/controls/DDErrorView.h"
#include "ui/hud/DJActivityIndicator.h"

// What the deals list and the deal page show over their content while it loads and when it
// failed with nothing to show, as the news lists do: the spinner in the middle, then the error
// view ("新闻加载失败", "点击刷新按钮重新加载") whose reload button tries again.
class DealLoadState : public QObject
{
    Q_OBJECT
public:
    // The host is the view covered; both marks follow its size.
    explicit DealLoadState(QWidget* host);

    void showLoading();
    void showFailure(std::function<void()> reload);
    // Neither mark.
    void clear();

    bool isLoadingShown() const;
    bool isFailureShown() const;
    DDErrorView* errorView() const { return m_errorView; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place();

    QWidget* m_host;
    QPointer<DJActivityIndicator> m_spinner;
    QPointer<DDErrorView> m_errorView;
    std::function<void()> m_reload;
};
