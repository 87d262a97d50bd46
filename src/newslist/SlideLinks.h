#pragma once

#include "foundation/models/slideData.h"

#include <QString>

#include <cstdint>

// What the focus slide strip does without its widgets: where the arrows and the timer turn to,
// and what a click on a slide opens.
namespace SlideLinks {

// The slide after / before current in a circle of count slides; current itself when there are
// none.
int64_t nextPosition(int64_t current, int64_t count);
int64_t previousPosition(int64_t current, int64_t count);

// The deal id of a deals item link (".../item/2015/1234.htm" gives 20151234); 0 when the link
// is none or its digits read as 0.
int64_t dealIdFromLink(const QString& link);
// The post id of a community thread link; 0 when none.
int64_t communityPostIdFromLink(const QString& link);

// Opens the target of a slide: "1" an article by news id, "2" a web page (a deals item link
// opens the deal page instead, a community thread link opens nothing, a path is a page of the web
// site), "3" a deal by id. Only absolute http and https addresses reach the browser. Answers
// whether something was opened.
bool clickLink(const QString& link, const QString& linkType);
// Opens what a click on the slide opens: its link by its link type; a slide of the deals channel,
// whose feed names no link type, opens its deal page, else its article, else its web link.
bool openSlide(const slideData& slide);

}  // namespace SlideLinks
