#include "test_tree.h"
#include "unprivileged_user.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// A copy of the program that every user may start: the tests that act as an unprivileged user
// would not reach it in a build folder inside a private home folder. Made on the first call, which
// must come before such a test.
QByteArray reachableProgram()
{
    static QTemporaryDir folder;
    static const QByteArray program = [] {
        const QString copy = folder.filePath(QStringLiteral("spurwerk-find"));
        if (!QFile::copy(QStringLiteral(SPURWERK_FIND_PATH), copy) ||
            ::chmod(QFile::encodeName(folder.path()).constData(), 0755) != 0 ||
            ::chmod(QFile::encodeName(copy).constData(), 0755) != 0)
            qFatal("cannot copy %s", SPURWERK_FIND_PATH);
        return QFile::encodeName(copy);
    }();
    return program;
}

// QProcess takes arguments as QString, which cannot carry every byte: spawn directly. Standard
// output goes to outputTo when given (and is then not read back).
Run spurwerkFind(const QList<QByteArray> &arguments, const QByteArray &outputTo = {})
{
    Run run;
    const QTemporaryDir outputs;
    const QByteArray outPath =
        outputTo.isEmpty() ? QFile::encodeName(outputs.filePath(QStringLiteral("out"))) : outputTo;
    const QByteArray errPath = QFile::encodeName(outputs.filePath(QStringLiteral("err")));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.constData(), O_WRONLY | O_CREAT, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.constData(), O_WRONLY | O_CREAT, 0644);

    QList<QByteArray> argumentBytes{reachableProgram()};
    argumentBytes.append(arguments);
    std::vector<char *> argv;
    for (QByteArray &argument : argumentBytes)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (spawned != 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return run;
    run.exitCode = WEXITSTATUS(status);
    QFile out(QFile::decodeName(outPath));
    QFile err(QFile::decodeName(errPath));
    if (outputTo.isEmpty() && out.open(QIODevice::ReadOnly))
        run.out = out.readAll();
    if (err.open(QIODevice::ReadOnly))
        run.err = err.readAll();
    return run;
}

} // namespace

class tst_SpurwerkFind : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void run_data();
    void run();
    void typeAndSubfolders_data();
    void typeAndSubfolders();
    void badUsage_data();
    void badUsage();
    void helpExplains();
    void whereUsedUpTheLevels_data();
    void whereUsedUpTheLevels();
    void hitUnderAPathLongerThanTheSystemTakesAtOnce();

private:
    TestTree m_tree;
};

void tst_SpurwerkFind::initTestCase()
{
    reachableProgram();
    m_tree.add({"b/HUB.ASM.3:..PART_0042..", "b/hub.prt:PART_0042", "b/.hidden.asm:PART_0042",
                "b/sub/deep.asm:PART_0042", "b/sub/decoy.asm:part_0042"});
}

