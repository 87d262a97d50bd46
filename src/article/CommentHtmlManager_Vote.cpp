#include "article/CommentHtmlManager.h"

#include "article/HtmlText.h"
#include "foundation/CommonFunction.h"
#include "foundation/xml/TBXML.h"
#include "foundation/xml/XMLText.h"
#include "platform/NSStringValues.h"

#include <algorithm>

namespace {

QString percentText(double value)
{
    return QString::asprintf("%.2f", value);
}

// Items with exactly the three keys a row needs.
bool isCompleteItem(const QVariant& element)
{
    return element.typeId() == QMetaType::QVariantMap && element.toMap().size() == 3;
}

QString resultsForm(const QVariantMap& vote)
{
    const QString total = vote.value(QStringLiteral("total")).toString();
    const long long voteType = vote.value(QStringLiteral("voteType")).toLongLong();
    QString html = QStringLiteral("<div class=\"titlediv\">%1</div><div class=\"totaldiv\">投票人数：<span class=\"totalspan\">%2"
                                  "</span></div><div class=\"tipsdiv\">最多可选%3项</div>")
                       .arg(HtmlText::escape(vote.value(QStringLiteral("title")).toString()), HtmlText::escape(total),
                            QString::number(voteType));
    html += QStringLiteral("<div class=\"resultdiv\">");
    const QVariantList items = vote.value(QStringLiteral("items")).toList();
    // A total of none (or one that does not read as a number) shows every share as 0.00.
    const double totalVotes = NSStringValues::doubleValue(total);
    const bool haveTotal = totalVotes > 0.0;
    long long countSum = 0;
    for (const QVariant& element : items) {
        if (isCompleteItem(element))
            countSum += element.toMap().value(QStringLiteral("count")).toLongLong();
    }
    // The last share of a single choice makes the whole 100 only when the counts are the total.
    const bool fillRemainder = voteType == 1 && haveTotal && static_cast<double>(countSum) == totalVotes;
    double writtenSum = 0.0;
    long long k = 0;
    for (const QVariant& element : items) {
        if (!isCompleteItem(element))
            continue;
        ++k;
        const QVariantMap item = element.toMap();
        const QString tag = HtmlText::escape(item.value(QStringLiteral("tag")).toString());
        const long long count = item.value(QStringLiteral("count")).toLongLong();
        QString text;
        if (fillRemainder && k == items.size()) {
            text = percentText(std::max(0.0, 100.0 - writtenSum));
        } else {
            float share = 0.0F;
            if (haveTotal)
                share = static_cast<float>(static_cast<double>(count) / totalVotes * 100.0);
            text = percentText(share);
            writtenSum += text.toDouble();
        }
        html += QStringLiteral("<div class=\"itemdiv\"><div class=\"tagdiv\">%1、%2</div><div class=\"bardiv\"><div "
                               "class=\"progressdiv%1\" style=\"width:%3%;\"></div></div><div class=\"countdiv\">%3% (%4票)"
                               "</div></div>")
                    .arg(QString::number(k), tag, text, QString::number(count));
    }
    html += QStringLiteral("</div>");
    return html;
}

QString votingForm(const QVariantMap& vote, const QString& voteId)
{
    const long long voteType = vote.value(QStringLiteral("voteType")).toLongLong();
    QString html = QStringLiteral("<div class=\"titlediv\">%1</div><div class=\"totaldiv\">投票人数：<span class=\"totalspan\">%2"
                                  "</span></div><div class=\"tipsdiv\">最多可选%3项 （投票后查看结果）</div>")
                       .arg(HtmlText::escape(vote.value(QStringLiteral("title")).toString()),
                            HtmlText::escape(vote.value(QStringLiteral("total")).toString()), QString::number(voteType));
    html += QStringLiteral("<div class=\"xuanxiangdiv\">");
    const QString type = voteType == 1 ? QStringLiteral("radio") : QStringLiteral("checkbox");
    const QString id = HtmlText::escape(voteId);
    for (const QVariant& element : vote.value(QStringLiteral("items")).toList()) {
        if (!isCompleteItem(element))
            continue;
        const QVariantMap item = element.toMap();
        const QString input = QString::number(item.value(QStringLiteral("input")).toLongLong());
        html += QStringLiteral("<div class=\"itemdiv\"><input class=\"checkinput\" type=\"%1\" name=\"checkbox%2[]\" "
                               "id=\"checkbox_id_%3\" value=\"%3\"/><label class=\"checklabel\" for=\"checkbox_id_%3\">%4"
                               "</label></div>")
                    .arg(type, id, input, HtmlText::escape(item.value(QStringLiteral("tag")).toString()));
    }
    // The id goes in quotes: ids may hold letters and slashes, which bare would not be one value.
    html += QStringLiteral("</div><div class=\"votebtn\"><a id=\"votebutton\" onclick=\"submitVote('%1',%2)\">提交</a></div>")
                .arg(id, QString::number(voteType));
    return html;
}

}  // namespace

