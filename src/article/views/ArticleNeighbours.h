#pragma once


#include "foundation/models/HotProductModel.h"
#include "platform/Installed.h"

#include <QString>
#include <QStringList>
#include <QWidget>

#include <memory>

// The deal page of the deals channel as the pane uses it.
class ArticleDealPage
{
public:
    virtual ~ArticleDealPage() = default;
    virtual QWidget* widget() = 0;
    // Loads the deal (opened by a click when byClick).
    virtual void show(const QString& productId, bool byClick) = 0;
    // Runs a page function such as SetFontFamily.
    virtual void runScript(const QString& script) = 0;
    // The deal page's own list of shown deal ids, oldest first, and the removal of every entry
    // equal to one id; the back button walks it. A page without such a list has none.
    virtual QStringList recordHot() const { return {}; }
    virtual void removeRecordHot(const QString& productId) { Q_UNUSED(productId); }
    // The deal shown, for its share and buy addresses; null when none.
    virtual HotProductModelPtr productModel() const { return nullptr; }
};

// The comment page of the comments subsystem as the pane uses it.
class ArticleCommentPage
{
public:
    virtual ~ArticleCommentPage() = default;
    virtual QWidget* widget() = 0;
    virtual void openNewsComment(const QString& newsId, const QString& title, const QString& link) = 0;
    virtual void refreshComment(bool byUser) = 0;
    virtual void runScript(const QString& script) = 0;
};

// The pages and windows of the neighbouring subsystems that the pane shows. src/app/main.cpp
// installs the real ones (deal page, comment page, login window, write-comment window); without
// an installation the pane shows none of them.
class ArticleNeighbours : public Installed<ArticleNeighbours>
{
public:
    virtual ~ArticleNeighbours() = default;
    virtual std::unique_ptr<ArticleDealPage> makeDealPage(QWidget* parent) = 0;
    virtual std::unique_ptr<ArticleCommentPage> makeCommentPage(QWidget* parent) = 0;
    // Orders the login window front and runs it modally.
    virtual void showLoginWindow(QWidget* window) = 0;
    // The write-comment window: "0", "0", "0", "" for a new top-level comment.
    virtual void showWriteComment(const QString& newsId, const QString& parentCommentId, const QString& floorId,
                                  const QString& currentCommentId, const QString& userName) = 0;

    static std::shared_ptr<ArticleNeighbours> instance() { return installed(); }

private:
    friend class Installed<ArticleNeighbours>;
    static std::shared_ptr<ArticleNeighbours> makeDefault();  // shows none of them
};
