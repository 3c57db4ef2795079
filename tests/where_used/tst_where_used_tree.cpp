#include "search/cfindfile.h"
#include "where_used/recorded_answers.h"
#include "where_used/where_used_graph.h"
#include "where_used/where_used_model.h"
#include "where_used/where_used_question.h"
#include "where_used/where_used_search.h"

#include "test_tree.h"
#include "where_used_tree.h"

#include <QAbstractItemModelTester>
#include <QFile>
#include <QLocale>
#include <QTest>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

// Asks the run to stop as the first content pass begins its last file, which is still searched.
class StopAtLastFile : public SearchSink
{
public:
    explicit StopAtLastFile(SearchRun &run)
        : m_run(run)
    {}
    void searching(const QByteArray &, qint64 index, qint64 count) override
    {
        if (index == count - 1 && !std::exchange(m_asked, true))
            m_run.requestStop(RunStop::Everything);
    }

private:
    SearchRun &m_run;
    bool m_asked = false;
};

} // namespace

// The tree of a small folder: from the part up to the top, by name and revision; the same
// whether every file is read once for all names or each level reads the files left.
class tst_WhereUsedTree : public QObject
{
    Q_OBJECT

private slots:
    void tree_data();
    void tree();
    void stopKeepsWhatWasFound_data();
    void stopKeepsWhatWasFound();
    void dateAsShown();
    void answersFromTheOnePass_data();
    void answersFromTheOnePass();
};

void tst_WhereUsedTree::tree_data()
{
    QTest::addColumn<QByteArrayList>("files");
    QTest::addColumn<bool>("newestOnly");
    QTest::addColumn<QStringList>("rows");

    // names "name.type.rev:content", as TestTree::add takes them
    QTest::addRow("nothing holds the name")
        << QByteArrayList{"hub.prt.1:HUB", "rahmen.asm:WELLE"} << false << QStringList{u"HUB"_s};
    QTest::addRow("assemblies before drawings, parts are no use, sub-folders searched")
        << QByteArrayList{"zeichnungen/rahmen.drw.2:HUB", "rahmen.asm.1:xHUBx", "deckel.prt:HUB",
                          "alt/achse.ASM:HUB", "notiz.txt:HUB"}
        << false
        << QStringList{u"HUB"_s, u"  achse.ASM"_s, u"  rahmen.asm.1"_s, u"  rahmen.drw.2"_s};
    QTest::addRow("revisions newest first, by number")
        << QByteArrayList{"getriebe.asm.2:HUB", "getriebe.asm.10:HUB", "getriebe.asm.9:HUB"}
        << false
        << QStringList{u"HUB"_s, u"  getriebe.asm.10"_s, u"  getriebe.asm.9"_s,
                       u"  getriebe.asm.2"_s};
    QTest::addRow("newest only hides the older revisions")
        << QByteArrayList{"getriebe.asm.2:HUB", "getriebe.asm.10:HUB"} << true
        << QStringList{u"HUB"_s, u"  getriebe.asm.10"_s};
    QTest::addRow("the part taken out of the newest revision: the older one is stale")
        << QByteArrayList{"motor.asm.1:HUB", "motor.asm.2:WELLE", "pumpe.asm.3:MOTOR"} << false
        << QStringList{u"HUB"_s, u"  motor.asm.1 – veraltet"_s, u"    pumpe.asm.3"_s};
    QTest::addRow("a stale parent is hidden with newest only")
        << QByteArrayList{"motor.asm.1:HUB", "motor.asm.2:WELLE", "rahmen.asm:HUB"} << true
        << QStringList{u"HUB"_s, u"  rahmen.asm"_s};
    QTest::addRow("up to the top, a file below each of its parents")
        << QByteArrayList{"a.asm:HUB", "b.asm:HUB", "top.asm:A B", "top.drw:TOP"} << false
        << QStringList{u"HUB"_s,     u"  a.asm"_s,     u"    top.asm"_s,  u"      top.drw"_s,
                       u"  b.asm"_s, u"    top.asm"_s, u"      top.drw"_s};
    // the newest revision of the gear box holds the motor, which holds the gear box
    QTest::addRow("a cycle ends where a name comes back")
        << QByteArrayList{"getriebe.asm.1:HUB", "motor.asm:GETRIEBE", "getriebe.asm.2:MOTOR"}
        << false
        << QStringList{u"HUB"_s, u"  getriebe.asm.1 – veraltet"_s, u"    motor.asm"_s,
                       u"      getriebe.asm.2 – Kreisbezug"_s};
    QTest::addRow("an assembly named like the part")
        << QByteArrayList{"hub.asm:HUB", "x.asm:HUB"} << false
        << QStringList{u"HUB"_s, u"  hub.asm – Kreisbezug"_s, u"  x.asm"_s};
}