QString CommentHtmlManager::GetNewsPageVoteBody(const QVariantMap& vote, const QString& voteId)
{
    QString html = voteId.isNull() ? QStringLiteral("") : voteId;
    bool canVote = true;
    const QString los = vote.value(QStringLiteral("los")).toString();
    if (!los.isEmpty() && !los.toLower().contains(QStringLiteral("ipad")))
        canVote = false;
    const QString ld = vote.value(QStringLiteral("ld")).toString();
    if (!ld.isEmpty() && !ld.toLower().contains(CommonFunction::getDeviceVersionStr().toLower()))
        canVote = false;
    const bool voted = vote.value(QStringLiteral("isVoted")).toBool();
    if (voted || !canVote)
        return html + resultsForm(vote);
    return html + votingForm(vote, voteId);
}

std::optional<QVariantMap> CommentHtmlManager::parseVoteDocument(const QByteArray& data)
{
    Error error;
    TBXML document;
    document.initWithXMLData(data, &error);
    TBXMLElement* root = document.rootXMLElement();
    if (error.code != 0 || !root || TBXML::elementName(root).toLower() != QStringLiteral("vote"))
        return std::nullopt;
    QVariantMap vote;
    const auto text = [&](const char* name) -> std::optional<QString> {
        TBXMLElement* element = TBXML::childElementNamed(QLatin1String(name), root);
        if (!element)
            return std::nullopt;
        // The page escapes what it shows: references are decoded here, once.
        return XMLText::displayText(element);
    };
    if (const auto value = text("title"))
        vote.insert(QStringLiteral("title"), *value);
    if (const auto value = text("total"))
        vote.insert(QStringLiteral("total"), *value);
    if (const auto value = text("votetype"))
        vote.insert(QStringLiteral("voteType"), static_cast<qlonglong>(NSStringValues::integerValue(*value)));
    if (const auto value = text("voted"))
        vote.insert(QStringLiteral("isVoted"), value->toLower() == QStringLiteral("true"));
    for (const char* key : {"los", "ld", "lt"}) {
        if (const auto value = text(key))
            vote.insert(QLatin1String(key), *value);
    }
    if (TBXMLElement* items = TBXML::childElementNamed(QStringLiteral("items"), root)) {
        QVariantList list;
        for (TBXMLElement* item = TBXML::childElementNamed(QStringLiteral("item"), items); item;
             item = TBXML::nextSiblingNamed(QStringLiteral("item"), item)) {
            QVariantMap entry;
            if (TBXMLElement* t = TBXML::childElementNamed(QStringLiteral("t"), item))
                entry.insert(QStringLiteral("tag"), XMLText::displayText(t));
            if (TBXMLElement* c = TBXML::childElementNamed(QStringLiteral("c"), item))
                entry.insert(QStringLiteral("count"), static_cast<qlonglong>(NSStringValues::integerValue(TBXML::textForElement(c))));
            if (TBXMLElement* i = TBXML::childElementNamed(QStringLiteral("i"), item))
                entry.insert(QStringLiteral("input"), static_cast<qlonglong>(NSStringValues::integerValue(TBXML::textForElement(i))));
            list.append(entry);
        }
        vote.insert(QStringLiteral("items"), list);
    }
    return vote;
}

QString CommentHtmlManager::GetNewsPageHotCommentBody(const QVariantList& comments, bool haveImage, const QString& newsId)
{
    QString html = newsId.isNull() ? QStringLiteral("") : newsId;
    QString rows;
    for (const QVariant& element : comments) {
        if (element.typeId() != QMetaType::QVariantMap)
            continue;
        const QVariantMap comment = element.toMap();
        const auto field = [&](const char* key) { return HtmlText::escape(comment.value(QLatin1String(key)).toString()); };
        rows += QStringLiteral("<li onclick=\"window.external.showpagecomment();\">");
        if (haveImage) {
            const QString avatar = CommonFunction::GetAvatarAddress(comment.value(QStringLiteral("Ui")).toString());
            rows += QStringLiteral("<div class=\"hcavatar\"><img src=\"%1\"/></div>").arg(HtmlText::escape(avatar));
        }
        rows += QStringLiteral("<div class=\"hcbody\"><div class=\"hchead\"><span class=\"hcname\">%1</span>"
                               "<span class=\"hclocation\">%2</span><span class=\"hcdate\">%3</span></div>"
                               "<div class=\"hccontent\">%4</div><div class=\"hcsupport\">支持(%5)</div></div></li>")
                    .arg(field("N"), field("Y"), field("D"), field("C"),
                         QString::number(comment.value(QStringLiteral("S")).toLongLong()));
    }
    if (rows.isEmpty())
        return html;
    html += QStringLiteral("<h2>最热评论</h2><ul class=\"hotcommentlist\">") + rows + QStringLiteral("</ul>");
    html += QStringLiteral("<div class=\"hotcommentmore\"><a onclick=\"window.external.showpagecomment();\">查看更多评论</a></div>");
    return html;
}
