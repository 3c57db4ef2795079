#pragma once

#include "platform/user_folders.h"

#include <QString>

// The settings file: spurwerk/spurwerk.conf in the user's configuration folder.
inline QString settingsFilePath()
{
    return platform::configHome() + QStringLiteral("/spurwerk/spurwerk.conf");
}

// Larger than any settings file the program writes (ten megabytes of notes make eleven) by far,
// and small enough to be read in a moment: a larger file is refused unread.
constexpr qint64 largestSettingsFile = 128 * 1024 * 1024;
