#include "platform/wildcard_pattern.h"

#include <QTest>

class tst_WildcardPattern : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void matches_data();
    void matches();
};

void tst_WildcardPattern::matches_data()
{
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("expected");

    QTest::addRow("star takes all") << QByteArray("*") << QByteArray("anything.prt.3") << true;
    QTest::addRow("star takes dot") << QByteArray("*") << QByteArray(".") << true;
    QTest::addRow("type with revision") << QByteArray("*.asm*") << QByteArray("hub.asm.3") << true;
    QTest::addRow("type in upper case") << QByteArray("*.asm*") << QByteArray("HUB.ASM.3") << true;
    QTest::addRow("type anywhere") << QByteArray("*.asm*") << QByteArray("a.prt.asm") << true;
    QTest::addRow("type needs its dot") << QByteArray("*.asm*") << QByteArray("hubasm") << false;
    QTest::addRow("other type") << QByteArray("*.asm*") << QByteArray("hub.prt.3") << false;
    QTest::addRow("star backtracks") << QByteArray("*.asm*") << QByteArray("a.as.asx.asm") << true;
    QTest::addRow("type at the very start") << QByteArray("*.asm*") << QByteArray(".ASM") << true;
    QTest::addRow("type cut short") << QByteArray("*.asm*") << QByteArray("hub.as") << false;
    QTest::addRow("stars around a question")
        << QByteArray("*.a?m*") << QByteArray("hub.AXM.2") << true;
    QTest::addRow("stars around a star") << QByteArray("*a*m*") << QByteArray("hub.Am") << true;
    QTest::addRow("empty criterion") << QByteArray("*.*") << QByteArray("readme") << false;
    QTest::addRow("empty criterion, dot") << QByteArray("*.*") << QByteArray("read.me") << true;
    QTest::addRow("question one char") << QByteArray("hub.?") << QByteArray("HUB.3") << true;
    QTest::addRow("question not zero") << QByteArray("hub.?") << QByteArray("hub.") << false;
    QTest::addRow("question not two") << QByteArray("hub.?") << QByteArray("hub.10") << false;
    QTest::addRow("literal whole name") << QByteArray("Hub.Prt") << QByteArray("hUB.pRT") << true;
    QTest::addRow("literal prefix only") << QByteArray("hub") << QByteArray("hub.prt") << false;
    QTest::addRow("empty pattern") << QByteArray("") << QByteArray("hub") << false;
    QTest::addRow("non-ASCII case") << QByteArray("*ä*") << QByteArray("WÄRME.ASM") << true;
    QTest::addRow("non-ASCII name, ASCII pattern")
        << QByteArray("*.asm*") << QByteArray("wärme.ASM.2") << true;
    QTest::addRow("question is one character")
        << QByteArray("w?rme.asm") << QByteArray("wärme.asm") << true;
    QTest::addRow("question is not one byte")
        << QByteArray("w??rme.asm") << QByteArray("wärme.asm") << false;
    QTest::addRow("Latin-1 byte in name")
        << QByteArray("*.asm*") << QByteArray("w\xe4rme.asm.1") << true;
    QTest::addRow("Latin-1 byte is one character")
        << QByteArray("w?rme*") << QByteArray("w\xe4rme.asm.1") << true;
}

void tst_WildcardPattern::matches()
{
    QFETCH(QByteArray, pattern);
    QFETCH(QByteArray, name);
    QFETCH(bool, expected);

    QCOMPARE(platform::WildcardPattern(pattern).matches(name), expected);
}

QTEST_GUILESS_MAIN(tst_WildcardPattern)
#include "tst_wildcard_pattern.moc"
