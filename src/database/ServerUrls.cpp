#include "database/ServerUrls.h"

#include <QHash>

#include <array>

QString kUrlCommentReplyCount;
QString kUrlVundReplyCount;
QString kUrlPushSaveDevice;
QString kUrlFeedback;
QString kUrlCommentVote;
QString kUrlCancelCommentVote;
QString kUrlComplainComment;
QString kUrlWwwHost;
QString kUrlWapHost;
QString kUrlProductPictures;
QString kUrlToastComment;
QString kUrlLastComment;
QString kUrlIpLookup;
QString kUrlNewsListXml;
QString kUrlNewsListMorePrefix;
QString kUrlIosListXml;
QString kUrlIosListMorePrefix;
QString kUrlRankListXml;
QString kUrlNewsContent;
QString kUrlRss;
QString kUrlCommentList;
QString kUrlCommentLatest;
QString kUrlHotCommentList;
QString kUrlTags;
QString kUrlZefupIndexList;
QString kUrlZefupFocus;
QString kUrlZefupTag;
QString kUrlZefupDetail;
QString kUrlWwwHtmlBase;
QString kUrlWapHtmlBase;
QString kUrlSiteHome;
QString kUrlAppDownload;
QString kUrlPostComment;
QString kUrlUsersF;
QString kUrlUserComment;
QString kUrlCommentContent;
QString kUrlNewsGradeGet;
QString kUrlNewsGradeCreate;
QString kUrlZefupDouZaiMai;
QString kUrlCommentCount;
QString kUrlHitCount;
QString kUrlVoteXml;
QString kUrlPostVote;
QString kUrlRemoteConfigHttp;
QString kUrlOwnAdReport;
QString kUrlVundCategory;
QString kUrlAlipayTradeNo;
QString kUrlAlipayNotify;
QString kUrlWeixinNotify;
QString kUrlNewsSearch;
QString kUrlZefupSearch;
QString kUrlNewsUploadFiles;
QString kUrlAppDeviceGet;
QString kUrlMedalXml;
QString kUrlNewsListBase;
QString kUrlUserTail;
QString kUrlUserLogin;
QString kUrlUserInfo;
QString kUrlTaskInfo;
QString kUrlSyncFileVer;
QString kUrlGetUserFile;
QString kUrlUserFileUpload;
QString kUrlDoTask;
QString kUrlUserPC;
QString kUrlModifyUserInfo;
QString kUrlRegisterPage;
QString kUrlForgetPasswordPage;
QString kUrlForgetPassword;
QString kUrlAccountHome;
QString kUrlSendSms;
QString kUrlVerifyMobile;
QString kUrlVerifyAppDevice;
QString kUrlIsBind;
QString kUrlAvatarUpload;
QString kUrlOpenPlatformCallback;
QString kUrlRemoteConfig;
QString kUrlModifyPassword;

