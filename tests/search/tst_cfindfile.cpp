#include "search/cfindfile.h"

#include "platform/event_pump.h"
#include "search/find_file_error.h"
#include "search/search_pattern.h"

#include "test_tree.h"

#include <QMap>
#include <QScopeGuard>
#include <QSet>
#include <QTest>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <stdexcept>
#include <unistd.h>

namespace {

// What fails inside the walk, thrown from its pump
using Failure = std::function<void()>;

// Records a walk's events as "match <folder><name>" and "stop", folders relative to the tree.
class WalkRecorder
{
public:
    WalkRecorder(cFindFile &finder, const TestTree &tree)
        : m_root(tree.root() + '/')
    {
        QObject::connect(&finder, &cFindFile::MatchFound, &finder,
                         [this](const QByteArray &name, const QByteArray &folder) {
                             QByteArray shown = folder;
                             if (shown.startsWith(m_root))
                                 shown.remove(0, m_root.size());
                             events.append("match " + shown + name);
                             folders.insert(shown);
                         });
        QObject::connect(&finder, &cFindFile::StopSearch, &finder, [this](bool &answer) {
            events.append("stop");
            ++questions;
            answer = answerStop(questions);
            // a walk that runs away must still end
            if (events.size() > 1000)
                answer = true;
        });
    }

    QList<QByteArray> events;
    QSet<QByteArray> folders;
    int questions = 0;
    std::function<bool(int question)> answerStop = [](int) { return false; };

private:
    QByteArray m_root;
};

void prepare(cFindFile &finder, const QByteArray &folder, const QByteArray &pattern,
             bool inclSubfolders = true)
{
    finder.setSSearchpath(folder);
    finder.setSFileToFind(pattern);
    finder.setSInclSubfolders(inclSubfolders);
}

QList<QByteArray> sorted(QList<QByteArray> list)
{
    std::sort(list.begin(), list.end());
    return list;
}

// The events with each run of matches in one folder sorted by name.
QByteArrayList sortedWithinFolders(QByteArrayList events)
{
    const auto folderOf = [](const QByteArray &event) {
        return event.startsWith("match ") ? event.left(event.lastIndexOf('/') + 1) : event;
    };
    for (auto first = events.begin(); first != events.end();) {
        const auto last = std::find_if(first, events.end(), [&](const QByteArray &event) {
            return folderOf(event) != folderOf(*first);
        });
        std::sort(first, last);
        first = last;
    }
    return events;
}

} // namespace

Q_DECLARE_METATYPE(Failure)

class tst_cFindFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void patternForCriterion_data();
    void patternForCriterion();
    void walk_data();
    void walk();
    void patternChangedDuringAWalkAppliesToLaterLevels();
    void stopAnswerEndsOnlyTheAskingLevel();
    void searchpathIsLeftAtTheLastSubfolder();
    void emptySearchpathIsTheRoot();
    void eachFolderIsWalkedOnce_data();
    void eachFolderIsWalkedOnce();
    void pendingEventsAfterEveryFurtherEntry();
    void errorsArriveAsOne9999AndCloseTheListing_data();
    void errorsArriveAsOne9999AndCloseTheListing();
    void pathsLongerThanTheSystemTakesAtOnce();
    void eachMatchComesWithWhatTheListingSaw();
    void folderWithMoreMatchesThanAreKept();
};

void tst_cFindFile::cleanup()
{
    platform::setPendingEventsHandler({});
}

void tst_cFindFile::patternForCriterion_data()
{
    QTest::addColumn<QString>("criterion");
    QTest::addColumn<QByteArray>("pattern");

    QTest::addRow("every entry") << QStringLiteral("*") << QByteArray("*");
    QTest::addRow("type") << QStringLiteral("asm") << QByteArray("*.asm*");
    QTest::addRow("typed as typed") << QStringLiteral("PRT ") << QByteArray("*.PRT *");
    QTest::addRow("empty") << QString() << QByteArray("*.*");
    QTest::addRow("star inside") << QStringLiteral("a*") << QByteArray("*.a**");
    QTest::addRow("local 8-bit bytes") << QStringLiteral("wä") << QByteArray("*.w\xc3\xa4*");
}

void tst_cFindFile::patternForCriterion()
{
    QFETCH(QString, criterion);
    QFETCH(QByteArray, pattern);
    QCOMPARE(::patternForCriterion(criterion), pattern);
}

