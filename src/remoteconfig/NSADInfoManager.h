#pragma once

#include "remoteconfig/RemoteConfig.h"

#include <QByteArray>
#include <QString>

#include <memory>

class AFHTTPSessionManager;
class NSListADInfoManager;

// The remote configuration: a DES-enciphered XML file on the data server, fetched over https
// (u99) and, when that fails, over plain http (u59). A download is kept as the cache file only
// when it deciphers and parses, so a garbled body never replaces a good cache. The http copy is
// applied without its server URL table and channel list, which only the https copy may change:
// anyone on a plain-http path could otherwise redirect every later request.
//
// Main thread only.
class NSADInfoManager
{
public:
    static NSADInfoManager& getInstance();
    explicit NSADInfoManager(NSListADInfoManager* listAds = nullptr);
    ~NSADInfoManager();
    NSADInfoManager(const NSADInfoManager&) = delete;
    NSADInfoManager& operator=(const NSADInfoManager&) = delete;

    // Unless a download is running: applies the cache file when nothing was applied yet; then,
    // when its refresh stamp (201) is due or nothing could be applied, sends a HEAD for the https
    // file and a GET when its "Last-Modified" differs from the stored one. After each apply the
    // list-ad manager loads its ads (reloadListAD).
    void reloadADInfo();
    // The first half of reloadADInfo alone: the cached configuration, when nothing is loaded yet.
    void applyCachedConfiguration();
    // Removes the cached ad images that belong to no configured ad (only while the clean-up
    // switch gbAdImageCleanEnabled is on).
    void clearDisk();

    // Deciphers a downloaded file (key "mezobK%)"), trailing zero bytes cut.
    static QByteArray DecypteData(const QByteArray& data);
    // Applies a parsed configuration; trusted is false for the plain-http copy.
    void getADDataFrom(const RemoteConfig& config, bool trusted);

    // A downloaded file: deciphered and parsed; a good https copy becomes the cache file with its
    // "Last-Modified", then the file is applied. False (nothing kept or applied) for a garbled file.
    bool takeDownload(const QByteArray& body, const QString& lastModified, bool trusted);

    bool isDownloading() const { return m_downloading; }
    bool hasApplied() const { return m_applied; }

    // Documents/tmp/ADInfo (a file standing in its place is removed), its cache file and its ad
    // image folder.
    static QString adInfoFolder();
    static QString cacheFilePath();
    static QString adImageFolder();
    // The cached image file name of an ad picture: MD5 of its address with ".png".
    static QString adImageFileName(const QString& imageUrl);

private:
    void applyCacheFile();
    void downloadHttps();
    void downloadHttp();
    // Reports a configuration download to gConfigReportUrl (while gbConfigReportOn is on).
    void postConfigReport(const QString& version);
    void finish();

    NSListADInfoManager* m_listAds;
    bool m_downloading = false;
    bool m_applied = false;
    std::shared_ptr<AFHTTPSessionManager> m_session;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