namespace {

struct KeyRow
{
    QString* global;     // nullptr: stored only
    const char* scheme;  // nullptr: the value is the bare host name
    const char* host;
    const char* path;    // what follows the host
};

// Row i is key u(i+1).
const std::array<KeyRow, ServerUrls::kKeyCount> kRows = {{
    {&kUrlCommentReplyCount, "http", ServerHosts::kNewsApi, "/api/comment.asmx/GetReplyCount"},  // u1
    {&kUrlVundReplyCount, "http", ServerHosts::kCommunityApi, "/s/reply.asmx/GetReplyCount"},  // u2
    {&kUrlPushSaveDevice, "http", ServerHosts::kPushService, "/push/push.asmx/SaveIosDevice"},  // u3
    {&kUrlFeedback, "http", ServerHosts::kFeedback, "/fankui/fankui.asmx/SaveSuggestion"},  // u4
    {&kUrlCommentVote, "http", ServerHosts::kNewsApi, "/api/comment.asmx/CommentVote"},  // u5
    {&kUrlCancelCommentVote, "http", ServerHosts::kNewsApi, "/api/comment.asmx/CancelCommentVote"},  // u6
    {&kUrlComplainComment, "http", ServerHosts::kMainWeb, "/tidwen/tidwen.asmx/ComplainComment"},  // u7
    {nullptr, "http", ServerHosts::kCommunityApi, "/s/reply.asmx/ReplyComplain"},  // u8
    {nullptr, nullptr, ServerHosts::kCommunityWeb, ""},  // u9
    {&kUrlWwwHost, nullptr, ServerHosts::kMainWeb, ""},  // u10
    {&kUrlWapHost, nullptr, ServerHosts::kMobileWeb, ""},  // u11
    {&kUrlProductPictures, "http", ServerHosts::kDealsPicture, "/productpictures"},  // u12
    {&kUrlToastComment, "http", ServerHosts::kNewsApi, "/json/toastcomment"},  // u13
    {&kUrlLastComment, "http", ServerHosts::kMainWeb, "/tidwen/tidwen.asmx/GetLastComment"},  // u14
    {&kUrlIpLookup, "http", ServerHosts::kIpLookup, "/ip.aspx"},  // u15
    {&kUrlNewsListXml, "http", ServerHosts::kNewsApi, "/xml/newslist/news.xml"},  // u16
    {&kUrlNewsListMorePrefix, "http", ServerHosts::kNewsApi, "/xml/newslist/news_"},  // u17
    {&kUrlIosListXml, "http", ServerHosts::kNewsApi, "/xml/newslist/ios.xml"},  // u18
    {&kUrlIosListMorePrefix, "http", ServerHosts::kNewsApi, "/xml/newslist/ios_"},  // u19
    {&kUrlRankListXml, "http", ServerHosts::kNewsApi, "/xml/newslist/rank.xml"},  // u20
    {&kUrlNewsContent, "http", ServerHosts::kNewsApi, "/xml/newscontent"},  // u21
    {&kUrlRss, "http", ServerHosts::kNewsApi, "/rss"},  // u22
    {&kUrlCommentList, "https", ServerHosts::kCommentService, "/json/commentlist"},  // u23
    {&kUrlCommentLatest, "https", ServerHosts::kCommentService, "/json/commentlatest"},  // u24
    {&kUrlHotCommentList, "http", ServerHosts::kNewsApi, "/json/hotcommentlist"},  // u25
    {&kUrlTags, "http", ServerHosts::kNewsApi, "/json/tags"},  // u26
    {nullptr, "http", ServerHosts::kCommunityApi, "/api/post"},  // u27
    {nullptr, "http", ServerHosts::kCommunityApi, "/api/reply"},  // u28
    {nullptr, "http", ServerHosts::kCommunityApi, "/s/reply.asmx/ReplyVote"},  // u29
    {nullptr, "http", ServerHosts::kCommunityApi, "/s/reply.asmx/CancelReplyVote"},  // u30
    {nullptr, "http", ServerHosts::kCommunityApi, "/api/post/get"},  // u31
    {nullptr, "http", ServerHosts::kCommunityWeb, "/thread/hit"},  // u32
    {nullptr, "http", ServerHosts::kCommunityApi, "/s/reply.asmx/GetLastReply"},  // u33
    {nullptr, "http", ServerHosts::kCommunityApi, "/s/post.asmx/DP"},  // u34
    {nullptr, "http", ServerHosts::kCommunityApi, "/s/reply.asmx/DP"},  // u35
    {&kUrlZefupIndexList, "http", ServerHosts::kDealsApi, "/api/apps/indexlistsegbyid"},  // u36
    {&kUrlZefupFocus, "http", ServerHosts::kDealsApi, "/api/apps/focus"},  // u37
    {&kUrlZefupTag, "http", ServerHosts::kDealsApi, "/api/apps/tag"},  // u38
    {&kUrlZefupDetail, "http", ServerHosts::kDealsApi, "/api/apps/detail"},  // u39
    {&kUrlWwwHtmlBase, "http", ServerHosts::kMainWeb, "/html"},  // u40
    {&kUrlWapHtmlBase, "http", ServerHosts::kMobileWeb, "/html"},  // u41
    {&kUrlSiteHome, "http", ServerHosts::kMainWeb, ""},  // u42
    {&kUrlAppDownload, "http", ServerHosts::kDownloadSite, "/tidwen/download"},  // u43
    {nullptr, "http", ServerHosts::kCommunityWeb, "/wap"},  // u44
    {nullptr, "http", ServerHosts::kCommunityWeb, ""},  // u45
    {&kUrlPostComment, "https", ServerHosts::kCommentService, "/tidwen/postComment.aspx"},  // u46
    {&kUrlUsersF, "http", ServerHosts::kNewsApi, "/api/Users.asmx/F"},  // u47
    {&kUrlUserComment, "http", ServerHosts::kNewsApi, "/json/usercomment"},  // u48
    {&kUrlCommentContent, "http", ServerHosts::kNewsApi, "/json/commentcontent"},  // u49
    {nullptr, "http", ServerHosts::kCommunityApi, "/api/post/getuserpost"},  // u50
    {nullptr, "http", ServerHosts::kCommunityApi, "/api/reply/getuserreply"},  // u51
    {&kUrlNewsGradeGet, "http", ServerHosts::kNewsApi, "/api/newsgrade/get"},  // u52
    {&kUrlNewsGradeCreate, "http", ServerHosts::kNewsApi, "/api/newsgrade/create"},  // u53
    {&kUrlZefupDouZaiMai, "http", ServerHosts::kDealsApi, "/api/apps/douzaimai"},  // u54
    {&kUrlCommentCount, "http", ServerHosts::kNewsApi, "/api/comment.asmx/GetCommentCount"},  // u55
    {&kUrlHitCount, "https", ServerHosts::kCommentService, "/tidwen/hitcount.aspx"},  // u56
    {&kUrlVoteXml, "http", ServerHosts::kNewsApi, "/xml/vote"},  // u57
    {&kUrlPostVote, "http", ServerHosts::kNewsApi, "/api/vote.asmx/PostVote"},  // u58
    {&kUrlRemoteConfigHttp, "http", ServerHosts::kDataFile, "/tidwen/v2/mac.xml"},  // u59
    {&kUrlOwnAdReport, "http", ServerHosts::kReport, "/receive/tidwenads.aspx"},  // u60
    {&kUrlVundCategory, "http", ServerHosts::kCommunityApi, "/api/category"},  // u61
    {nullptr, "http", ServerHosts::kCommunityWeb, "/statics/ueditor/net/controller.ashx?action=uploadimage"},  // u62
    {nullptr, "http", ServerHosts::kCommunityApi, "/s/reply.asmx/Post"},  // u63
    {nullptr, "http", ServerHosts::kCommunityApi, "/api/post"},  // u64
    {nullptr, "http", ServerHosts::kCommunityApi, "/api/post/getsearch"},  // u65
    {&kUrlAlipayTradeNo, "http", ServerHosts::kNewsApi, "/api/alipay/tradeno"},  // u66
    {&kUrlAlipayNotify, "http", ServerHosts::kNewsApi, "/api/alipay/notify.aspx"},  // u67
    {&kUrlWeixinNotify, "http", ServerHosts::kNewsApi, "/api/weixin/notify.aspx"},  // u68
    {nullptr, "http", ServerHosts::kCommunityApi, "/s/post.asmx/ThreadPost"},  // u69
    {nullptr, "http", ServerHosts::kCommunityApi, "/api/reply/GetUserPostReply"},  // u70
    {&kUrlNewsSearch, "http", ServerHosts::kNewsApi, "/xml/search"},  // u71
    {&kUrlZefupSearch, "http", ServerHosts::kDealsApi, "/api/apps/search"},  // u72
    {&kUrlNewsUploadFiles, "http", ServerHosts::kNewsImage, "/newsuploadfiles/2"},  // u73
    {&kUrlAppDeviceGet, "http", ServerHosts::kNewsApi, "/api/appdevice/get"},  // u74
    {&kUrlMedalXml, "http", ServerHosts::kDataFile, "/quibex/medal.xml"},  // u75
    {&kUrlNewsListBase, "http", ServerHosts::kNewsApi, "/xml/newslist"},  // u76
    {&kUrlUserTail, "https", ServerHosts::kAccountService, "/api/user.asmx/Tail"},  // u77
    {&kUrlUserLogin, "https", ServerHosts::kAccountService, "/api/User.asmx/L"},  // u78
    {&kUrlUserInfo, "https", ServerHosts::kAccountService, "/api/User.asmx/G"},  // u79
    {&kUrlTaskInfo, "https", ServerHosts::kAccountService, "/api/task.asmx/GetTaskInfo"},  // u80
    {&kUrlSyncFileVer, "https", ServerHosts::kAccountService, "/olvenna/GetSyncFileVer.aspx"},  // u81
    {&kUrlGetUserFile, "https", ServerHosts::kAccountService, "/olvenna/GetUserFile.aspx"},  // u82
    {&kUrlUserFileUpload, "https", ServerHosts::kAccountService, "/olvenna/userfileupload.aspx"},  // u83
    {&kUrlDoTask, "https", ServerHosts::kAccountService, "/api/task.asmx/DoTask"},  // u84
    {&kUrlUserPC, "https", ServerHosts::kAccountService, "/api/user.asmx/PC"},  // u85
    {&kUrlModifyUserInfo, "https", ServerHosts::kAccountService, "/PostModifyUserInfo.aspx"},  // u86
    {&kUrlRegisterPage, "https", ServerHosts::kAccountService, "/?page=register"},  // u87
    {&kUrlForgetPasswordPage, "https", ServerHosts::kAccountService, "/m/forgetpassword.aspx"},  // u88
    {&kUrlForgetPassword, "https", ServerHosts::kAccountService, "/m/forgetpassword"},  // u89
    {&kUrlAccountHome, "https", ServerHosts::kAccountService, ""},  // u90
    {nullptr, "https", ServerHosts::kCommunityWeb, ""},  // u91
    {&kUrlSendSms, "https", ServerHosts::kAccountService, "/api/sms.asmx/SendSms"},  // u92
    {&kUrlVerifyMobile, "https", ServerHosts::kAccountService, "/api/sms.asmx/VerifyMobile"},  // u93
    {&kUrlVerifyAppDevice, "https", ServerHosts::kAccountService, "/api/sms.asmx/VerifyAppDevice"},  // u94
    {&kUrlIsBind, "https", ServerHosts::kAccountService, "/api/applogin.asmx/IsBind"},  // u95
    {&kUrlAvatarUpload, "https", ServerHosts::kAccountService, "/receive/avatar.aspx"},  // u96
    {&kUrlOpenPlatformCallback, "https", ServerHosts::kAccountService, "/openplat/app/callback.aspx"},  // u97
    {nullptr, "http", ServerHosts::kDealsApi, "/api/apps/channelfocus"},  // u98
    {&kUrlRemoteConfig, "https", ServerHosts::kDataFile, "/tidwen/v2/mac.xml"},  // u99
    {&kUrlModifyPassword, "https", ServerHosts::kAccountService, "/api/user.asmx/MP"},  // u100
}};

const KeyRow* rowOf(int number)
{
    if (number < 1 || number > ServerUrls::kKeyCount)
        return nullptr;
    return &kRows[std::size_t(number - 1)];
}

// Start-up sets every global from these texts: each is made once and then shared.
struct KeyTexts
{
    std::array<QString, ServerUrls::kKeyCount> names;
    std::array<QString, ServerUrls::kKeyCount> builtIn;
    QHash<QString, int> numbers;
};

const KeyTexts& keyTexts()
{
    static const KeyTexts texts = [] {
        KeyTexts made;
        made.numbers.reserve(ServerUrls::kKeyCount);
        for (int number = 1; number <= ServerUrls::kKeyCount; ++number) {
            const KeyRow& row = kRows[std::size_t(number - 1)];
            const std::size_t i = std::size_t(number - 1);
            made.names[i] = QStringLiteral("u%1").arg(number);
            made.builtIn[i] = row.scheme ? QLatin1String(row.scheme) + QStringLiteral("://") + QLatin1String(row.host) +
                                               QLatin1String(row.path)
                                         : QString(QLatin1String(row.host));
            made.numbers.insert(made.names[i], number);
        }
        return made;
    }();
    return texts;
}

}  // namespace

namespace ServerUrls {

QString keyName(int number)
{
    if (!rowOf(number))
        return QStringLiteral("u%1").arg(number);
    return keyTexts().names[std::size_t(number - 1)];
}

int keyNumber(const QString& name)
{
    return keyTexts().numbers.value(name, 0);
}

QString builtInValue(int number)
{
    if (!rowOf(number))
        return {};
    return keyTexts().builtIn[std::size_t(number - 1)];
}

QString* global(int number)
{
    const KeyRow* row = rowOf(number);
    return row ? row->global : nullptr;
}

QString siteAddress(const QString& link)
{
    if (!link.startsWith(QLatin1Char('/')) || link.startsWith(QStringLiteral("//")))
        return link;
    return kUrlSiteHome + link;
}

}  // namespace ServerUrls