void tst_cFindFile::walk_data()
{
    QTest::addColumn<QByteArrayList>("entries");
    QTest::addColumn<QByteArrayList>("searches"); // folder, with "+" at the end for sub-folders
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<int>("stopFrom"); // questions from this one on are answered true; 0: none
    QTest::addColumn<bool>("inRun");
    QTest::addColumn<QByteArrayList>("events");

    const QByteArrayList two{"top/a.asm", "top/sub/b.asm"};
    // "sub" and "deep" do not match the pattern, yet they are walked
    QTest::addRow("pre-order, a question before each sub-folder")
        << QByteArrayList{"top/HUB.ASM.3", "top/hub.prt", "top/sub/deep/d.asm", "top/sub/c.Asm"}
        << QByteArrayList{"top+"} << QByteArray("*.asm*") << 0 << false
        << QByteArrayList{"match top/HUB.ASM.3", "stop", "match top/sub/c.Asm", "stop",
                          "match top/sub/deep/d.asm"};
    QTest::addRow("without trailing separator")
        << QByteArrayList{"top/a.prt"} << QByteArrayList{"top+"} << QByteArray("*") << 0 << false
        << QByteArrayList{"match top/a.prt"};
    QTest::addRow("with trailing separator")
        << QByteArrayList{"top/a.prt"} << QByteArrayList{"top/+"} << QByteArray("*") << 0 << false
        << QByteArrayList{"match top/a.prt"};
    QTest::addRow("star reports every entry but . and ..")
        << QByteArrayList{"top/a.prt", "top/.hidden", "top/w\xe4rme.asm.1", "top/pipe|", "top/sub/"}
        << QByteArrayList{"top"} << QByteArray("*") << 0 << false
        << QByteArrayList{"match top/.hidden", "match top/a.prt", "match top/pipe", "match top/sub",
                          "match top/w\xe4rme.asm.1"};
    QTest::addRow("without sub-folders nothing is asked")
        << QByteArrayList{"top/a.asm", "top/sub/b.asm", "leaf/c.asm"}
        << QByteArrayList{"top", "leaf+"} << QByteArray("*.asm*") << 0 << false
        << QByteArrayList{"match top/a.asm", "match leaf/c.asm"};
    QTest::addRow("a stop at the top still reports the top folder")
        << QByteArrayList{"top/a.asm", "top/b.asm", "top/s1/c.asm", "top/s2/d.asm"}
        << QByteArrayList{"top+"} << QByteArray("*.asm*") << 1 << false
        << QByteArrayList{"match top/a.asm", "match top/b.asm", "stop"};
    QTest::addRow("missing folder") << QByteArrayList{} << QByteArrayList{"missing+"}
                                    << QByteArray("*") << 0 << false << QByteArrayList{};
    // the owner's run spans its searches: a folder inside another searched one, or searched
    // twice, gives its files once
    QTest::addRow("one folder twice in a run")
        << two << QByteArrayList{"top+", "top+"} << QByteArray("*.asm*") << 0 << true
        << QByteArrayList{"match top/a.asm", "stop", "match top/sub/b.asm"};
    QTest::addRow("one folder twice, outside a run")
        << two << QByteArrayList{"top+", "top+"} << QByteArray("*.asm*") << 0 << false
        << QByteArrayList{"match top/a.asm", "stop", "match top/sub/b.asm",
                          "match top/a.asm", "stop", "match top/sub/b.asm"};
    QTest::addRow("a parent after its sub-folder in a run")
        << two << QByteArrayList{"top/sub+", "top+"} << QByteArray("*.asm*") << 0 << true
        << QByteArrayList{"match top/sub/b.asm", "match top/a.asm"};
    // a folder is walked when its entries are reported, not when it is seen
    QTest::addRow("the parent without sub-folders first in a run")
        << two << QByteArrayList{"top", "top/sub+"} << QByteArray("*.asm*") << 0 << true
        << QByteArrayList{"match top/a.asm", "match top/sub/b.asm"};
}

// The events of one or more searches, matches of one folder in name order (the listing's order is
// the file system's).
void tst_cFindFile::walk()
{
    QFETCH(QByteArrayList, entries);
    QFETCH(QByteArrayList, searches);
    QFETCH(QByteArray, pattern);
    QFETCH(int, stopFrom);
    QFETCH(bool, inRun);
    TestTree tree;
    tree.add(entries);
    cFindFile finder;
    WalkRecorder recorder(finder, tree);
    recorder.answerStop = [stopFrom](int question) { return stopFrom > 0 && question >= stopFrom; };
    std::optional<cFindFile::Run> run;
    if (inRun)
        run.emplace(finder);

    for (const QByteArray &search : std::as_const(searches)) {
        const bool inclSubfolders = search.endsWith('+');
        prepare(finder, tree.path(search.chopped(inclSubfolders ? 1 : 0)), pattern, inclSubfolders);
        finder.sStartSearch();
    }

    QTEST(sortedWithinFolders(recorder.events), "events");
}

