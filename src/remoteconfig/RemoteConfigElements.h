#pragma once

// The element and attribute names of the remote configuration file, all in one place. Each value is
// looked up as the first element of that name anywhere in the document ("//name").
namespace RemoteConfigElements {

inline constexpr auto kAvatarHost = "avd";                // text: host of the avatar server
inline constexpr auto kRelatedCount = "rcount";           // attribute kRelatedCountAttr: related-news rows
inline constexpr auto kRelatedCountAttr = "o2";
inline constexpr auto kNewsScore = "newscore";            // text: full article score
inline constexpr auto kScoreCount = "scorecount";         // text: fewest raters that show the score
inline constexpr auto kApiRandom = "apirandom";           // text "yes": "?r=" on article requests
inline constexpr auto kOwnAdReport = "ownadreport";       // text "yes": own list-ad reports
inline constexpr auto kCoinShopVersion = "coinshop";      // text: the coin shop version
inline constexpr auto kZefupHitReport = "zefuphit";       // text "yes": the deal page's hit report
inline constexpr auto kConfigReport = "cfgreport";        // text "yes": report of the configuration download
inline constexpr auto kConfigReportUrl = "cfgreporturl";  // text: target of that report
inline constexpr auto kLoadAllData = "loadall";           // text "yes": sets the load-all switch
inline constexpr auto kDealCategories = "zqcategory";     // text "a|b|c": the deal categories

// Server URL table: attribute "v" is the version, the "u" children the values of u1, u2, ...
inline constexpr auto kUrlList = "us";
inline constexpr auto kUrlListItem = "u";
inline constexpr auto kVersionAttr = "v";
// Channel list: attribute "v" is the version, one "cg" child per channel.
inline constexpr auto kChannelList = "cgs";
inline constexpr auto kChannel = "cg";
inline constexpr auto kChannelName = "n";
inline constexpr auto kChannelId = "id";
inline constexpr auto kChannelShown = "s";
inline constexpr auto kChannelListUrl = "lu";
inline constexpr auto kChannelSlideUrl = "su";
// The hot-comments channel: exactly one element keeps it (attributes "n" and "lu").
inline constexpr auto kHotCommentChannel = "srp";

// The configuration's version: attribute "v" of the root element.
inline constexpr auto kConfigVersionAttr = "v";

// List ads: attribute "u" names the list-ad request's address; one "slot" per slot (attributes
// "sp" start and "ep" end position). The ads themselves come from the list-ad request, whose
// reply gives each ad the keys below ("w" weight, "url" target, "img" picture, "title", "t" label).
inline constexpr auto kListAds = "listad";
inline constexpr auto kListAdRequestUrl = "u";
inline constexpr auto kListAdSlot = "slot";
inline constexpr auto kListAdSlotStart = "sp";
inline constexpr auto kListAdSlotEnd = "ep";
inline constexpr auto kListAdWeight = "w";
inline constexpr auto kListAdUrl = "url";
inline constexpr auto kListAdImage = "img";
inline constexpr auto kListAdTitle = "title";
inline constexpr auto kListAdLabel = "t";

}  // namespace RemoteConfigElements
