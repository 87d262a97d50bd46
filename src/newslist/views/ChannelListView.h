#pragma once

#include "foundation/models/NewsListData.h"

#include <QWidget>

#include <functional>

// What the list column needs of a channel's list, whichever kind it is: the news list of this
// folder, or the hot-comment list of channel 153 that the program plugs in.
class ChannelListView
{
public:
    virtual ~ChannelListView() = default;
    virtual QWidget* listWidget() = 0;
    virtual const NewsListData& newslistData() const = 0;
    // YES when a tab was chosen, NO from the refresh button.
    virtual void showByClick(bool byClick) = 0;
    // The column says which list is on show: only that one may open an article.
    virtual void setOnShow(bool /*onShow*/) {}
    virtual bool isHotCommentList() const { return false; }
};

// The deals view the left bar switches the column to.
class DealsColumnView
{
public:
    virtual ~DealsColumnView() = default;
    virtual QWidget* dealsWidget() = 0;
    virtual void showLastSelectedIndex() = 0;
};

// Makers of the neighbours' views, installed by the program at start; tests install fakes.
// Without a maker, channel 153 gets no list and "ZQ" shows nothing.
namespace ListColumnNeighbours {

// The hot-comment list of a channel; the column parents and owns the widget.
using HotCommentListMaker = std::function<ChannelListView*(const NewsListData& channel, QWidget* parent)>;
using DealsViewMaker = std::function<DealsColumnView*(QWidget* parent)>;

void installHotCommentListMaker(HotCommentListMaker maker);
void installDealsViewMaker(DealsViewMaker maker);
const HotCommentListMaker& hotCommentListMaker();
const DealsViewMaker& dealsViewMaker();

}  // namespace ListColumnNeighbours
