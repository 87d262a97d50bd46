#pragma once

#include "foundation/models/RecordDefaults.h"
#include "platform/Clock.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <memory>

// The account that favourites saved while nobody is logged in belong to.
inline constexpr auto kFavriteNoUserAccount = "n_o_u_s_e_r";

// One favourite article: one row of the favourites table.
struct Favrite_Data
{
    int64_t favriteDataTag = 0;            // row id
    QString newsID = emptyText();
    QString newsTitle = emptyText();
    QDateTime favritetime = Clock::now();  // when the favourite was added
    QString userAccount = emptyText();     // "n_o_u_s_e_r" for favourites saved while nobody is logged in
};

using Favrite_DataPtr = std::shared_ptr<Favrite_Data>;
