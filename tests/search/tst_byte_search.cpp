#include "search/byte_search.h"

#include <QRandomGenerator>
#include <QTest>
#include <algorithm>

Q_DECLARE_METATYPE(ByteSearch::Method)

namespace {

qsizetype referenceIndex(const QByteArray &haystack, const QByteArray &needle)
{
    const auto hit = std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end());
    return hit == haystack.end() ? -1 : hit - haystack.begin();
}

} // namespace

class tst_ByteSearch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void agreesWithAPlainSearch_data();
    void agreesWithAPlainSearch();
};

void tst_ByteSearch::agreesWithAPlainSearch_data()
{
    QTest::addColumn<ByteSearch::Method>("method");
    QTest::addRow("portable") << ByteSearch::Method::Portable;
    if (ByteSearch::isAvailable(ByteSearch::Method::Avx2))
        QTest::addRow("avx2") << ByteSearch::Method::Avx2;
}

void tst_ByteSearch::agreesWithAPlainSearch()
{
    QFETCH(ByteSearch::Method, method);
    // a small alphabet makes partial matches, first-and-last-byte agreements and zero bytes common
    QRandomGenerator random(4711);
    const auto randomBytes = [&random](qsizetype size) {
        QByteArray bytes(size, Qt::Uninitialized);
        for (char &byte : bytes)
            byte = "AB\0\xff"[random.bounded(4)];
        return bytes;
    };
    for (int round = 0; round < 3000; ++round) {
        const QByteArray needle = randomBytes(1 + random.bounded(40));
        QByteArray haystack = randomBytes(random.bounded(200));
        // place it often near the ends of 32-byte steps and of the block
        if (round % 2 && haystack.size() >= needle.size())
            haystack.replace(random.bounded(haystack.size() - needle.size() + 1), needle.size(),
                             needle);
        const qsizetype found =
            ByteSearch(needle, method).indexIn(haystack.constData(), haystack.size());
        QCOMPARE(found, referenceIndex(haystack, needle));
    }
}

QTEST_GUILESS_MAIN(tst_ByteSearch)
#include "tst_byte_search.moc"