void tst_SpurwerkFind::run_data()
{
    QTest::addColumn<QByteArrayList>("entries");   // with the tree's path for "~"
    QTest::addColumn<QByteArrayList>("locked");    // entries no one may read or list
    QTest::addColumn<QByteArrayList>("arguments"); // with the tree's path for "~"
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArrayList>("errors"); // how the lines of the error output begin

    const QByteArray listing = ": cannot be listed: " + QByteArray(std::strerror(EACCES));
    // a name in Latin-1 is printed as its bytes
    QTest::addRow("hits in run order")
        << QByteArrayList{"one/w\xe4rme.asm:PART_0042", "one/sub/x.asm:PART_0042",
                          "two/y.asm:PART_0042"}
        << QByteArrayList{} << QByteArrayList{"--type", "asm", "PART_0042", "~/two", "~/one"} << 0
        << QByteArray("~/two/y.asm\n~/one/w\xe4rme.asm\n~/one/sub/x.asm\n") << QByteArrayList{};
    QTest::addRow("nothing found")
        << QByteArrayList{"a/z.asm:PART_0042"} << QByteArrayList{}
        << QByteArrayList{"PART_9999", "~/a"} << 1 << QByteArray() << QByteArrayList{};
    // one run over all FOLDERs: a folder inside another one, named twice or reached through a
    // link, gives its hits once
    QTest::addRow("each folder once, however many ways lead to it")
        << QByteArrayList{"top/a.asm:PART_0042", "top/sub/b.asm:PART_0042", "top/link->sub"}
        << QByteArrayList{} << QByteArrayList{"PART_0042", "~/top/sub", "~/top", "~/top"} << 0
        << QByteArray("~/top/sub/b.asm\n~/top/a.asm\n") << QByteArrayList{};
    // a FIFO opened for reading without a writer would block the run for good
    QTest::addRow("what is not a file is passed over quietly")
        << QByteArrayList{"top/pipe.asm|", "top/socket.asm=", "top/folder.asm/",
                          "top/sub/hub.asm:PART_0042"}
        << QByteArrayList{} << QByteArrayList{"--type", "asm", "PART_0042", "~/top"} << 0
        << QByteArray("~/top/sub/hub.asm\n") << QByteArrayList{};
    // grep -R names them too: a hit behind such a link would be missed without a word
    QTest::addRow("links that cannot be followed are named")
        << QByteArrayList{"d1/teil.asm->nowhere",
                          "d2/self.asm->self.asm",
                          "locked/inner.asm:PART_0042",
                          "locked/dir/x.asm:PART_0042",
                          "d3/into.asm->../locked/inner.asm",
                          "d4/into->../locked/dir",
                          "d4/hub.asm:PART_0042"}
        << QByteArrayList{"locked"}
        << QByteArrayList{"--type", "asm", "PART_0042", "~/d1", "~/d2", "~/d3", "~/d4"} << 2
        << QByteArray("~/d4/hub.asm\n")
        << QByteArrayList{"spurwerk-find: ~/d4/into/" + listing, "spurwerk-find: ~/d1/teil.asm: ",
                          "spurwerk-find: ~/d2/self.asm: ", "spurwerk-find: ~/d3/into.asm: "};
    QTest::addRow("a missing folder is named, the search goes on")
        << QByteArrayList{"a/z.asm:PART_0042"} << QByteArrayList{}
        << QByteArrayList{"PART_0042", "~/missing", "~/a"} << 2 << QByteArray("~/a/z.asm\n")
        << QByteArrayList{"spurwerk-find: ~/missing: "};
    QTest::addRow("a locked folder and file are named, the search goes on")
        << QByteArrayList{"locked/inside.asm:PART_0042", "rest/locked.asm:PART_0042",
                          "rest/open.asm:PART_0042"}
        << QByteArrayList{"locked", "rest/locked.asm"}
        << QByteArrayList{"PART_0042", "~/locked", "~/rest"} << 2 << QByteArray("~/rest/open.asm\n")
        << QByteArrayList{"spurwerk-find: ~/locked/" + listing,
                          "spurwerk-find: ~/rest/locked.asm: "};
    // the walk passes over a sub-folder it cannot list and goes on, but the hits it may hold are
    // missed: the folder is named, and the exit status says so whatever was found
    QTest::addRow("a locked sub-folder, the only hit inside")
        << QByteArrayList{"perm/locked/a.asm:PART_0042", "perm/b.asm:no part"}
        << QByteArrayList{"perm/locked"} << QByteArrayList{"PART_0042", "~/perm"} << 2
        << QByteArray() << QByteArrayList{"spurwerk-find: ~/perm/locked/" + listing};
    QTest::addRow("a locked sub-folder, a hit beside it")
        << QByteArrayList{"perm/locked/a.asm:PART_0042", "perm/b.asm:PART_0042"}
        << QByteArrayList{"perm/locked"} << QByteArrayList{"PART_0042", "~/perm"} << 2
        << QByteArray("~/perm/b.asm\n")
        << QByteArrayList{"spurwerk-find: ~/perm/locked/" + listing};
    // a file that cannot be read would be read again at every level
    QTest::addRow("an unreadable file is named once over the levels")
        << QByteArrayList{"a/hub.asm:PART_0042", "b/locked.asm:HUB", "c/top.asm:HUB"}
        << QByteArrayList{"b/locked.asm"}
        << QByteArrayList{"--levels", "3", "PART_0042", "~/a", "~/b", "~/c"} << 2
        << QByteArray("1\t~/a/hub.asm\tPART_0042\n2\t~/c/top.asm\tHUB\n")
        << QByteArrayList{"spurwerk-find: ~/b/locked.asm: "};
    // the name is read in its own encoding, whatever the folders' is
    QTest::addRow("a UTF-8 name in a Windows-1252 folder, at the next level")
        << QByteArrayList{"\xe4lter/w\xc3\xa4rme.prt:PART_0042", "b/top.asm:..W\xc3\x84RME.."}
        << QByteArrayList{} << QByteArrayList{"--levels", "2", "PART_0042", "~/\xe4lter", "~/b"}
        << 0
        << QByteArray("1\t~/\xe4lter/w\xc3\xa4rme.prt\tPART_0042\n2\t~/b/top.asm\tW\xc3\x84RME\n")
        << QByteArrayList{};
}

