#pragma once

#include <QString>

// The server addresses of every request the client makes.
//
// Each kUrl... value is written by DatabaseOperate::UrlList_get once, at start-up, before any
// other code runs that reads one; after that nothing writes them, so readers on any thread read
// them without a lock. Until then they are null.

// The built-in host of each kind of server, the one place where they are named. The built-in
// values of the URL table are formed from these.
namespace ServerHosts {
inline constexpr auto kNewsApi = "api.tidwen.example";              // news, article, search, comment and score services
inline constexpr auto kCommunityApi = "api.community.tidwen.example";  // community posts, replies and votes
inline constexpr auto kCommunityWeb = "community.tidwen.example";   // community web pages
inline constexpr auto kMainWeb = "www.tidwen.example";              // the main web site
inline constexpr auto kMobileWeb = "m.tidwen.example";              // the mobile web site
inline constexpr auto kDownloadSite = "download.tidwen.example";    // the mobile app download page
inline constexpr auto kCommentService = "comment.tidwen.example";   // comment lists and posting, hit counter
inline constexpr auto kNewsImage = "img.tidwen.example";            // uploaded news images
inline constexpr auto kDealsPicture = "img.zefup.tidwen.example";   // pictures of deals items
inline constexpr auto kDealsApi = "api.zefup.tidwen.example";       // the deals channel
inline constexpr auto kAccountService = "account.tidwen.example";   // login, user information, tasks, sync files
inline constexpr auto kPushService = "push.tidwen.example";         // push-device registration
inline constexpr auto kReport = "report.tidwen.example";            // the own ad report
inline constexpr auto kDataFile = "data.tidwen.example";            // remote configuration and medal files
inline constexpr auto kFeedback = "feedback.tidwen.example";        // the feedback service
inline constexpr auto kIpLookup = "ip.tidwen.example";              // the client IP lookup page
}  // namespace ServerHosts

