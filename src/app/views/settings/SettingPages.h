#pragma once

#include "app/settings/SettingsModel.h"

#include <QWidget>

#include <memory>

class QCheckBox;
class QLabel;
class QPushButton;

// The general page of the settings window: thin font, cache clearing, deals under articles,
// automatic clearing, update-count tips, device tail and reply reminders.
class CommmonSettingViewController : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kWidth = 480;
    static constexpr int kHeight = 300;

    explicit CommmonSettingViewController(std::shared_ptr<SettingsModel> model = std::make_shared<SettingsModel>(),
                                          QWidget* parent = nullptr);

    QCheckBox* changeFont() const { return m_changeFont; }
    QPushButton* clearMemory() const { return m_clearMemory; }
    QCheckBox* showDouZaiMai() const { return m_showDouZaiMai; }
    QCheckBox* autoClear() const { return m_autoClear; }
    QCheckBox* updateCountTip() const { return m_updateCountTip; }
    QCheckBox* showTail() const { return m_showTail; }
    QCheckBox* CommontReport() const { return m_commontReport; }
    SettingsModel& model() { return *m_model; }

    void cleanCaches();

private:
    void viewDidLoad();

    std::shared_ptr<SettingsModel> m_model;
    QCheckBox* m_changeFont = nullptr;
    QPushButton* m_clearMemory = nullptr;
    QCheckBox* m_showDouZaiMai = nullptr;
    QCheckBox* m_autoClear = nullptr;
    QCheckBox* m_updateCountTip = nullptr;
    QCheckBox* m_showTail = nullptr;
    QCheckBox* m_commontReport = nullptr;
};

// The page of the left bar's settings popover: thin font, deals under articles, the cache size
// with its clear button, and the version.
class SettingViewController : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kWidth = 240;
    static constexpr int kHeight = 200;

    explicit SettingViewController(std::shared_ptr<SettingsModel> model = std::make_shared<SettingsModel>(),
                                   QWidget* parent = nullptr);

    QCheckBox* changeFont() const { return m_changeFont; }
    QCheckBox* showDouZaiMai() const { return m_showDouZaiMai; }
    QLabel* memory() const { return m_memory; }
    QLabel* version() const { return m_version; }
    QPushButton* clearMemory() const { return m_clearMemory; }

    void cleanCaches();

private:
    void viewDidLoad();

    std::shared_ptr<SettingsModel> m_model;
    QCheckBox* m_changeFont = nullptr;
    QCheckBox* m_showDouZaiMai = nullptr;
    QLabel* m_memory = nullptr;
    QLabel* m_version = nullptr;
    QPushButton* m_clearMemory = nullptr;
};

// The coin-shop and coin-task pages: their content is fixed.
class GoldcoinShopViewController : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kWidth = 600;
    static constexpr int kHeight = 400;
    explicit GoldcoinShopViewController(QWidget* parent = nullptr);
};

class GoldcoinTaskViewController : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kWidth = 480;
    static constexpr int kHeight = 300;
    explicit GoldcoinTaskViewController(QWidget* parent = nullptr);
};