// A pattern changed while a level is walked applies from the next level on.
void tst_cFindFile::patternChangedDuringAWalkAppliesToLaterLevels()
{
    TestTree tree;
    tree.add({"top/a.asm", "top/b.asm", "top/c.prt", "top/sub/d.asm", "top/sub/e.prt"});
    cFindFile finder;
    WalkRecorder recorder(finder, tree);
    connect(&finder, &cFindFile::MatchFound, this, [&finder] { finder.setSFileToFind("*.prt*"); });
    prepare(finder, tree.path("top"), "*.asm*");

    finder.sStartSearch();

    QCOMPARE(sortedWithinFolders(recorder.events),
             (QByteArrayList{"match top/a.asm", "match top/b.asm", "stop", "match top/sub/e.prt"}));
}

void tst_cFindFile::stopAnswerEndsOnlyTheAskingLevel()
{
    // whichever order the folders come in: the second level's second question is answered true
    TestTree tree;
    tree.add({"top/A/A1/f", "top/A/A2/f", "top/B/B1/f", "top/B/B2/f"});
    cFindFile finder;
    WalkRecorder recorder(finder, tree);
    recorder.answerStop = [](int question) { return question >= 3; };
    prepare(finder, tree.path("top"), "*");

    finder.sStartSearch();

    // top asks before its first sub-folder X, X before X1, X before X2 (true), top before Y (true)
    QCOMPARE(recorder.questions, 4);
    QCOMPARE(recorder.folders.size(), 3);
    QVERIFY(recorder.folders.contains("top/"));
    const QByteArray first = recorder.folders.contains("top/A/") ? "top/A/" : "top/B/";
    QVERIFY(recorder.folders.contains(first));
    QVERIFY(recorder.folders.contains(first + first.at(4) + "1/") ||
            recorder.folders.contains(first + first.at(4) + "2/"));
}

void tst_cFindFile::searchpathIsLeftAtTheLastSubfolder()
{
    TestTree tree;
    tree.addFolder("top/s/t");
    cFindFile finder;
    prepare(finder, tree.path("top/"), "*");

    finder.sStartSearch();

    QCOMPARE(finder.sSearchpath(), tree.path("top/s/t"));
}

void tst_cFindFile::emptySearchpathIsTheRoot()
{
    cFindFile finder;
    QSet<QByteArray> folders;
    QSet<QByteArray> names;
    connect(&finder, &cFindFile::MatchFound, this,
            [&](const QByteArray &name, const QByteArray &folder) {
                names.insert(name);
                folders.insert(folder);
            });
    prepare(finder, QByteArray(), "*", false);

    finder.sStartSearch();

    QCOMPARE(folders, QSet<QByteArray>{"/"});
    QVERIFY(names.contains("tmp"));
}

using Links = QList<std::pair<QByteArray, QByteArray>>; // link, target

void tst_cFindFile::eachFolderIsWalkedOnce_data()
{
    QTest::addColumn<QByteArrayList>("files");
    QTest::addColumn<Links>("links");
    QTest::addColumn<int>("questions");

    // the links lead back onto the walk's path and are passed over unasked
    QTest::addRow("links back up")
        << QByteArrayList{"top/a.asm", "top/s/b.asm"}
        << Links{{"top/s/up", ".."}, {"top/s/self", "."}, {"top/s/top", "TREE/top"}} << 1;
    QTest::addRow("a link to a folder elsewhere is walked")
        << QByteArrayList{"top/a.asm", "other/o.asm"} << Links{{"top/elsewhere", "../other"}} << 1;
    // whichever of the two ways the walk meets first
    QTest::addRow("two ways to one folder")
        << QByteArrayList{"top/s/a.asm"} << Links{{"top/twin", "s"}} << 1;
    // two links from every level to the next one: without the rule, 2^10 ways to the last
    Links diamond;
    QByteArrayList levels;
    for (int level = 0; level <= 10; ++level) {
        const QByteArray folder = "top/" + QByteArray::number(level);
        levels.append(folder + "/hit" + QByteArray::number(level) + ".asm");
        if (level < 10) {
            const QByteArray next = "../" + QByteArray::number(level + 1);
            diamond.append({folder + "/left", next});
            diamond.append({folder + "/right", next});
        }
    }
    levels.append("top/start.asm");
    QTest::addRow("a diamond of links, 10 levels") << levels << diamond << 11;
}

