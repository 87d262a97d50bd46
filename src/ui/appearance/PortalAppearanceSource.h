#pragma once

#include "platform/AppearanceSource.h"

#include <QObject>
#include <QString>
#include <QDBusVariant>
#include <QVariant>

#include <optional>

class QDBusConnection;

// The desktop's appearance: the portal setting org.freedesktop.appearance color-scheme
// (1 dark, 2 light) on the session bus; without a portal, or with 0 (no preference), dark when
// the application palette's window colour is darker than its text colour. Portal change signals
// and application palette changes announce a possible change.
class PortalAppearanceSource : public QObject, public AppearanceSource
{
    Q_OBJECT
public:
    // Uses the session bus.
    PortalAppearanceSource();
    // Uses the bus given (tests pass a private bus).
    explicit PortalAppearanceSource(const QDBusConnection& bus);
    ~PortalAppearanceSource() override;

    bool isDark() override;

    // The portal's color-scheme value, or nothing without a portal.
    std::optional<uint32_t> readColorScheme();
    static bool paletteIsDark();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void settingChanged(const QString& nameSpace, const QString& key, const QDBusVariant& value);

private:
    void connectSignals();
    struct Private;
    Private* d;
};
