#include "app/views/MainTouchBarTargets.h"

#include "app/views/MainSplitViewController.h"
#include "article/views/RightViewController.h"
#include "article/views/popovers/ArticleShare.h"
#include "newslist/views/CenterViewController.h"

SplitViewTouchBarTargets::SplitViewTouchBarTargets(MainSplitViewController* split) : m_split(split) {}

RightViewController* SplitViewTouchBarTargets::right() const
{
    return m_split ? qobject_cast<RightViewController*>(m_split->RightViewController()) : nullptr;
}

void SplitViewTouchBarTargets::back()
{
    if (RightViewController* pane = right())
        pane->back();
}

void SplitViewTouchBarTargets::refresh()
{
    if (RightViewController* pane = right())
        pane->refresh();
}

void SplitViewTouchBarTargets::writeComment()
{
    if (RightViewController* pane = right())
        pane->writeComment();
}

void SplitViewTouchBarTargets::openComment()
{
    if (RightViewController* pane = right())
        pane->openComment();
}

void SplitViewTouchBarTargets::touchBarShareToSina()
{
    if (RightViewController* pane = right())
        ArticleShare::touchBarShareToSina(pane->feed());
}

void SplitViewTouchBarTargets::touchBarShareToQQzone()
{
    if (RightViewController* pane = right())
        ArticleShare::touchBarShareToQQzone(pane->feed());
}

void SplitViewTouchBarTargets::touchBarShareToPaste()
{
    if (RightViewController* pane = right())
        ArticleShare::touchBarShareToPaste(pane->feed(), pane->window());
}

void SplitViewTouchBarTargets::setFontSizeEndChange(int size, bool store)
{
    if (RightViewController* pane = right())
        pane->setFontSizeEndChange(size, store);
}

void SplitViewTouchBarTargets::refreshNews()
{
    if (auto* column = m_split ? qobject_cast<CenterViewController*>(m_split->CenterViewController()) : nullptr)
        column->refreshNews();
}
