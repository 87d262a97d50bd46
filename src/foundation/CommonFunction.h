#pragma once

#include "foundation/AlertPresenter.h"
#include "foundation/EncryptionKeys.h"
#include "foundation/models/NSMyUserInfo.h"

#include <QByteArray>
#include <QDateTime>
#include <QFont>
#include <QMap>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <memory>
#include <optional>

class QWidget;

// Utility functions every subsystem calls. Only class-level functions; never instantiated.
// Each group lives in its own CommonFunction_<group>.cpp.
class CommonFunction
{
public:
    CommonFunction() = delete;

    // ---- Parameter encryption, MD5 and the deals signature (CommonFunction_Encryption.cpp) ----
    // Texts are zero-padded to whole 8-byte blocks, enciphered with single DES in ECB mode and
    // written as lower-case hex. Every call uses its own cipher state: safe from any thread.

    // Hex of the enciphered UTF-8 bytes (up to the first zero byte); "" for a null or empty text.
    static QString EncrypteUTF8(const QString& text, const DesKey& key);
    // The same over the GB 18030 bytes; used for search words and the city name.
    static QString EncrypteGB2312(const QString& text, const DesKey& key);
    // The text of a hex ciphertext: "" when the hex is null, empty, not a multiple of 16
    // characters long or holds a non-hex character; null when the deciphered bytes (up to the
    // first zero byte) are not valid UTF-8.
    static QString DecypteUTF8(const QString& hex, const DesKey& key);
    // Deciphers raw bytes; returns as many bytes as were given (a trailing partial block is
    // deciphered over zero fill and carries no meaning). Empty for empty input.
    static QByteArray DecypteData(const QByteArray& data, const DesKey& key);
    // The byte written by the first two characters as hex digits into *out. Digits above 9 may
    // be upper or lower case; any other character counts as its code minus 87.
    // Nothing is written when out is null or the text is shorter than two characters.
    static void changeString0XCode(const QString& twoChars, uint8_t* out);

    // MD5 of the UTF-8 bytes as 32 lower-case / upper-case hex digits.
    static QString md5(const QString& text);
    static QString md5HexDigest(const QString& text);
    // Signature of a deals request sent with this timestamp (seconds since 1970).
    static QString getHotProductSignature(double timestamp);

    // ---- System, device, network, times and text utilities (CommonFunction_System.cpp, _Device,
    // _Network, _Time and _Text.cpp) ----
    // Device facts come from DeviceFacts::instance(), the connection state from
    // NetworkStateSource::instance(); "now" and the local zone from Clock.

    // The operating-system version read as a decimal number: "10.11.6" gives 10.11.
    static float getSystemVersion();
    // getSystemVersion() is 10.11 or more, compared in single precision.
    static bool isEICapitanLater();
    // The system font of that size, light when the thin font is chosen (10.11 and later only).
    static QFont fontWithSize(float size);
    // The bold system font of that size; the regular one when the thin font is chosen.
    static QFont boldFontWithSize(float size);
    // A window-modal information box "提示" with the informative text and one button; returns at
    // once and does nothing when dismissed. Without a window it stands on its own. It is shown by
    // the installed AlertPresenter; before one is installed the texts are only logged.
    static void alert(const QString& buttonTitle, const QString& informative, QWidget* window);
    // Installs the presenter of alert() (null: log only) and returns the one installed before.
    static std::shared_ptr<AlertPresenter> setAlertPresenter(std::shared_ptr<AlertPresenter> presenter);
    // Backups have no exclusion mark here: true exactly when something exists at the file URL.
    static bool addSkipBackupAttributeToItemAtURL(const QUrl& url);

    // A new random UUID, 36 lower-case characters.
    static QString getUUID();
    // The hardware address "%02X:...:%02X" of en0, else of the first other interface (by name,
    // loopback skipped) with a non-zero six-byte address; "" when there is none.
    static QString getMacAddress();
    static QString getMacDeviceName();
    static QString getDeviceVersionStr();
    // Not memory: the size in GiB of the file system that holds /var, "%.1f", which the launch
    // report and the comment post send under this name; "-0.0" when it cannot be read.
    static QString getDeviceRamSize();
    // Uniform in 0 ... 2^31-1.
    static int32_t getRandom();

    // A fresh probe: true when the internet can be reached by any route.
    static bool checkNetworkState();
    // The cached connection type: -1 until the first status arrives (monitoring is started by
    // each call until then), afterwards 0 (none), 3 (cellular) or 5 (Wi-Fi).
    static int32_t getNetType();
    // "name/ipv4" and "name/ipv6" of every interface that is up to its (last) address; nothing
    // when there is none.
    static std::optional<QMap<QString, QString>> getIPAddresses();
    // The first address of utun0, en0, pdp_ip0 (the preferred family first); "0.0.0.0" when none.
    static QString getIPAddress(bool preferIPv4);
    // The machine's public address from the first echo page, else the second (PublicAddressPages);
    // "" when neither gives a 2xx reply holding an IPv4 or IPv6 address. Blocks the calling thread.
    static QString getCurrentIP();

