#include "index/index_connection.h"

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

QTEST_GUILESS_MAIN(tst_IndexChoice)
#include "tst_index_choice.moc"
