#pragma once

#include <QWidget>

#include <memory>

class ArticleDealPage;

// The deals column and the hot-comments channel of the list column, with the deal page of the
// detail pane: the makers the list column asks for, installed by installProgramWiring.
void installDealsWiring();

// The deal page of the detail pane: the deals folder's page, its "大家还在买" rows opening their
// deal in the pane.
std::unique_ptr<ArticleDealPage> makeProgramDealPage(QWidget* parent);
