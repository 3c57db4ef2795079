#include "window_test_support.h"

#include <QDir>
#include <QStandardPaths>
#include <QTest>

void removeStoredSettings()
{
    const QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    QVERIFY2(!configHome.isEmpty(), "tests must run with an isolated XDG_CONFIG_HOME");
    QDir(configHome + QStringLiteral("/spurwerk")).removeRecursively();
}

ModalBoxCloser::ModalBoxCloser()
{
    connect(&m_timer, &QTimer::timeout, this, &ModalBoxCloser::closeActiveModal);
    m_timer.start(10);
}

void ModalBoxCloser::closeActiveModal()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box)
        return;
    texts.append(box->text());
    box->accept();
}