    // Time texts: Beijing time is UTC+8 whatever the local zone. A null date gives a null text.
    static QString BJZoneDateTimeStringFromDate(const QDateTime& date);   // "yyyy-MM-dd HH:mm:ss"
    static QString BJZoneDateStringFromDate(const QDateTime& date);       // "yyyy-MM-dd"
    static QString localDateTimeStringFromDate(const QDateTime& date);    // "yyyy-MM-dd HH:mm:ss"
    static QString LocalDateStringFromDate(const QDateTime& date);        // "yyyy-MM-dd"
    // "yyyy-MM-dd HH:mm:ss" (one-digit fields accepted) read in the local zone; null when it does
    // not parse.
    static QDateTime dateFromLocalDateTimeString(const QString& text);
    // The same read as Beijing time; a null or empty text gives the current moment.
    static QDateTime dateFromCSTDateTimeString(const QString& text);
    // A Beijing-time text as a local-time text; null or "" come back unchanged, null when it does
    // not parse.
    static QString TransformCSTTimeZoneStrToLocalTimeZoneStr(const QString& text);
    // "yyyy-MM-dd HH:mm:ss" to "yyyy-MM-dd HH:mm"; "" for a null or empty text, null when it does
    // not parse.
    static QString YMDHMDateStringFromYMDHMSDateString(const QString& text);
    // The one "/Date(ms)/" of the text as a local "yyyy-MM-dd HH:mm:ss"; "" otherwise.
    static QString dateTimeStringFromJsonDateStr(const QString& text);
    // The same "/Date(ms)/" as a local "MM/dd HH:mm".
    static QString DateStringFromDate(const QString& jsonDate);
    // The list label of a local-time text: "HH:mm" today, "昨日HH:mm" on the previous day of
    // the same month, else "M月d日"; "" for a null or unreadable text or a time after now.
    static QString intervalSinceNow(const QString& text);

    // The whole text is one 32-bit integer / one floating-point number, white space around it
    // allowed.
    static bool isPureInt(const QString& text);
    static bool isPureDouble(const QString& text);
    // Percent-encodes (UTF-8) every character not allowed in a URL fragment.
    static QString urlString(const QString& text);
    // Decodes escape() output: "%uXXXX" and "%XX"; an incomplete or non-hex escape and any other
    // character stay as they are; the result ends before the first zero unit.
    static QString unescape(const QString& text);
    // The value of a hexadecimal digit string (any other character counts as its upper-cased code
    // minus 55); 0 for null or empty, saturated to the 64-bit range.
    static int64_t hex2dec(const char* text);

    // ---- Account reply parser and avatar addresses (CommonFunction_Account.cpp) ----

    // The profile in an account-service user reply, enveloped (root, "soap:Body", "GResponse",
    // "GResult") or plain (fields under the root), with the level rule applied and today's hours
    // of the first two products kept within 0 to 2. A null reply gives the bare defaults; a reply
    // that does not parse gives the defaults with the level rule applied (user id 99999).
    static NSMyUserInfoPtr parseXML(const QByteArray& data);
    // Documents/lastUserInfo/info.xml, the last user reply; the folder is created first.
    static QString getLastUserInfoPath();
    // The avatar server used unless the remote configuration names another (gAvatarHost).
    static constexpr const char* kBuiltInAvatarHost = "avatar.tidwen.example";
    // The 60-pixel and the large avatar URL of a user id; a null id counts as "".
    static QString GetAvatarAddress(const QString& userId);
    static QString GetBigAvatarAddress(const QString& userId);
    // The style class of a comment's device mark for its client code.
    static QString htmlDeviceClass(int32_t clientCode);
    // The device label shown with a comment: the comment's own device text, or for some client
    // codes a fixed label (always for 6, only in place of a null or empty text for 12, 14, 15, 21-23).
    static QString htmlDeviceName(int32_t clientCode, const QString& currentName);

    // ---- Web-file refresh stamps (CommonFunction_WebFileStamps.cpp) ----
    // A downloaded file kind (WebFileType, or a channel's tag) is fetched again 180 s after its
    // last download. The stamps live in the content database (WebFileStampStore); each call
    // takes that store's lock itself, so callers must not hold it. Type 0 is one stamp shared by
    // every channel without a map row (the hot comments, 153, among them); a negative type has no
    // stamp: nothing is stored for it and it is always due.

    // The moment of the last download, read as local time; null when none is stored.
    static QDateTime getWebFileLastUpdateTime(int64_t type);
    // Stamps the type with the current moment.
    static void saveWebFileLastUpdateTime(int64_t type);
    // The type of a news channel's list; 0 when the channel has none.
    static int64_t getWebFileLastUpdateTimeTypeByListType(int64_t listId);
    // True without a stamp, with one 180 s old or older, or with one more than a minute ahead
    // of the clock (the clock was set back).
    static bool needReloadWebFile(int64_t type);
};
