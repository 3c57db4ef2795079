#include "main_window/command_line.h"
#include "search/name_analysis.h"
#include "search/where_used.h"

#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_CommandLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void openWithSearchesForTheNameAsWhereUsedReadsIt_data();
    void openWithSearchesForTheNameAsWhereUsedReadsIt();
    void optionsAnswerWithoutAWindow_data();
    void optionsAnswerWithoutAWindow();
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

void tst_CommandLine::optionsAnswerWithoutAWindow_data()
{
    QTest::addColumn<QByteArrayList>("arguments");
    QTest::addColumn<int>("status");         // -1: the main window starts
    QTest::addColumn<QByteArray>("printed"); // how standard output (0) or error (2) begins
    QTest::addColumn<QString>("fileArgument");

    const QByteArray usage = "Usage: spurwerk [--] [FILE]\n";
    QTest::addRow("--help") << QByteArrayList{"--help"} << 0 << usage << QString();
    QTest::addRow("-h") << QByteArrayList{"-h"} << 0 << usage << QString();
    QTest::addRow("--version") << QByteArrayList{"--version"} << 0 << QByteArray("spurwerk 2.")
                               << QString();
    QTest::addRow("help before a file")
        << QByteArrayList{"--help", "/cad/hub.prt"} << 0 << usage << QString();
    QTest::addRow("unknown option") << QByteArrayList{"--hilfe"} << 2
                                    << "spurwerk: Unknown option 'hilfe'.\n" + usage << QString();
    QTest::addRow("file name beginning with -")
        << QByteArrayList{"-x.prt"} << 2 << "spurwerk: Unknown option 'x.prt'.\n" + usage
        << QString();
    QTest::addRow("the same after --")
        << QByteArrayList{"--", "-x.prt"} << -1 << QByteArray() << u"-x.prt"_s;
    QTest::addRow("--help after --")
        << QByteArrayList{"--", "--help"} << -1 << QByteArray() << u"--help"_s;
    QTest::addRow("a word after the file is part of it")
        << QByteArrayList{"\"/cad/alte", "-teil.prt\""} << -1 << QByteArray()
        << u"/cad/alte -teil.prt"_s;
}

// An option is answered by the program without a display (Qt's attempt to reach one would abort
// it); the rest start the window with the file argument.
void tst_CommandLine::optionsAnswerWithoutAWindow()
{
    QFETCH(QByteArrayList, arguments);
    QFETCH(int, status);
    QFETCH(QByteArray, printed);
    QFETCH(QString, fileArgument);

    QList<const char *> argv{"spurwerk"};
    for (const QByteArray &argument : std::as_const(arguments))
        argv.append(argument.constData());
    const StartRequest start = startRequest(int(argv.size()), argv.constData());
    QCOMPARE(start.kind == StartRequest::Kind::Window, status == -1);
    if (status == -1) {
        QCOMPARE(start.fileArgument, fileArgument);
        return;
    }
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(u"DISPLAY"_s);
    environment.remove(u"WAYLAND_DISPLAY"_s);
    environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    program.setProcessEnvironment(environment);
    QStringList texts;
    for (const QByteArray &argument : std::as_const(arguments))
        texts.append(QString::fromLocal8Bit(argument));
    program.start(QStringLiteral(SPURWERK_PATH), texts);
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), status);
    const QByteArray out = program.readAllStandardOutput();
    const QByteArray err = program.readAllStandardError();
    QVERIFY2((status == 0 ? out : err).startsWith(printed), out + err);
    QVERIFY2((status == 0 ? err : out).isEmpty(), out + err);
}

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_command_line.moc"
