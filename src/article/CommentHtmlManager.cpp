#include "article/CommentHtmlManager.h"

#include "article/ArticlePageBuilder.h"
#include "article/HtmlText.h"
#include "database/DatabaseOperate.h"
#include "database/ServerUrls.h"
#include "foundation/CommonFunction.h"
#include "foundation/GlobalValues.h"
#include "platform/NSStringValues.h"

#include <algorithm>
#include <cmath>

namespace {

// A value of the type the table names, else nothing.
QString textValue(const QVariantMap& map, const char* key)
{
    const QVariant value = map.value(QLatin1String(key));
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

bool isNumber(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Float:
        return true;
    default:
        return false;
    }
}

long long numberValue(const QVariantMap& map, const char* key)
{
    const QVariant value = map.value(QLatin1String(key));
    if (!isNumber(value))
        return 0;
    const double number = value.toDouble();
    if (!std::isfinite(number))
        return 0;
    return static_cast<long long>(std::clamp(number, -9.0e18, 9.0e18));
}

QString lineBreaks(QString text)
{
    text.replace(QStringLiteral("%0D%0A"), QStringLiteral("<br>"));
    text.replace(QStringLiteral("%0D"), QStringLiteral("<br>"));
    text.replace(QStringLiteral("%0A"), QStringLiteral("<br>"));
    return text;
}

long fullScore()
{
    const long max = gNewsScoreMax.load();
    return max < 1 ? 5 : max;
}

struct GradeCounts
{
    long long g1 = 0;
    long long g2 = 0;
    long long g3 = 0;
    QString grade;
    long long raters() const { return g1 + g2 + g3; }
};

GradeCounts readGrade(const QVariantMap& grade)
{
    GradeCounts counts;
    counts.g1 = numberValue(grade, "g1");
    counts.g2 = numberValue(grade, "g2");
    counts.g3 = numberValue(grade, "g3");
    counts.grade = textValue(grade, "Grade");
    if (counts.grade.isEmpty())
        counts.grade = QStringLiteral("0");
    return counts;
}

QString resultPart(const GradeCounts& counts)
{
    const long minimum = gNewsScoreMinRaters.load();
    if (counts.raters() < minimum)
        return QStringLiteral("<span class=\"tipsspan\">打分人数少于%1人，不显示文章质量得分</span>").arg(minimum);
    QString html = QStringLiteral("<div class=\"resultdiv\"><span class=\"scorespan\">文章价值：%1分</span>")
                       .arg(HtmlText::escape(counts.grade));
    html += QStringLiteral("<div class=\"stardiv\"><div class=\"backdiv\"><div style=\"width:%1px;\"></div></div>"
                           "<div class=\"frontdiv\"></div></div>")
                .arg(CommentHtmlManager::scoreBarWidth(counts.grade));
    html += QStringLiteral("<div class=\"countdiv\"><span class=\"countspan\">%1人打分</span></div></div>")
                .arg(CommentHtmlManager::countText(counts.raters()));
    return html;
}

QString countsPart(const GradeCounts& counts, const QString& choice)
{
    const auto active = [&](const char* value) {
        return choice == QLatin1String(value) ? QStringLiteral("active") : QString();
    };
    const QString low = active("0");
    const QString high = active("2");
    const QString mid = active("1");
    return QStringLiteral("<div class=\"scorediv\"><a class=\"%1lowscore\" onclick=\"window.external.clickNewScore(-1);\">"
                          "<div class=\"%1lowlogo\"></div>无价值<span class=\"%1singlespan\">%2</span></a>"
                          "<a class=\"%3highscore\" onclick=\"window.external.clickNewScore(-1);\"><div class=\"%3highlogo\">"
                          "</div>有价值<span class=\"%3singlespan\">%4</span></a></div><div class=\"scorediv\">"
                          "<a class=\"%5midscore\" onclick=\"window.external.clickNewScore(-1);\"><div class=\"%5midlogo\">"
                          "</div>还可以<span class=\"%5singlespan\">%6</span></a></div>")
        .arg(low, CommentHtmlManager::countText(counts.g1), high, CommentHtmlManager::countText(counts.g3), mid,
             CommentHtmlManager::countText(counts.g2));
}

}  // namespace

QString CommentHtmlManager::countText(long long count)
{
    return count > 100000 ? QStringLiteral("100000+") : QString::number(count);
}

long CommentHtmlManager::scoreBarWidth(const QString& grade)
{
    const long max = fullScore();
    bool ok = false;
    double value = grade.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        value = 0.0;
    value = std::clamp(value, -1.0e6, 1.0e6);
    const long whole = static_cast<long>(value);
    const long k = whole * 5 / max;
    const double s = value * 5.0 / static_cast<double>(max);
    double width = 0.0;
    if (k == max)
        width = 100.0;
    else if (k <= 0)
        width = 0.0;
    else
        width = s * 15.0 + static_cast<double>(s == static_cast<double>(k) ? k - 1 : k) * 6.25;
    return std::clamp(static_cast<long>(width), 0L, 100L);
}

QString CommentHtmlManager::GetNewsPageDouZaiMaiBody(const QVariantList& items, const QString& newsId)
{
    return GetNewsPageZaiMaiBody(items, newsId, true);
}

QString CommentHtmlManager::GetNewsPageHaiZaiMaiBody(const QVariantList& items, const QString& newsId)
{
    return GetNewsPageZaiMaiBody(items, newsId, false);
}

