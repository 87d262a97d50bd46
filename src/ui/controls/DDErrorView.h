#pragma once

#include "ui/controls/CustomButton.h"
#include "ui/controls/UILabel.h"

#include <QPointer>
#include <QString>
#include <QWidget>

// The panel a list or page shows in place of its content when loading failed with nothing cached:
// two centred grey lines and, once added, a reload button below them.
//     auto* error = new DDErrorView(owner->rect(), owner);
//     error->setTitle("新闻加载失败"); error->setSubtitle("点击刷新按钮重新加载");
//     error->addReloadButton(); error->reloadButton()->addTarget(owner, &Owner::reload);
//     error->fitColor(gThemeMode);
class DDErrorView : public QWidget
{
    Q_OBJECT
public:
    // On 10.11 and later (CommonFunction::isEICapitanLater) it observes "fontChanged".
    explicit DDErrorView(const QRect& frame = {}, QWidget* parent = nullptr);
    DDErrorView(const QString& title, const QString& subtitle, const QString& image, QWidget* parent = nullptr);
    ~DDErrorView() override;

    QString title() const;
    void setTitle(const QString& title);
    QString subtitle() const;
    void setSubtitle(const QString& subtitle);

    // Makes the image-only reload button ("reloadButton") once and lays the view out.
    void addReloadButton();
    // Null until addReloadButton.
    CustomButton* reloadButton() const { return m_reloadButton; }

    // The constraints of the title, subtitle and reload button.
    void layoutSubviews();
    // themeMode: 1 day, 2 night. Background white 248, reload button fully opaque.
    void fitColor(int themeMode);
    // The labels take the bold font of size 12 again (the thin-font choice may have changed).
    void fontChanged();

    UILabel* titleView() const { return m_titleView; }
    UILabel* subtitleView() const { return m_subtitleView; }
    QColor backgroundColor() const;
    bool observesFontChanged() const { return m_observesFontChanged; }

private:
    void setBackgroundColor(const QColor& color);

    UILabel* m_titleView = nullptr;
    UILabel* m_subtitleView = nullptr;
    QPointer<CustomButton> m_reloadButton;
    bool m_observesFontChanged = false;
};