extern QString kUrlCommentReplyCount;  // u1: comment-reply count
extern QString kUrlVundReplyCount;  // u2: community reply count; the comment-reply reminder posts to it
extern QString kUrlPushSaveDevice;  // u3: push-device registration
extern QString kUrlFeedback;  // u4: feedback (suggestion) submission
extern QString kUrlCommentVote;  // u5: comment support vote
extern QString kUrlCancelCommentVote;  // u6: cancel a comment vote
extern QString kUrlComplainComment;  // u7: comment complaint
extern QString kUrlWwwHost;  // u10: main web host name
extern QString kUrlWapHost;  // u11: mobile web host name
extern QString kUrlProductPictures;  // u12: base of deals item pictures
extern QString kUrlToastComment;  // u13: toast-comment JSON
extern QString kUrlLastComment;  // u14: current user's last comment (XML)
extern QString kUrlIpLookup;  // u15: client IP lookup page
extern QString kUrlNewsListXml;  // u16: main news list XML
extern QString kUrlNewsListMorePrefix;  // u17: prefix of the main list's paging files
extern QString kUrlIosListXml;  // u18: list XML "ios.xml"
extern QString kUrlIosListMorePrefix;  // u19: prefix of the "ios_" paging files
extern QString kUrlRankListXml;  // u20: ranking list XML
extern QString kUrlNewsContent;  // u21: article XML base
extern QString kUrlRss;  // u22: fallback article base; replacement base of the list 404 fallback
extern QString kUrlCommentList;  // u23: comment list JSON base (comment order 1)
extern QString kUrlCommentLatest;  // u24: comment list JSON base (the other order)
extern QString kUrlHotCommentList;  // u25: hot comments of an article
extern QString kUrlTags;  // u26: related-news JSON base
extern QString kUrlZefupIndexList;  // u36: deals channel list "all"
extern QString kUrlZefupFocus;  // u37: deals channel top slides
extern QString kUrlZefupTag;  // u38: deals list of one category
extern QString kUrlZefupDetail;  // u39: deals item detail
extern QString kUrlWwwHtmlBase;  // u40: base of in-site article links (main site)
extern QString kUrlWapHtmlBase;  // u41: base of in-site article links (mobile site)
extern QString kUrlSiteHome;  // u42: site root
extern QString kUrlAppDownload;  // u43: mobile app download page
extern QString kUrlPostComment;  // u46: comment and reply submission
extern QString kUrlUsersF;  // u47: account API "F"
extern QString kUrlUserComment;  // u48: user comments JSON
extern QString kUrlCommentContent;  // u49: single comment thread JSON
extern QString kUrlNewsGradeGet;  // u52: article score query
extern QString kUrlNewsGradeCreate;  // u53: article score submission
extern QString kUrlZefupDouZaiMai;  // u54: deals list under articles and deal pages
extern QString kUrlCommentCount;  // u55: comment count of an article
extern QString kUrlHitCount;  // u56: article hit counter
extern QString kUrlVoteXml;  // u57: vote XML base
extern QString kUrlPostVote;  // u58: vote submission
extern QString kUrlRemoteConfigHttp;  // u59: remote configuration file (plain http fallback)
extern QString kUrlOwnAdReport;  // u60: own ad report
extern QString kUrlVundCategory;  // u61: community circle list and sub-categories
extern QString kUrlAlipayTradeNo;  // u66: payment trade number (Alipay)
extern QString kUrlAlipayNotify;  // u67: payment notification (Alipay)
extern QString kUrlWeixinNotify;  // u68: payment notification (WeChat)
extern QString kUrlNewsSearch;  // u71: news search XML base
extern QString kUrlZefupSearch;  // u72: deals search
extern QString kUrlNewsUploadFiles;  // u73: news image upload folder
extern QString kUrlAppDeviceGet;  // u74: app device query
extern QString kUrlMedalXml;  // u75: user medal XML
extern QString kUrlNewsListBase;  // u76: news list base (404 fallback)
extern QString kUrlUserTail;  // u77: device tail
extern QString kUrlUserLogin;  // u78: login step 1
extern QString kUrlUserInfo;  // u79: login step 2 (user information)
extern QString kUrlTaskInfo;  // u80: gold-coin task information
extern QString kUrlSyncFileVer;  // u81: favourites sync: file version
extern QString kUrlGetUserFile;  // u82: favourites sync: download
extern QString kUrlUserFileUpload;  // u83: favourites sync: upload
extern QString kUrlDoTask;  // u84: gold-coin task completion
extern QString kUrlUserPC;  // u85: account API "PC"
extern QString kUrlModifyUserInfo;  // u86: user information change page
extern QString kUrlRegisterPage;  // u87: registration page (opened in the browser)
extern QString kUrlForgetPasswordPage;  // u88: forgotten-password page (opened in the browser)
extern QString kUrlForgetPassword;  // u89: forgotten-password page, no extension
extern QString kUrlAccountHome;  // u90: account service root
extern QString kUrlSendSms;  // u92: SMS verification code request
extern QString kUrlVerifyMobile;  // u93: SMS code verification and phone binding
extern QString kUrlVerifyAppDevice;  // u94: device verification
extern QString kUrlIsBind;  // u95: account binding check
extern QString kUrlAvatarUpload;  // u96: avatar upload
extern QString kUrlOpenPlatformCallback;  // u97: open-platform login callback
extern QString kUrlRemoteConfig;  // u99: remote configuration file (https)
extern QString kUrlModifyPassword;  // u100: password change

// The keys "u1" ... "u100" of the table UrlList1 and their built-in values. 23 keys are stored
// and updated but have no global.
namespace ServerUrls {

inline constexpr int kKeyCount = 100;

// "u" and the number, 1 ... kKeyCount.
QString keyName(int number);
// The number of key name ("u7" gives 7); 0 for a name that is not one of the keys.
int keyNumber(const QString& name);
// The built-in value of key u<number>: scheme, host and path, or a bare host name for u9 to u11.
QString builtInValue(int number);
// The global the key loads into, or nullptr for a key that is only stored.
QString* global(int number);

// The web address of a page of the main web site that the service names by a link: the site root
// (kUrlSiteHome) followed by the link when it is a path, as the news feeds give an article's
// `link`; a link that already is a whole web address is kept as it is. Anything else names no page
// on the site and is kept as it is too.
QString siteAddress(const QString& link);

}  // namespace ServerUrls
