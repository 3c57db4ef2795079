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

QTEST_GUILESS_MAIN(tst_IndexChoice)
#include "tst_index_choice.moc"