void tst_SpurwerkFind::run()
{
    QFETCH(QByteArrayList, entries);
    QFETCH(QByteArrayList, locked);
    QFETCH(QByteArrayList, arguments);
    QFETCH(QByteArray, out);
    QFETCH(QByteArrayList, errors);
    TestTree tree;
    tree.add(entries);
    for (const QByteArray &entry : std::as_const(locked))
        QCOMPARE(::chmod(tree.path(entry).constData(), 0), 0);
    const UnprivilegedUser user(tree);
    for (QByteArray &argument : arguments)
        argument.replace('~', tree.root());

    const Run run = spurwerkFind(arguments);

    QTEST(run.exitCode, "exitCode");
    QCOMPARE(run.out, out.replace('~', tree.root()));
    QList<QByteArray> lines = run.err.split('\n');
    QCOMPARE(lines.takeLast(), QByteArray());
    QCOMPARE(lines.size(), errors.size());
    for (qsizetype line = 0; line < lines.size(); ++line)
        QVERIFY2(lines.at(line).startsWith(errors[line].replace('~', tree.root())),
                 lines.at(line).constData());
}

void tst_SpurwerkFind::typeAndSubfolders_data()
{
    QTest::addColumn<QList<QByteArray>>("options");
    QTest::addColumn<QList<QByteArray>>("hits");

    QTest::addRow("every type") << QList<QByteArray>{}
                                << QList<QByteArray>{"b/HUB.ASM.3", "b/hub.prt", "b/sub/deep.asm"};
    QTest::addRow("asm") << QList<QByteArray>{"--type", "asm"}
                         << QList<QByteArray>{"b/HUB.ASM.3", "b/sub/deep.asm"};
    QTest::addRow("prt, joined") << QList<QByteArray>{"--type=prt"}
                                 << QList<QByteArray>{"b/hub.prt"};
    QTest::addRow("no sub-folders") << QList<QByteArray>{"--no-subfolders", "--type", "asm"}
                                    << QList<QByteArray>{"b/HUB.ASM.3"};
}

void tst_SpurwerkFind::typeAndSubfolders()
{
    QFETCH(QList<QByteArray>, options);
    QFETCH(QList<QByteArray>, hits);

    const Run run = spurwerkFind(options + QList<QByteArray>{"PART_0042", m_tree.path("b/")});

    QCOMPARE(run.exitCode, 0);
    QList<QByteArray> printed = run.out.split('\n');
    QCOMPARE(printed.takeLast(), QByteArray());
    std::sort(printed.begin(), printed.end());
    QList<QByteArray> expected;
    for (const QByteArray &hit : hits)
        expected.append(m_tree.path(hit));
    QCOMPARE(printed, expected);
}

