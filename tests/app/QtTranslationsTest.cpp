#include "app/QtTranslations.h"

#include "ScopeGuard.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QTranslator>

#include <gtest/gtest.h>

// A text field's menu reads in Chinese, as the rest of the program does.
TEST(QtTranslations, ATextFieldsMenuReadsInChinese)
{
    QTranslator* translator = installQtTranslations();
    const auto remove = onScopeExit([translator] {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    });
    QLineEdit field;
    field.setText(QStringLiteral("苹果"));
    field.selectAll();
    std::unique_ptr<QMenu> menu(field.createStandardContextMenu());
    QStringList texts;
    for (const QAction* action : menu->actions()) {
        if (!action->isSeparator())
            texts.append(action->text().section(QLatin1Char('\t'), 0, 0));  // the shortcut's keys stay
    }
    ASSERT_FALSE(texts.isEmpty());
    for (const QString& text : texts)
        EXPECT_FALSE(text.contains(QRegularExpression(QStringLiteral("[A-Za-z]{3,}")))) << text.toStdString();
    EXPECT_TRUE(texts.join(QLatin1Char(' ')).contains(QStringLiteral("复制"))) << texts.join(QLatin1Char('|')).toStdString();
}
