#include "index/index_connection.h"
#include "index/indexer_state.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_IndexChoice : public QObject
{
    Q_OBJECT

private slots:
    void officeIndexServerIsChosenByOneSetting_data();
    void officeIndexServerIsChosenByOneSetting();
    void walkIsSkippedOnlyWhenTheIndexerHoldsEveryChange_data();
    void walkIsSkippedOnlyWhenTheIndexerHoldsEveryChange();
};

void tst_IndexChoice::officeIndexServerIsChosenByOneSetting_data()
{
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QByteArray>("environment");
    QTest::addColumn<QByteArray>("commandLine");
    QTest::addColumn<QByteArray>("chosen");
    const QByteArray file =
        "[Optionen]\nServer=not this one\n\n[index]\nSERVER=\"host=cad dbname=s\"\n";
    QTest::addRow("nothing set: the desktop's own index")
        << QByteArray() << QByteArray() << QByteArray() << QByteArray();
    QTest::addRow("the settings, section and key in any case")
        << file << QByteArray() << QByteArray() << QByteArray("host=cad dbname=s");
    QTest::addRow("the environment before the settings")
        << file << QByteArray("dbname=env") << QByteArray() << QByteArray("dbname=env");
    QTest::addRow("the command line before both")
        << file << QByteArray("dbname=env") << QByteArray("dbname=cli") << QByteArray("dbname=cli");
    QTest::addRow("a settings file that is no settings file")
        << QByteArray("\x01\x02 garbage") << QByteArray() << QByteArray() << QByteArray();
}

void tst_IndexChoice::officeIndexServerIsChosenByOneSetting()
{
    QFETCH(QByteArray, settings);
    QFETCH(QByteArray, environment);
    QFETCH(QByteArray, commandLine);
    QFETCH(QByteArray, chosen);
    const QString folder =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u"/spurwerk"_s;
    QVERIFY(QDir().mkpath(folder));
    QFile file(folder + u"/spurwerk.conf"_s);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(settings);
    file.close();
    qputenv("SPURWERK_INDEX_DB", environment);
    QCOMPARE(officeIndexServer(commandLine), chosen);
}

void tst_IndexChoice::walkIsSkippedOnlyWhenTheIndexerHoldsEveryChange_data()
{
    QTest::addColumn<qint64>("heartbeatAgeMs");
    QTest::addColumn<bool>("pending");
    QTest::addColumn<bool>("overflowed");
    QTest::addColumn<bool>("swept");
    QTest::addColumn<IndexerCurrency>("currency");
    using C = IndexerCurrency;
    const qint64 fresh = 300;
    QTest::addRow("runs, swept, every notice written")
        << fresh << false << false << true << C::Current;
    QTest::addRow("the last beat just in time")
        << heartbeatLimitMs << false << false << true << C::Current;
    QTest::addRow("a beat missed: stopped")
        << heartbeatLimitMs + 1 << false << false << true << C::Silent;
    QTest::addRow("stopped with nothing pending, long ago")
        << qint64(3600000) << false << false << true << C::Silent;
    QTest::addRow("stopped while sweeping")
        << heartbeatLimitMs + 1 << false << false << false << C::Silent;
    QTest::addRow("a change told of, not written") << fresh << true << false << true << C::Behind;
    QTest::addRow("notices lost") << fresh << false << true << true << C::Overflowed;
    QTest::addRow("notices lost and a change pending")
        << fresh << true << true << true << C::Overflowed;
    QTest::addRow("a sweep under way") << fresh << false << false << false << C::Sweeping;
    QTest::addRow("a sweep under way after lost notices")
        << fresh << true << true << false << C::Sweeping;
}

// A desktop skips the walk only when the indexer runs and holds every change the kernel told it
// of; each other state says what the note and the status tell.
void tst_IndexChoice::walkIsSkippedOnlyWhenTheIndexerHoldsEveryChange()
{
    QFETCH(qint64, heartbeatAgeMs);
    QFETCH(bool, pending);
    QFETCH(bool, overflowed);
    QFETCH(bool, swept);
    QFETCH(IndexerCurrency, currency);
    const IndexerState state{"/srv/cad", heartbeatAgeMs, 0, pending, overflowed, swept};
    QCOMPARE(currencyOf(state), currency);
}

QTEST_GUILESS_MAIN(tst_IndexChoice)
#include "tst_index_choice.moc"
