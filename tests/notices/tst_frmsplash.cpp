#include "notices/frmsplash.h"
#include "platform/windows/window_slot.h"

#include <QLabel>
#include <QTest>
#include <QTimer>

class tst_frmSplash : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void showsItsTextsOnYellow();
    void closesByItselfAfterFourSeconds();
    void closesOnAClickAnywhere_data();
    void closesOnAClickAnywhere();
    void closesOnAKeyThatYieldsACharacter_data();
    void closesOnAKeyThatYieldsACharacter();
    void showingItAgainKeepsTheFirstPeriod();

private:
    frmSplash *showNotice();
    WindowSlot<frmSplash> m_notice;
};

frmSplash *tst_frmSplash::showNotice()
{
    frmSplash *notice = m_notice.load();
    notice->show();
    notice->activateWindow();
    return notice;
}

void tst_frmSplash::showsItsTextsOnYellow()
{
    frmSplash *notice = showNotice();
    QStringList texts;
    for (const char *name : {"Label1", "Label2", "Label3"})
        texts.append(notice->findChild<QLabel *>(QLatin1String(name))->text());
    QCOMPARE(texts,
             QStringList({QStringLiteral("Es wurden keine Dateien gefunden !"),
                          QStringLiteral("Versuchen Sie eventuell die Eingabe zu optimieren !"),
                          QStringLiteral("Zum Schliessen dieser Dialogbox klicken Sie in die "
                                         "Box oder drücken Sie eine Taste !")}));
    QCOMPARE(notice->palette().color(QPalette::Window), QColor(255, 255, 128));
    QCOMPARE(notice->size(), QSize(255, 157));
    // one yellow panel inside a border of its own, as it has no title bar
    const QImage look = notice->grab().toImage();
    QCOMPARE(look.pixelColor(notice->width() / 2, 5), QColor(255, 255, 128));
    for (const QPoint edge : {QPoint(0, 0), QPoint(notice->width() / 2, notice->height() - 1),
                              QPoint(notice->width() - 1, notice->height() / 2)})
        QVERIFY(look.pixelColor(edge) != QColor(255, 255, 128));
    notice->unload();
}

void tst_frmSplash::closesByItselfAfterFourSeconds()
{
    frmSplash *notice = showNotice();
    const QPointer<frmSplash> watched(notice);
    auto *timer = notice->findChild<QTimer *>(QStringLiteral("Timer1"));
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), 4000);
    QTRY_VERIFY_WITH_TIMEOUT(!m_notice.isLoaded(), 6000);
    QTRY_VERIFY(watched.isNull());
}

void tst_frmSplash::closesOnAClickAnywhere_data()
{
    QTest::addColumn<QString>("target");
    QTest::addRow("background") << QString();
    QTest::addRow("first text") << QStringLiteral("Label1");
    QTest::addRow("second text") << QStringLiteral("Label2");
    QTest::addRow("third text") << QStringLiteral("Label3");
}

void tst_frmSplash::closesOnAClickAnywhere()
{
    QFETCH(QString, target);
    frmSplash *notice = showNotice();
    QWidget *clicked = target.isEmpty() ? notice : notice->findChild<QWidget *>(target);
    QTest::mouseClick(clicked, Qt::LeftButton, {}, target.isEmpty() ? QPoint(5, 5) : QPoint());
    QVERIFY(!m_notice.isLoaded());
}

void tst_frmSplash::closesOnAKeyThatYieldsACharacter_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("closes");
    QTest::addRow("letter") << int(Qt::Key_A) << QStringLiteral("a") << true;
    QTest::addRow("Enter") << int(Qt::Key_Return) << QStringLiteral("\r") << true;
    QTest::addRow("Escape") << int(Qt::Key_Escape) << QStringLiteral("\x1b") << true;
    QTest::addRow("Shift alone") << int(Qt::Key_Shift) << QString() << false;
    QTest::addRow("arrow") << int(Qt::Key_Left) << QString() << false;
}

void tst_frmSplash::closesOnAKeyThatYieldsACharacter()
{
    QFETCH(int, key);
    QFETCH(QString, text);
    QFETCH(bool, closes);
    frmSplash *notice = showNotice();
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(notice, &press);
    QCOMPARE(!m_notice.isLoaded(), closes);
    m_notice.unload();
}

void tst_frmSplash::showingItAgainKeepsTheFirstPeriod()
{
    frmSplash *first = showNotice();
    auto *timer = first->findChild<QTimer *>(QStringLiteral("Timer1"));
    QTest::qWait(50);
    const int remaining = timer->remainingTime();
    QCOMPARE(showNotice(), first);
    QVERIFY(timer->remainingTime() <= remaining);
    m_notice.unload();
    QVERIFY(showNotice() != nullptr);
    m_notice.unload();
}

QTEST_MAIN(tst_frmSplash)
#include "tst_frmsplash.moc"
