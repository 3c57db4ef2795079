#include "platform/wildcard_pattern.h"

#include <QString>
#include <algorithm>
#include <cstring>

namespace platform {

namespace {

bool isAscii(QByteArrayView bytes)
{
    // one OR over all bytes, which the compiler turns into vector code, not a branch per byte
    unsigned char all = 0;
    for (const char byte : bytes)
        all |= static_cast<unsigned char>(byte);
    return all < 0x80;
}

char foldAscii(char byte)
{
    return byte >= 'A' && byte <= 'Z' ? char(byte - 'A' + 'a') : byte;
}

QList<uint> decodeFolded(QByteArrayView bytes)
{
    return QString::fromLocal8Bit(bytes).toCaseFolded().toUcs4();
}

// Iterative match that backtracks only to the latest "*": linear for the usual patterns.
template<typename Char, typename Fold>
bool wildcardMatch(const Char *pattern, qsizetype patternLength, const Char *name,
                   qsizetype nameLength, Fold fold)
{
    qsizetype p = 0;
    qsizetype n = 0;
    qsizetype afterStar = -1;
    qsizetype starMatchedUpTo = 0;
    while (n < nameLength) {
        if (p < patternLength && pattern[p] == Char('*')) {
            afterStar = ++p;
            starMatchedUpTo = n;
        } else if (p < patternLength && (pattern[p] == Char('?') || pattern[p] == fold(name[n]))) {
            ++p;
            ++n;
        } else if (afterStar >= 0) {
            p = afterStar;
            n = ++starMatchedUpTo;
        } else {
            return false;
        }
    }
    while (p < patternLength && pattern[p] == Char('*'))
        ++p;
    return p == patternLength;
}

// Whether the ASCII name holds the folded text anywhere, compared afresh at each place where its
// first character is found: plain, and quick for texts as short as the ".asm" of a type.
bool holdsFolded(QByteArrayView name, QByteArrayView folded)
{
    const char first = folded.front();
    // a first character without case, such as the dot of a type, is found by memchr
    const bool firstHasCase = first >= 'a' && first <= 'z';
    const qsizetype lastStart = name.size() - folded.size();
    for (qsizetype start = 0; start <= lastStart; ++start) {
        if (!firstHasCase) {
            const void *found =
                std::memchr(name.data() + start, first, size_t(lastStart - start + 1));
            if (!found)
                return false;
            start = static_cast<const char *>(found) - name.data();
        } else if (foldAscii(name[start]) != first) {
            continue;
        }
        qsizetype i = 1;
        while (i < folded.size() && foldAscii(name[start + i]) == folded[i])
            ++i;
        if (i == folded.size())
            return true;
    }
    return false;
}

} // namespace

WildcardPattern::WildcardPattern(const QByteArray &pattern)
    : m_pattern(pattern)
    , m_matchesEverything(pattern == "*")
    , m_patternIsAscii(isAscii(pattern))
    , m_foldedPattern(decodeFolded(pattern))
{
    std::transform(m_pattern.begin(), m_pattern.end(), m_pattern.begin(), foldAscii);
    if (m_patternIsAscii && m_pattern.size() > 2 && m_pattern.startsWith('*') &&
        m_pattern.endsWith('*')) {
        const QByteArrayView inside = QByteArrayView(m_pattern).sliced(1, m_pattern.size() - 2);
        if (!inside.contains('*') && !inside.contains('?'))
            m_inside = inside.toByteArray();
    }
}

bool WildcardPattern::matches(QByteArrayView name) const
{
    if (m_matchesEverything)
        return true;
    if (m_patternIsAscii && isAscii(name)) {
        if (!m_inside.isEmpty())
            return holdsFolded(name, m_inside);
        return wildcardMatch(m_pattern.constData(), m_pattern.size(), name.data(), name.size(),
                             foldAscii);
    }
    // "?" stands for one character, not one byte, and case folding goes beyond ASCII here
    const QList<uint> foldedName = decodeFolded(name);
    return wildcardMatch(m_foldedPattern.constData(), m_foldedPattern.size(),
                         foldedName.constData(), foldedName.size(), [](uint c) { return c; });
}

} // namespace platform
