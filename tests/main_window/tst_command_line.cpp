#include "main_window/command_line.h"
#include "search/name_analysis.h"
#include "search/where_used.h"

#include <QTest>

using namespace Qt::StringLiterals;

class tst_CommandLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void openWithSearchesForTheNameAsWhereUsedReadsIt_data();
    void openWithSearchesForTheNameAsWhereUsedReadsIt();
};

void tst_CommandLine::openWithSearchesForTheNameAsWhereUsedReadsIt_data()
{
    QTest::addColumn<QByteArrayList>("arguments"); // after the program's name, as bytes
    QTest::addColumn<QString>("fileArgument");
    QTest::addColumn<QString>("searchText"); // what the start with a file argument looks for

    QTest::addRow("Latin-1 from an old share")
        << QByteArrayList{"/cad/Geh\xe4use.prt.2"} << u"/cad/Gehäuse.prt.2"_s << u"GEHÄUSE"_s;
    QTest::addRow("a byte only Windows-1252 gives a letter")
        << QByteArrayList{"/cad/Stra\xdf"
                          "e\x80.prt"}
        << u"/cad/Straße€.prt"_s << u"STRASSE€"_s;
    QTest::addRow("UTF-8 folder, Latin-1 name") << QByteArrayList{"/Geh\xc3\xa4use/W\xfc"
                                                                  "rfel.prt"}
                                                << u"/Gehäuse/Würfel.prt"_s << u"WÜRFEL"_s;
    QTest::addRow("in quotes, split at a blank")
        << QByteArrayList{"\"/cad/alte", "Geh\xe4use.prt\""} << u"/cad/alte Gehäuse.prt"_s
        << u"ALTE GEHÄUSE"_s;
}

// The start with a file argument and the where-used levels make one name of one file.
void tst_CommandLine::openWithSearchesForTheNameAsWhereUsedReadsIt()
{
    QFETCH(QByteArrayList, arguments);
    QFETCH(QString, fileArgument);
    QFETCH(QString, searchText);

    QList<const char *> argv{"spurwerk"};
    for (const QByteArray &argument : std::as_const(arguments))
        argv.append(argument.constData());
    const QString taken =
        fileArgumentFromCommandLine(argumentsAfterProgramName(int(argv.size()), argv.constData()));

    QCOMPARE(taken, fileArgument);
    QCOMPARE(Zerlege(taken).toUpper(), searchText);
    QByteArray path = arguments.join(' ');
    if (path.startsWith('"'))
        path = path.sliced(1, path.size() - 2);
    QCOMPARE(referenceName(path), searchText);
}

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_command_line.moc"