void tst_SpurwerkFind::badUsage_data()
{
    QTest::addColumn<QList<QByteArray>>("arguments");

    QTest::addRow("nothing") << QList<QByteArray>{};
    QTest::addRow("no folder") << QList<QByteArray>{"PART_0042"};
    QTest::addRow("unknown option") << QList<QByteArray>{"--fast", "PART_0042", "."};
    QTest::addRow("type without value") << QList<QByteArray>{"PART_0042", ".", "--type"};
    QTest::addRow("text not in the local encoding") << QList<QByteArray>{"W\xc4RME", "."};
    QTest::addRow("empty text") << QList<QByteArray>{"", "."};
    for (const QByteArray levels : {"0", "-2", "x", "2.5", " 3", "", "00"})
        QTest::addRow("levels '%s'", levels.constData())
            << QList<QByteArray>{"--levels", levels, "PART_0042", "."};
    QTest::addRow("levels joined, empty") << QList<QByteArray>{"--levels=", "PART_0042", "."};
    QTest::addRow("levels without value") << QList<QByteArray>{"PART_0042", ".", "--levels"};
}

void tst_SpurwerkFind::badUsage()
{
    QFETCH(QList<QByteArray>, arguments);

    const Run run = spurwerkFind(arguments);

    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.out, QByteArray());
    QVERIFY(run.err.startsWith("spurwerk-find: "));
}

void tst_SpurwerkFind::helpExplains()
{
    const Run run = spurwerkFind({"--help"});

    QCOMPARE(run.exitCode, 0);
    for (const char *topic : {"--type", "--no-subfolders", "--levels N", "--null", "TEXT FOLDER...",
                              "LEVEL<TAB>PATH<TAB>NAMES", "Exit status"})
        QVERIFY2(run.out.contains(topic), topic);

    // as grep: a help nobody could read is no success
    if (!QFile::exists(QStringLiteral("/dev/full")))
        QSKIP("no /dev/full");
    const Run lost = spurwerkFind({"--help"}, "/dev/full");
    QCOMPARE(lost.exitCode, 2);
    QCOMPARE(lost.err, "spurwerk-find: write error: " + QByteArray(std::strerror(ENOSPC)) + '\n');
}

void tst_SpurwerkFind::hitUnderAPathLongerThanTheSystemTakesAtOnce()
{
    TestTree tree;
    const QByteArray deep = tree.addDeepFolder("top");
    QVERIFY(deep.size() > PATH_MAX);
    const QByteArray hit = tree.addFile(deep.mid(tree.root().size() + 1) + "/hub.asm", "PART_0042");

    const Run run = spurwerkFind({"--type", "asm", "PART_0042", tree.path("top")});

    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, hit + '\n');
    QCOMPARE(run.err, QByteArray());
}

// A part, assemblies over three levels and drawings, each file in a folder of its own, so that
// the FOLDERs' order is the walk's order.
class PartTree : public TestTree
{
public:
    PartTree()
    {
        const qsizetype chunk = 65536;
        // the part holds its own name, as CAD files do: found, but its name is TEXT
        add("p", "4711.prt", "..4711..");
        add("r1", "getriebe.asm.1", "..4711..");
        add("r2", "getriebe.asm.2", "..4711..");
        // ANLAGE holds ANTRIEB, which holds LAGER, which holds ANLAGE: a circle
        add("l1", "lager.asm", "..4711..ANLAGE..");
        // the names in the other order than their files were reported
        add("l2", "antrieb.asm", "..LAGER..GETRIEBE..");
        add("l2b", "geh\xc3\xa4use.asm",
            QByteArray(chunk + 100, '.').replace(chunk - 4, 8, "GETRIEBE"));
        add("l3", "anlage.asm", "..ANTRIEB..");
        // a name not valid in UTF-8, as old shares hold them: WÄRME
        add("l3b", "w\xe4rme.asm", "..GEH\xc4USE..");
        add("d", "anlage.drw", "..ANLAGE..");
        add("d2", "schema.drw", "..W\xc3\x84RME..");
        add("x", "decoy.asm", "..lager..GETRIEB..NTRIEB..4712..");
    }

