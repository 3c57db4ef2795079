#pragma once

#include <QtGlobal>

// How paths are spelled: "\" with drive prefixes on Windows, "/" without them elsewhere.
enum class PathSyntax
{
    Windows,
    Posix
};

#ifdef Q_OS_WIN
inline constexpr PathSyntax nativePathSyntax = PathSyntax::Windows;
#else
inline constexpr PathSyntax nativePathSyntax = PathSyntax::Posix;
#endif

constexpr char pathSeparator(PathSyntax syntax = nativePathSyntax)
{
    return syntax == PathSyntax::Windows ? '\\' : '/';
}
