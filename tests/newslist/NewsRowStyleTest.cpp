#include "newslist/NewsRowStyle.h"

#include <gtest/gtest.h>

TEST(NewsRowStyle, TitleColoursFollowReadSelectedAndFlagged)
{
    struct Case
    {
        bool hasItem, read, selected;
        QString flag;
        QColor expected;
    };
    const QColor normal(25, 25, 25), flagged(210, 34, 34), read(118, 118, 118);
    const Case cases[] = {
        {true, false, false, QStringLiteral(""), normal},
        {true, true, false, QStringLiteral(""), read},
        {true, true, true, QStringLiteral(""), normal},       // read and selected shows unread colours
        {true, false, false, QStringLiteral("1"), flagged},
        {true, true, false, QStringLiteral("1"), read},
        {true, true, true, QStringLiteral("1"), flagged},
        {false, true, false, QStringLiteral(""), normal},     // no item
    };
    for (const Case& c : cases)
        EXPECT_EQ(NewsRowStyle::newsTitleColor(c.hasItem, c.read, c.selected, c.flag), c.expected)
            << c.hasItem << c.read << c.selected << c.flag.toStdString();
    EXPECT_EQ(NewsRowStyle::adTitleColor(true), read);
    EXPECT_EQ(NewsRowStyle::adTitleColor(false), normal);
}

TEST(NewsRowStyle, TagsWidthsAndAdColours)
{
    EXPECT_TRUE(NewsRowStyle::showsVideoTag(true, false));
    EXPECT_FALSE(NewsRowStyle::showsVideoTag(true, true));
    EXPECT_FALSE(NewsRowStyle::showsVoteTag(true, true));
    EXPECT_TRUE(NewsRowStyle::showsVoteTag(false, true));
    EXPECT_EQ(NewsRowStyle::dateWidth(QStringLiteral("12月3日")), 50);
    EXPECT_EQ(NewsRowStyle::dateWidth(QStringLiteral("昨日09:30")), 30);
    EXPECT_EQ(NewsRowStyle::dateWidth(QStringLiteral("09:30")), 30);
    const std::pair<const char*, QColor> ads[] = {{"活动", {241, 110, 110}}, {"Zefup", {231, 71, 55}},
                                                  {"广告", {42, 97, 188}},   {"京东", {220, 0, 19}},
                                                  {"推广", {170, 170, 170}}, {"", {170, 170, 170}}};
    for (const auto& [text, colour] : ads)
        EXPECT_EQ(NewsRowStyle::adTypeColor(QString::fromUtf8(text)), colour) << text;
    EXPECT_EQ(NewsRowStyle::backgroundImage(true), QStringLiteral("CellSelectedBg"));
}
