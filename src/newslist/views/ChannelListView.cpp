#include "newslist/views/ChannelListView.h"

namespace ListColumnNeighbours {

namespace {
HotCommentListMaker& hotMaker()
{
    static HotCommentListMaker maker;
    return maker;
}
DealsViewMaker& dealsMaker()
{
    static DealsViewMaker maker;
    return maker;
}
}  // namespace

void installHotCommentListMaker(HotCommentListMaker maker) { hotMaker() = std::move(maker); }
void installDealsViewMaker(DealsViewMaker maker) { dealsMaker() = std::move(maker); }
const HotCommentListMaker& hotCommentListMaker() { return hotMaker(); }
const DealsViewMaker& dealsViewMaker() { return dealsMaker(); }

}  // namespace ListColumnNeighbours
