#include "widgets/deferred_label_text.h"

#include <QLabel>
#include <QTest>

class tst_DeferredLabelText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void showsTheNewestTextOnTheNextPass();
    void flushLetsADirectTextStay();
};

void tst_DeferredLabelText::showsTheNewestTextOnTheNextPass()
{
    QLabel label(QStringLiteral("Status"));
    platform::DeferredLabelText deferred(&label);

    deferred.setText(QStringLiteral("Suche läuft... 25%"));
    deferred.setText(QStringLiteral("Suche läuft... 50%"));
    QCOMPARE(label.text(), QStringLiteral("Status"));
    QCOMPARE(deferred.text(), QStringLiteral("Suche läuft... 50%"));

    QCoreApplication::processEvents();
    QCOMPARE(label.text(), QStringLiteral("Suche läuft... 50%"));
    QCOMPARE(deferred.text(), label.text());
}

void tst_DeferredLabelText::flushLetsADirectTextStay()
{
    QLabel label;
    platform::DeferredLabelText deferred(&label);

    deferred.setText(QStringLiteral("Suche läuft... 100%"));
    deferred.flush();
    QCOMPARE(label.text(), QStringLiteral("Suche läuft... 100%"));
    label.setText(QStringLiteral("Suche abgeschlossen"));

    QCoreApplication::processEvents();
    QCOMPARE(label.text(), QStringLiteral("Suche abgeschlossen"));
    QCOMPARE(deferred.text(), QStringLiteral("Suche abgeschlossen"));
}

QTEST_MAIN(tst_DeferredLabelText)
#include "tst_deferred_label_text.moc"