    QList<QByteArray> folders() const { return m_folders; }

private:
    void add(const QByteArray &folder, const QByteArray &name, const QByteArray &bytes)
    {
        addFile(folder + '/' + name, bytes);
        m_folders.append(path(folder));
    }

    QList<QByteArray> m_folders;
};

void tst_SpurwerkFind::whereUsedUpTheLevels_data()
{
    QTest::addColumn<QList<QByteArray>>("options");
    QTest::addColumn<QList<QByteArray>>("lines"); // with the tree's path for "~"

    const QList<QByteArray> levelOne = {
        "1\t~/p/4711.prt\t4711",
        "1\t~/r1/getriebe.asm.1\t4711",
        "1\t~/r2/getriebe.asm.2\t4711",
        "1\t~/l1/lager.asm\t4711",
    };
    const QList<QByteArray> levelTwo = {
        "2\t~/l2/antrieb.asm\tGETRIEBE,LAGER",
        "2\t~/l2b/geh\xc3\xa4use.asm\tGETRIEBE",
    };
    const QList<QByteArray> levelThree = {
        "3\t~/l3/anlage.asm\tANTRIEB",
        "3\t~/l3b/w\xe4rme.asm\tGEH\xc3\x84USE",
    };
    const QList<QByteArray> levelFour = {
        "4\t~/d/anlage.drw\tANLAGE",
        "4\t~/d2/schema.drw\tW\xc3\x84RME",
    };
    const QList<QByteArray> all = levelOne + levelTwo + levelThree + levelFour;
    QTest::addRow("every level") << QList<QByteArray>{"--levels", "5"} << all;
    QTest::addRow("more levels than there are")
        << QList<QByteArray>{"--levels=99999999999999999999"} << all;
    QTest::addRow("up to level 3")
        << QList<QByteArray>{"--levels", "3"} << levelOne + levelTwo + levelThree;
    QTest::addRow("assemblies only") << QList<QByteArray>{"--levels", "5", "--type", "asm"}
                                     << QList<QByteArray>{levelOne.mid(1) + levelTwo + levelThree};
    QTest::addRow("level 1 is today's output")
        << QList<QByteArray>{"--levels", "1"}
        << QList<QByteArray>{"~/p/4711.prt", "~/r1/getriebe.asm.1", "~/r2/getriebe.asm.2",
                             "~/l1/lager.asm"};
}

void tst_SpurwerkFind::whereUsedUpTheLevels()
{
    QFETCH(QList<QByteArray>, options);
    QFETCH(QList<QByteArray>, lines);
    const PartTree tree;

    const Run run = spurwerkFind(options + QList<QByteArray>{"4711"} + tree.folders());

    QByteArray expected;
    for (const QByteArray &line : lines)
        expected += QByteArray(line).replace('~', tree.root()) + '\n';
    QCOMPARE(run.out, expected);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err, QByteArray());
    // a file name may hold tabs and line ends: with -0 each field ends with a NUL byte
    const Run nullEnded = spurwerkFind(options + QList<QByteArray>{"-0", "4711"} + tree.folders());
    QCOMPARE(nullEnded.out, expected.replace('\t', '\0').replace('\n', '\0'));
    if (options == QList<QByteArray>{"--levels", "1"})
        QCOMPARE(spurwerkFind(QList<QByteArray>{"4711"} + tree.folders()).out, run.out);
}

QTEST_GUILESS_MAIN(tst_SpurwerkFind)
#include "tst_spurwerk_find.moc"