QString CommentHtmlManager::GetNewsPageZaiMaiBody(const QVariantList& items, const QString& newsId, bool isDou)
{
    QString html = newsId.isNull() ? QStringLiteral("") : newsId;
    if (items.isEmpty())
        return html;
    html += isDou ? QStringLiteral("<h2>大家都在买</h2>")
                  : QStringLiteral("<div class=\"entryline2\"></div><h2>大家还在买</h2>");
    html += QStringLiteral("<ul>");
    const bool online = CommonFunction::checkNetworkState();
    // The block goes on the article page and on the deal page: the bundle's picture travels with it.
    static const QString placeholder = ArticleBundle::pictureDataUrl(QStringLiteral("placeholder_news.png"));
    for (const QVariant& element : items) {
        if (element.typeId() != QMetaType::QVariantMap)
            continue;
        const QVariantMap item = element.toMap();
        html += QStringLiteral("<li onclick=\"window.external.clickDouZaiMai(%1);\">").arg(numberValue(item, "productid"));
        const QString name = HtmlText::escape(textValue(item, "ProductName"));
        const QString promotion = HtmlText::escape(textValue(item, "PromotionInfo"));
        const QString time = CommonFunction::intervalSinceNow(
            textValue(item, "CreateTime").replace(QLatin1Char('T'), QLatin1Char(' ')));
        const QString store = textValue(item, "OriginStoreName");
        const QString storeDate = HtmlText::escape(store.isEmpty() ? time : QStringLiteral("%1 | %2").arg(store, time));
        const QString picture = HtmlText::escape(kUrlProductPictures + textValue(item, "Picture"));
        QString row;
        if (online) {
            row = QStringLiteral("<div class=\"imgdiv\"><img src=\"%1\"/></img></div><div class=\"titlediv\"><a>%2</a>"
                                 "<span class=\"promotion\">%3</span><span class=\"storedate\">%4</span></div>")
                      .arg(picture, name, promotion, storeDate);
        } else {
            row = QStringLiteral("<div class=\"imgdiv\"><img data-original=\"%1\" src=\"%2\"/></img></div>"
                                 "<div class=\"titlediv\"><a>%3</a><div><span class=\"promotion\">%4</span>"
                                 "<span class=\"storedate\">%5</span></div></div>")
                      .arg(picture, placeholder, name, promotion, storeDate);
        }
        html += lineBreaks(row) + QStringLiteral("</li>");
    }
    html += QStringLiteral("</ul>");
    return html;
}

QString CommentHtmlManager::GetNewsScoreBody(const QVariantMap& grade, const QString& newsId, const QString& userId)
{
    QString choice = QStringLiteral("-1");
    {
        DatabaseOperate::Lease store;
        if (store)
            choice = store->NewsScore_getScore(newsId, userId);
    }
    const GradeCounts counts = readGrade(grade);
    QString html = newsId.isNull() ? QStringLiteral("") : newsId;
    if (choice == QStringLiteral("-1")) {
        html += QStringLiteral("<span class=\"tipsspan1\">打分后显示文章质量得分，当前%1人打分</span>").arg(countText(counts.raters()));
        html += QStringLiteral(
            "<div class=\"scorediv\"><a class=\"lowscore1\" onclick=\"window.external.clickNewScore(0);\"><div class=\"lowlogo\">"
            "</div>无价值</a><a class=\"highscore1\" onclick=\"window.external.clickNewScore(2);\"><div class=\"highlogo\"></div>"
            "有价值</a></div><div class=\"scorediv\"><a class=\"midscore1\" onclick=\"window.external.clickNewScore(1);\">"
            "<div class=\"midlogo\"></div>还可以</a></div>");
        return html;
    }
    return html + resultPart(counts) + countsPart(counts, choice);
}

QString CommentHtmlManager::RefreshNewsScoreBody(const QVariantMap& grade, const QString& newsId, const QString& choice)
{
    const GradeCounts counts = readGrade(grade);
    QString html = newsId.isNull() ? QStringLiteral("") : newsId;
    return html + resultPart(counts) + countsPart(counts, choice);
}

QString CommentHtmlManager::GetNewsRewardBody(const QString& newsId)
{
    QString html = newsId.isNull() ? QStringLiteral("") : newsId;
    return html + QStringLiteral("<div class=\"outdiv\"><div class=\"shangoutdiv\"><div class=\"shangdiv\" "
                                 "onclick=\"clickNewReward();\">赏</div></div><div class=\"tipsdiv\"></div></div>");
}

QString CommentHtmlManager::GetNewsPageRelateNewsBody(const QVariantList& related, const QString& newsId)
{
    QString html = newsId.isNull() ? QStringLiteral("") : newsId;
    if (related.isEmpty())
        return html;
    html += QStringLiteral("<h2>相关文章</h2><ul>");
    const long configured = gRelatedNewsCount.load();
    const auto limit = static_cast<unsigned long>(configured);  // a negative count reads as huge, as unsigned
    const auto n = std::min<unsigned long>(static_cast<unsigned long>(related.size()), limit);
    for (unsigned long i = 0; i < n; ++i) {
        const QVariant& element = related.at(static_cast<qsizetype>(i));
        if (element.typeId() != QMetaType::QVariantMap)
            continue;
        const QVariantMap item = element.toMap();
        const QString idText = textValue(item, "newsid");
        const long long id = NSStringValues::integerValue(idText);
        html += QStringLiteral("<li onclick=\"window.external.clickRelateNews(%1);\">").arg(id);
        html += lineBreaks(QStringLiteral("<a>%1</a><span class=\"date\">%2</span>")
                               .arg(HtmlText::escape(textValue(item, "newstitle")),
                                    HtmlText::escape(textValue(item, "postdate"))));
        html += QStringLiteral("</li>");
    }
    html += QStringLiteral("</ul>");
    return html;
}
