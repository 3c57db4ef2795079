#include "search/byte_search.h"
#include "search/multi_byte_search.h"

#include <QRandomGenerator>
#include <QTest>
#include <algorithm>

Q_DECLARE_METATYPE(ByteSearch::Method)

namespace {

// A small alphabet makes partial matches, agreements of first and last bytes and zero bytes common.
QByteArray randomBytes(QRandomGenerator &random, qsizetype size, QByteArrayView letters)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = letters[random.bounded(int(letters.size()))];
    return bytes;
}

// Often near the ends of 32-byte steps and of the block.
void placeSomewhere(QRandomGenerator &random, QByteArray &haystack, const QByteArray &needle)
{
    if (haystack.size() >= needle.size())
        haystack.replace(random.bounded(haystack.size() - needle.size() + 1), needle.size(),
                         needle);
}

qsizetype referenceIndex(const QByteArray &haystack, const QByteArray &needle)
{
    const auto hit = std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end());
    return hit == haystack.end() ? -1 : hit - haystack.begin();
}

// Position by position, each needle in the order given.
MultiByteSearch::Hit referenceHit(const QByteArray &haystack, const QList<QByteArray> &needles,
                                  qsizetype from, const std::vector<bool> &passedOver)
{
    for (qsizetype position = from; position < haystack.size(); ++position) {
        for (qsizetype i = 0; i < needles.size(); ++i) {
            if (!passedOver[size_t(i)] && haystack.sliced(position).startsWith(needles.at(i)))
                return {position, i};
        }
    }
    return {};
}

} // namespace

class tst_ByteSearch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void agreesWithAPlainSearch_data();
    void agreesWithAPlainSearch();
    void severalNeedlesAgreeWithAPlainSearch_data() { agreesWithAPlainSearch_data(); }
    void severalNeedlesAgreeWithAPlainSearch();
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
    QRandomGenerator random(4711);
    const QByteArrayView letters("AB\0\xff", 4);
    for (int round = 0; round < 3000; ++round) {
        const QByteArray needle = randomBytes(random, 1 + random.bounded(40), letters);
        QByteArray haystack = randomBytes(random, random.bounded(200), letters);
        if (round % 2)
            placeSomewhere(random, haystack, needle);
        const qsizetype found =
            ByteSearch(needle, method).indexIn(haystack.constData(), haystack.size());
        QCOMPARE(found, referenceIndex(haystack, needle));
    }
}

void tst_ByteSearch::severalNeedlesAgreeWithAPlainSearch()
{
    QFETCH(ByteSearch::Method, method);
    QRandomGenerator random(815);
    // needles that share beginnings, are each other's beginnings and fall into one group; every
    // seventh round, hundreds of one family that share their first eight bytes, some twice
    const QByteArrayView letters("ABC\0\xff", 5);
    for (int round = 0; round < 3000; ++round) {
        const bool family = round % 7 == 0;
        const QByteArray familyName = family ? randomBytes(random, 8, letters) : QByteArray();
        QList<QByteArray> needles;
        std::vector<bool> passedOver;
        for (int i = 1 + random.bounded(family ? 300 : round % 3 ? 6 : 40); i > 0; --i) {
            needles.append(
                family ? familyName + randomBytes(random, random.bounded(4), letters)
                       : randomBytes(random, 1 + random.bounded(round % 5 ? 12 : 3), letters));
            passedOver.push_back(random.bounded(4) == 0);
        }
        // several 32-byte steps
        QByteArray haystack = randomBytes(random, random.bounded(300), letters);
        for (int placed = random.bounded(4); placed > 0; --placed)
            placeSomewhere(random, haystack, needles.at(random.bounded(needles.size())));
        const qsizetype from = random.bounded(std::max<qsizetype>(haystack.size(), 1));

        const MultiByteSearch::Hit found =
            MultiByteSearch(needles, method)
                .find(haystack.constData(), haystack.size(), from, passedOver);

        const MultiByteSearch::Hit expected = referenceHit(haystack, needles, from, passedOver);
        QCOMPARE(found.position, expected.position);
        QCOMPARE(found.needle, expected.needle);
    }
}

QTEST_GUILESS_MAIN(tst_ByteSearch)
#include "tst_byte_search.moc"
