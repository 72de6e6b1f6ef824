#include "app/codeeditor.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), qint64(bytes.size()));
}

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

// The editor reads and writes the bytes it is given, and refuses what the
// conversions refuse.
class TestCodeEditor : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    // An unedited file goes back byte for byte, NUL bytes and all.
    void bytesRoundTrip()
    {
        CodeEditor editor;
        const QByteArray bytes("a\0b\n\xff tail", 10);
        writeBytes(dir.filePath("nul.lb"), bytes);
        QString error;
        QVERIFY2(editor.loadFile(dir.filePath("nul.lb"), false, &error), qPrintable(error));
        QCOMPARE(editor.text().size(), 10);
        QVERIFY(editor.saveFile(dir.filePath("copy.lb"), false));
        QCOMPARE(readBytes(dir.filePath("copy.lb")), bytes);
        QVERIFY(editor.saveFile(dir.filePath("copy.lb2"), true));
        QVERIFY2(editor.loadFile(dir.filePath("copy.lb2"), true, &error), qPrintable(error));
        QVERIFY(editor.saveFile(dir.filePath("again.lb"), false));
        QCOMPARE(readBytes(dir.filePath("again.lb")), bytes);
        // Edited text is written as UTF-8.
        editor.setText(QStringLiteral("x\u00e4"));
        QVERIFY(editor.saveFile(dir.filePath("edited.lb"), false));
        QCOMPARE(readBytes(dir.filePath("edited.lb")), QByteArray("x\xc3\xa4"));
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("inflated"); // reaches zlib, which logs a warning
        const QByteArray good = qCompress(QByteArray(3000, 'a'), -1);
        QByteArray wrongLength = good;
        wrongLength[3] = char(wrongLength[3] + 1);
        QTest::newRow("zero length, then junk") << QByteArray("\0\0\0\0junk", 8) << false;
        QTest::newRow("wrong announced length") << wrongLength << false;
        QTest::newRow("truncated") << good.left(good.size() / 2) << true;
        QTest::newRow("named pipe") << QByteArray() << false;
    }

    // A damaged or special .lb2 is refused and the text is kept.
    void refused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, inflated);
        const QString path = dir.filePath(QString("bad%1.lb2").arg(QTest::currentDataTag()).remove(' '));
        if (bytes.isEmpty())
            QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        else
            writeBytes(path, bytes);
        CodeEditor editor;
        editor.setText("kept");
        if (inflated)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("qUncompress.*"));
        QString error;
        QVERIFY(!editor.loadFile(path, true, &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(editor.text(), QString("kept"));
    }
};

QTEST_MAIN(TestCodeEditor)
#include "tst_codeeditor.moc"
