#pragma once

// What the font-size popover asks of the article pane: apply a size to the open page and, when
// store is true, keep it as the reader's setting. The pane implements it and hands itself to
// the popover when it opens one.
class AdjustFontTarget
{
public:
    virtual ~AdjustFontTarget() = default;
    virtual void setFontSizeEndChange(int size, bool store) = 0;
};
