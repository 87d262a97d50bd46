#include "app/views/settings/SettingPages.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

namespace {

QCheckBox* box(QWidget* parent, const QString& title, const QString& name, int y)
{
    auto* check = new QCheckBox(title, parent);
    check->setObjectName(name);
    check->setGeometry(30, y, 300, 22);
    return check;
}

QLabel* fixedText(QWidget* parent, const QString& text, const QRect& frame)
{
    auto* label = new QLabel(text, parent);
    label->setGeometry(frame);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

// The two switches both pages carry: the thin font (only where the system has one) and the deals
// under articles.
void bindSharedSwitches(QWidget* page, QCheckBox* thinFont, QCheckBox* deals, SettingsModel* model)
{
    thinFont->setChecked(model->thinFont());
    thinFont->setEnabled(model->thinFontAvailable());
    deals->setChecked(model->douZaiMai());
    QObject::connect(thinFont, &QCheckBox::clicked, page, [model](bool checked) { model->changFont(checked); });
    QObject::connect(deals, &QCheckBox::clicked, page, [model](bool checked) { model->showDZM(checked); });
}

}  // namespace

CommmonSettingViewController::CommmonSettingViewController(std::shared_ptr<SettingsModel> model, QWidget* parent)
    : QWidget(parent), m_model(std::move(model))
{
    setObjectName(QStringLiteral("CommmonSettingViewController"));
    setFixedSize(kWidth, kHeight);
    m_changeFont = box(this, QStringLiteral("使用细字体"), QStringLiteral("changeFont"), 20);
    fixedText(this, QStringLiteral("缓存:"), QRect(30, 52, 60, 24));
    m_clearMemory = new QPushButton(this);
    m_clearMemory->setObjectName(QStringLiteral("clearMemory"));
    m_clearMemory->setGeometry(90, 50, 160, 28);
    m_showDouZaiMai = box(this, QStringLiteral("文章下方显示\"大家都在买\""), QStringLiteral("showDouZaiMai"), 90);
    m_autoClear = box(this, QStringLiteral("自动清除缓存"), QStringLiteral("autoClear"), 124);
    m_updateCountTip = box(this, QStringLiteral("刷新后提示更新条数"), QStringLiteral("updateCountTip"), 158);
    m_showTail = box(this, QStringLiteral("评论显示设备小尾巴"), QStringLiteral("showTail"), 192);
    m_commontReport = box(this, QStringLiteral("评论回复提醒"), QStringLiteral("CommontReport"), 226);
    // The device shows under comments unless the account hides it.
    m_showTail->setChecked(true);
    viewDidLoad();
}

void CommmonSettingViewController::viewDidLoad()
{
    bindSharedSwitches(this, m_changeFont, m_showDouZaiMai, m_model.get());
    m_clearMemory->setText(m_model->countCacheSize());
    m_autoClear->setChecked(m_model->autoClear());
    m_updateCountTip->setChecked(m_model->updateCountTip());
    if (const std::optional<bool> tail = m_model->showTail())
        m_showTail->setChecked(*tail);
    m_commontReport->setChecked(m_model->replyRemind());

    connect(m_clearMemory, &QPushButton::clicked, this, [this] { cleanCaches(); });
    connect(m_autoClear, &QCheckBox::clicked, this, [this](bool checked) { m_model->AutoClear(checked); });
    connect(m_updateCountTip, &QCheckBox::clicked, this, [this](bool checked) { m_model->UpdateCount(checked); });
    connect(m_showTail, &QCheckBox::clicked, this, [this](bool checked) { m_model->ShowTail(checked); });
    connect(m_commontReport, &QCheckBox::clicked, this, [this](bool checked) { m_model->commontReport(checked); });

    m_model->refreshReminderDot();
}

void CommmonSettingViewController::cleanCaches()
{
    m_clearMemory->setText(m_model->cleanCaches());
}

SettingViewController::SettingViewController(std::shared_ptr<SettingsModel> model, QWidget* parent)
    : QWidget(parent), m_model(std::move(model))
{
    setObjectName(QStringLiteral("SettingViewController"));
    setFixedSize(kWidth, kHeight);
    m_changeFont = box(this, QStringLiteral("使用细字体"), QStringLiteral("changeFont"), 16);
    m_showDouZaiMai = box(this, QStringLiteral("显示\"大家都在买\""), QStringLiteral("showDouZaiMai"), 48);
    m_changeFont->setGeometry(20, 16, 200, 22);
    m_showDouZaiMai->setGeometry(20, 48, 200, 22);
    fixedText(this, QStringLiteral("缓存:"), QRect(20, 84, 44, 24));
    m_memory = fixedText(this, QString(), QRect(64, 84, 90, 24));
    m_memory->setObjectName(QStringLiteral("memory"));
    m_clearMemory = new QPushButton(QStringLiteral("清除"), this);
    m_clearMemory->setObjectName(QStringLiteral("clearMemory"));
    m_clearMemory->setGeometry(160, 82, 60, 28);
    fixedText(this, QStringLiteral("版本:"), QRect(20, 124, 44, 24));
    m_version = fixedText(this, QString(), QRect(64, 124, 150, 24));
    m_version->setObjectName(QStringLiteral("version"));
    viewDidLoad();
}

void SettingViewController::viewDidLoad()
{
    bindSharedSwitches(this, m_changeFont, m_showDouZaiMai, m_model.get());
    m_memory->setText(m_model->countCacheSize());
    m_version->setText(SettingsModel::version());

    connect(m_clearMemory, &QPushButton::clicked, this, [this] { cleanCaches(); });
}

void SettingViewController::cleanCaches()
{
    m_memory->setText(m_model->cleanCaches());
}

GoldcoinShopViewController::GoldcoinShopViewController(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("GoldcoinShopViewController"));
    fixedText(this, QStringLiteral("金币商城"), QRect(30, 20, 300, 24));
}

GoldcoinTaskViewController::GoldcoinTaskViewController(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("GoldcoinTaskViewController"));
    fixedText(this, QStringLiteral("金币任务"), QRect(30, 20, 300, 24));
}
