#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

namespace platform {

// A directory-listing pattern: "*" matches any run of characters, "?" exactly one, and letters
// match without regard to case. Names and pattern are bytes in the local 8-bit encoding.
class WildcardPattern
{
public:
    explicit WildcardPattern(const QByteArray &pattern);

    bool matches(QByteArrayView name) const;
    // Of a pattern "*text*" with text in ASCII, the text with its letters in lower case, else
    // empty: an ASCII name matches when it holds the text in either case; a name beyond ASCII
    // is folded by characters, and may match although it does not hold it.
    QByteArray foldedInside() const { return m_inside; }

private:
    QByteArray m_pattern; // ASCII letters folded to lower case
    bool m_matchesEverything = false;
    // the folded text between the stars of a pattern "*text*" (the criteria's form), else empty
    QByteArray m_inside;
    bool m_patternIsAscii = true;
    // by characters of the local 8-bit decoding, for names or patterns beyond ASCII
    QList<uint> m_foldedPattern;
};

} // namespace platform
