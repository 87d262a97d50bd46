#pragma once

#include <QColor>
#include <QString>

// The colours and tags a news row or ad row shows for its item's state, decided without widgets.
namespace NewsRowStyle {

inline const QColor kTitleNormal{25, 25, 25};
inline const QColor kTitleFlagged{210, 34, 34};
inline const QColor kTitleRead{118, 118, 118};
inline const QColor kNote{170, 170, 170};
inline const QColor kVoteTag{142, 193, 75};
inline const QColor kVideoTag{248, 164, 30};
inline const QColor kPinnedTag{255, 101, 26};
inline const QColor kSeparator{225, 225, 225};

// Read colours only for an item that is read and not selected; else flagged or normal.
QColor newsTitleColor(bool hasItem, bool isHaveRead, bool isSelected, const QString& titlecolor);
QColor adTitleColor(bool isHaveRead);
// A row that is both a video and a vote shows neither tag.
inline bool showsVideoTag(bool isShiPin, bool isTouPiao) { return isShiPin && !isTouPiao; }
inline bool showsVoteTag(bool isShiPin, bool isTouPiao) { return isTouPiao && !isShiPin; }
// 50 for a month-and-day text ("月"), else 30.
int dateWidth(const QString& dateText);
// Text and border colour of an ad's type tag.
QColor adTypeColor(const QString& adType);
// The background picture of a row.
inline QString backgroundImage(bool isSelected) { return isSelected ? QStringLiteral("CellSelectedBg") : QStringLiteral("CellNOSelectedBg"); }

}  // namespace NewsRowStyle