// Every folder once, so every file once, however many ways lead to it; a question before every
// folder entered, none for a way to one walked already.
void tst_cFindFile::eachFolderIsWalkedOnce()
{
    QFETCH(QByteArrayList, files);
    QFETCH(Links, links);
    TestTree tree;
    QList<QByteArray> expected;
    for (const QByteArray &file : std::as_const(files))
        expected.append(tree.addFile(file));
    for (const auto &[link, target] : std::as_const(links))
        tree.addSymlink(link, QByteArray(target).replace("TREE", tree.root()));
    cFindFile finder;
    WalkRecorder recorder(finder, tree);
    QList<QByteArray> reached;
    connect(&finder, &cFindFile::MatchFound, this,
            [&reached](const QByteArray &name, const QByteArray &folder) {
                char real[PATH_MAX];
                QVERIFY(::realpath((folder + name).constData(), real));
                reached.append(real);
            });
    prepare(finder, tree.path("top"), "*.asm*");

    finder.sStartSearch();

    QCOMPARE(sorted(reached), sorted(expected));
    QTEST(recorder.questions, "questions");
}

void tst_cFindFile::pendingEventsAfterEveryFurtherEntry()
{
    TestTree tree;
    tree.add({"top/a.asm", "top/b.asm", "top/c.prt"});
    cFindFile finder;
    QList<QByteArray> events;
    connect(&finder, &cFindFile::MatchFound, this,
            [&events](const QByteArray &) { events.append("match"); });
    platform::setPendingEventsHandler([&events] { events.append("pump"); });
    prepare(finder, tree.path("top"), "*.asm*");

    finder.sStartSearch();

    // pass 1 lists five entries (with "." and ".."), pass 2 two
    const QList<QByteArray> expected{"pump",  "pump", "pump",  "pump", "pump",
                                     "match", "pump", "match", "pump"};
    QCOMPARE(events, expected);
}

void tst_cFindFile::errorsArriveAsOne9999AndCloseTheListing_data()
{
    QTest::addColumn<int>("failingCall");
    QTest::addColumn<Failure>("fail");
    QTest::addColumn<QString>("cause");
    const Failure injected = [] { throw std::runtime_error("injected"); };
    QTest::addRow("first entry of the top level") << 1 << injected << QStringLiteral("injected");
    QTest::addRow("midway through pass 1") << 3 << injected << QStringLiteral("injected");
    QTest::addRow("midway through pass 2") << 6 << injected << QStringLiteral("injected");
    QTest::addRow("deep in the walk") << 13 << injected << QStringLiteral("injected");
    QTest::addRow("out of memory")
        << 6 << Failure([] { throw std::bad_alloc(); }) << QStringLiteral("out of memory");
    QTest::addRow("not an exception")
        << 6 << Failure([] { throw 1; }) << QStringLiteral("an unknown error");
}

void tst_cFindFile::errorsArriveAsOne9999AndCloseTheListing()
{
    QFETCH(int, failingCall);
    QFETCH(Failure, fail);
    QFETCH(QString, cause);
    TestTree tree;
    tree.add({"top/a.asm", "top/b.asm", "top/sub/c.asm", "top/sub/d.asm", "top/sub/deeper/e.asm"});
    int calls = 0;
    platform::setPendingEventsHandler([&calls, failingCall, fail] {
        if (++calls == failingCall)
            fail();
    });
    cFindFile finder;
    prepare(finder, tree.path("top"), "*.asm*");
    const int descriptorsBefore = openDescriptorCount();

    try {
        finder.sStartSearch();
        QFAIL("the walk did not fail");
    } catch (const FindFileError &error) {
        QCOMPARE(error.number, 9999);
        QCOMPARE(error.source, QStringLiteral("cFindFile:sStartSearch Method"));
        QCOMPARE(error.description, QStringLiteral("Fehler bei sStartSearch"));
        QCOMPARE(error.cause, cause);
    }
    QCOMPARE(calls, failingCall);
    QCOMPARE(openDescriptorCount(), descriptorsBefore);

    // the failed walk leaves nothing behind that changes the next one
    platform::setPendingEventsHandler({});
    WalkRecorder recorder(finder, tree);
    prepare(finder, tree.path("top"), "*.asm*");
    finder.sStartSearch();
    QCOMPARE(recorder.events.count("stop"), 2);
    QCOMPARE(recorder.events.size(), 7);
}

