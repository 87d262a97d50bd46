#include "app/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

QTranslator* installQtTranslations()
{
    auto* translator = new QTranslator(QCoreApplication::instance());
    // "qt" names the catalogue that brings those of Qt's modules with it.
    if (!translator->load(QStringLiteral("qt_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        || !QCoreApplication::installTranslator(translator)) {
        qWarning("tidwen: Qt's Chinese translations are missing; Qt's own texts stay in English");
        delete translator;
        return nullptr;
    }
    return translator;
}
