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
    void officeIndexMapIsReadAndChecked_data();
    void officeIndexMapIsReadAndChecked();
    void walkIsSkippedOnlyWhenTheIndexerHoldsEveryChange_data();
    void walkIsSkippedOnlyWhenTheIndexerHoldsEveryChange();

private:
    void writeSettings(const QByteArray &settings);
};

void tst_IndexChoice::writeSettings(const QByteArray &settings)
{
    const QString folder =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u"/spurwerk"_s;
    QVERIFY(QDir().mkpath(folder));
    QFile file(folder + u"/spurwerk.conf"_s);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(settings);
}

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
    writeSettings(settings);
    qputenv("SPURWERK_INDEX_DB", environment);
    QCOMPARE(officeIndexServer(commandLine), chosen);
}

void tst_IndexChoice::officeIndexMapIsReadAndChecked_data()
{
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QByteArray>("environment");
    QTest::addColumn<QByteArrayList>("commandLine");
    // the pairs read, as "SERVER=LOCAL;..."; or the words the problem begins with
    QTest::addColumn<QString>("read");
    // in the settings file a ";" outside quotes begins a comment
    const QByteArray file = "[INDEX]\nmap=\"/srv/cad=/mnt/cad;/srv/alt/=/media/alt/;\"\n";
    const QByteArrayList none;
    QTest::addRow("nothing set") << QByteArray() << QByteArray() << none << QString();
    QTest::addRow("the settings, pairs by \";\", trailing \"/\" and \";\" dropped")
        << file << QByteArray() << none << u"/srv/cad=/mnt/cad;/srv/alt=/media/alt"_s;
    QTest::addRow("the environment before the settings")
        << file << QByteArray("/srv=/home/anna/cad") << none << u"/srv=/home/anna/cad"_s;
    QTest::addRow("the command line before both")
        << file << QByteArray("/srv=/x") << QByteArrayList{"/a=/b", "/c=/d"} << u"/a=/b;/c=/d"_s;
    QTest::addRow("the share at the same path")
        << QByteArray() << QByteArray("/srv=/srv") << none << u"/srv=/srv"_s;
    QTest::addRow("no \"=\"") << QByteArray() << QByteArray("/srv/cad:/mnt/cad") << none
                              << u"SPURWERK_INDEX_MAP: \"/srv/cad:/mnt/cad\" is no"_s;
    QTest::addRow("a relative local path")
        << QByteArray("[Index]\nMap=/srv/cad=mnt/cad\n") << QByteArray() << none
        << u"the settings' [Index] Map: \"mnt/cad\" is not an absolute path"_s;
    QTest::addRow("an empty server path") << QByteArray() << QByteArray() << QByteArrayList{"=/mnt"}
                                          << u"--index-map: \"\" is not an absolute path"_s;
    QTest::addRow("a loop") << QByteArray() << QByteArray("/a=/b;/b=/a") << none
                            << u"SPURWERK_INDEX_MAP: /a=/b and /b=/a map a folder again"_s;
    QTest::addRow("a local folder inside a server folder")
        << QByteArray() << QByteArray() << QByteArrayList{"/srv=/srv/mnt"}
        << u"--index-map: /srv=/srv/mnt and /srv=/srv/mnt map a folder again"_s;
    QTest::addRow("a server path given twice")
        << QByteArray() << QByteArray("/srv/cad=/mnt/a;/srv/cad/=/mnt/b") << none
        << u"SPURWERK_INDEX_MAP: the server folder /srv/cad is given twice"_s;
}

// One parser reads the mapping from the first source that sets it; bad input gives no pairs and
// words naming the source.
void tst_IndexChoice::officeIndexMapIsReadAndChecked()
{
    QFETCH(QByteArray, settings);
    QFETCH(QByteArray, environment);
    QFETCH(QByteArrayList, commandLine);
    QFETCH(QString, read);
    writeSettings(settings);
    qputenv("SPURWERK_INDEX_MAP", environment);
    const IndexMap map = officeIndexMap(commandLine);
    QByteArrayList pairs;
    for (const IndexMap::Pair &pair : map.pairs)
        pairs.append(pair.server + '=' + pair.local);
    if (read.startsWith(u'/') || read.isEmpty()) {
        QCOMPARE(map.problem, QString());
        QCOMPARE(QString::fromUtf8(pairs.join(';')), read);
    } else {
        QVERIFY2(map.problem.startsWith(read), qPrintable(map.problem));
        QVERIFY(map.pairs.isEmpty());
    }
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