void tst_cFindFile::pathsLongerThanTheSystemTakesAtOnce()
{
    TestTree tree;
    const QByteArray deep = tree.addDeepFolder("top");
    QVERIFY(deep.size() > PATH_MAX);
    const QByteArray relative = deep.mid(tree.root().size() + 1);
    tree.addFile(relative + "/hub.asm", "x");
    tree.addSymlink(relative + "/up", "..");
    cFindFile finder;
    WalkRecorder recorder(finder, tree);
    // however deep the walk, only the folders of its last few levels stay open
    const int before = openDescriptorCount();
    int mostOpen = 0;
    connect(&finder, &cFindFile::StopSearch, this,
            [&] { mostOpen = std::max(mostOpen, openDescriptorCount() - before); });
    prepare(finder, tree.path("top"), "*.asm*");

    finder.sStartSearch();

    QVERIFY(recorder.events.count("stop") > 17);
    QVERIFY(mostOpen <= 17);
    // a question before every level below the top, none for the link back up
    QCOMPARE(recorder.events.count("stop"), relative.count('/'));
    QCOMPARE(recorder.events.last(), "match " + relative + "/hub.asm");
    QCOMPARE(finder.sSearchpath(), deep);
}

void tst_cFindFile::eachMatchComesWithWhatTheListingSaw()
{
    TestTree tree;
    tree.add({"top/hub.asm:x", "top/w\xe4rme.asm:x", "top/.hidden.asm:x", "top/old.asm/",
              "top/pipe.asm|", "top/socket.asm=", "top/link.asm->hub.asm",
              "top/dangling.asm->nowhere"});
    cFindFile finder;
    QMap<QByteArray, platform::FileKind> kinds;
    connect(&finder, &cFindFile::MatchFound, this, [&](const QByteArray &name) {
        const platform::ListedEntry entry = finder.matchEntry();
        // the folder is open, so the file can be opened by its name in it
        QVERIFY(entry.folder);
        QVERIFY(::faccessat(entry.folder->descriptor(), name.constData(), F_OK,
                            AT_SYMLINK_NOFOLLOW) == 0);
        kinds.insert(name, entry.kind.kind);
    });
    prepare(finder, tree.path("top"), "*.asm*");

    finder.sStartSearch();

    // hidden names are the content search's rule, not the listing's
    const QMap<QByteArray, platform::FileKind> expected{
        {"hub.asm", platform::FileKind::Ordinary},
        {"w\xe4rme.asm", platform::FileKind::Ordinary},
        {".hidden.asm", platform::FileKind::Ordinary},
        {"old.asm", platform::FileKind::Folder},
        {"pipe.asm", platform::FileKind::System},
        {"socket.asm", platform::FileKind::System},
        {"link.asm", platform::FileKind::Ordinary},
        {"dangling.asm", platform::FileKind::Inaccessible},
    };
    QCOMPARE(kinds, expected);
}

void tst_cFindFile::folderWithMoreMatchesThanAreKept()
{
    // more than a mebibyte of names: the folder is listed again for its reports
    constexpr int files = 6000;
    TestTree tree;
    QSet<QByteArray> expected;
    for (int i = 0; i < files; ++i) {
        const QByteArray name = QByteArray::number(i) + QByteArray(200, 'x') + ".asm";
        expected.insert(tree.addFile("top/" + name));
    }
    expected.insert(tree.addFile("top/sub/deep.asm"));
    cFindFile finder;
    QList<QByteArray> reported;
    connect(&finder, &cFindFile::MatchFound, this,
            [&reported](const QByteArray &name, const QByteArray &folder) {
                reported.append(folder + name);
            });
    int pumps = 0;
    platform::setPendingEventsHandler([&pumps] { ++pumps; });
    prepare(finder, tree.path("top"), "*.asm*");

    finder.sStartSearch();

    QCOMPARE(reported.size(), files + 1);
    QCOMPARE(QSet<QByteArray>(reported.begin(), reported.end()), expected);
    // one per entry in pass 1 (with ".", ".." and "sub"), one per match in pass 2, and the
    // same in the sub-folder
    QCOMPARE(pumps, (files + 3) + files + 3 + 1);
}

QTEST_GUILESS_MAIN(tst_cFindFile)
#include "tst_cfindfile.moc"