void tst_WhereUsedTree::tree()
{
    QFETCH(QByteArrayList, files);
    QFETCH(bool, newestOnly);
    QFETCH(QStringList, rows);

    TestTree folder;
    folder.add(files);
    for (const qsizetype namesAtOnce : {WhereUsedSearch::namesInOnePass, qsizetype(0)}) {
        const std::unique_ptr<WhereUsedGraph> graph =
            searchedGraph(folder, QStringLiteral("HUB"), true, namesAtOnce);
        WhereUsedModel model(*graph);
        model.setNewestOnly(newestOnly);
        // rows made on expansion must keep the model consistent for the views
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(expandedRows(model), rows);
        model.levelAdded();
        QCOMPARE(expandedRows(model), rows);
    }
}

void tst_WhereUsedTree::stopKeepsWhatWasFound_data()
{
    QTest::addColumn<qsizetype>("namesAtOnce");
    QTest::addColumn<qsizetype>("filesFound");
    // the one pass has read both files: every level is answered from that
    QTest::addRow("every file read once") << WhereUsedSearch::namesInOnePass << qsizetype(2);
    QTest::addRow("each level reads its files") << qsizetype(0) << qsizetype(1);
}

void tst_WhereUsedTree::stopKeepsWhatWasFound()
{
    QFETCH(qsizetype, namesAtOnce);
    QFETCH(qsizetype, filesFound);
    TestTree folder;
    folder.add({"a.asm:HUB", "top.asm:A"});
    cFindFile finder;
    SearchRun run(finder);
    StopAtLastFile stopping(run);
    WhereUsedGraph graph(QStringLiteral("HUB"));
    WhereUsedSearch search(graph, stopping);
    WhereUsedQuestion question;
    question.name = QStringLiteral("HUB");
    question.folders = {folder.root()};
    QCOMPARE(search.run(
                 run, question, [](int) {}, namesAtOnce),
             RunOutcome::Stopped);
    QCOMPARE(run.stopRequest(), RunStop::Everything);
    QCOMPARE(graph.fileCount(), filesFound);
    QCOMPARE(graph.file(0).fileName, QStringLiteral("a.asm"));
    QCOMPARE(graph.file(0).level, 1);
}

// The date is the file's as its row is shown; a typed part has none.
void tst_WhereUsedTree::dateAsShown()
{
    TestTree folder;
    folder.add({"rahmen.asm:HUB"});
    const std::unique_ptr<WhereUsedGraph> graph = searchedGraph(folder, QStringLiteral("HUB"));
    WhereUsedModel model(*graph);
    const QModelIndex root = model.index(0, WhereUsedModel::DateColumn);
    QCOMPARE(root.data().toString(), QString());
    model.fetchMore(root.siblingAtColumn(0));
    const QModelIndex row = model.index(0, WhereUsedModel::DateColumn, root.siblingAtColumn(0));
    const QDateTime changed(QDate(2019, 3, 4), QTime(5, 6));
    QFile file(QString::fromLocal8Bit(folder.path("rahmen.asm")));
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(changed, QFileDevice::FileModificationTime));
    // as German users read it, also where the machine's locale is another
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const QString shown = row.data().toString();
    QLocale::setDefault(before);
    QCOMPARE(shown, QStringLiteral("04.03.2019 05:06"));
}

void tst_WhereUsedTree::answersFromTheOnePass_data()
{
    QTest::addColumn<QByteArrayList>("passTexts");
    QTest::addColumn<QByteArray>("path");
    // -1: read the file; otherwise the pass's texts it holds
    QTest::addColumn<QList<qsizetype>>("held");

    // the one pass looked for A, B and C in x and y; x holds A and C
    const QByteArrayList levelTexts{"C", "A"};
    QTest::addRow("a later pass's own order")
        << levelTexts << QByteArray("/x") << QList<qsizetype>{0, 1};
    QTest::addRow("fewer texts") << QByteArrayList{"B", "C"} << QByteArray("/x")
                                 << QList<qsizetype>{1};
    QTest::addRow("a file that holds none") << levelTexts << QByteArray("/y") << QList<qsizetype>{};
    QTest::addRow("a file the pass did not search")
        << levelTexts << QByteArray("/z") << QList<qsizetype>{-1};
    QTest::addRow("a text the pass did not look for")
        << QByteArrayList{"A", "D"} << QByteArray("/x") << QList<qsizetype>{-1};
}

void tst_WhereUsedTree::answersFromTheOnePass()
{
    QFETCH(QByteArrayList, passTexts);
    QFETCH(QByteArray, path);
    QFETCH(QList<qsizetype>, held);

    RecordedAnswers answers({{"A"}, {"B"}, {"C"}}, {{"/x", {}}, {"/y", {}}});
    answers.record("/x", {0, 2});
    QList<QList<QByteArray>> texts;
    for (const QByteArray &text : passTexts)
        texts.append({text});
    answers.begin(texts);
    const std::optional<CandidateFilter::Answer> answer = answers.answer({path, {}});
    if (held == QList<qsizetype>{-1}) {
        QVERIFY(!answer);
        return;
    }
    QVERIFY(answer);
    QCOMPARE(answer->result.texts, held);
    QCOMPARE(answer->result.outcome,
             held.isEmpty() ? ContentSearchOutcome::NotFound : ContentSearchOutcome::Found);
}

QTEST_GUILESS_MAIN(tst_WhereUsedTree)
#include "tst_where_used_tree.moc"
