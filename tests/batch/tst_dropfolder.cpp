#include "batch/dropfolder.h"
#include "batch/dropjob.h"
#include "batch/simulationserver.h"
#include "batch_helper.h"
#include "model/latticeboltzmann/grid.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <thread>
#include <vector>

// The watched folder: documents are taken by one runner each, into results
// folders of their own, without following links out of the folder.
class TestDropFolder : public QObject
{
    Q_OBJECT

private slots:
    void linksAreNeverFollowed();
    void everyJobHasItsOwnResultsFolder();
    void oneRunnerTakesEachDocument();
    void aPausedCopyIsNotReadHalfWritten();
    void aDocumentIsJudgedJustBeforeItIsRead();
    void whatIsPassedByIsReportedOnLinesOfItsOwn();
};

namespace {

QStringList runServer(const QString &dir)
{
    SimulationServer server(dir, BatchRun::Settings());
    server.setSettleTime(0);
    QStringList log;
    server.poll([&](const QString &line) { log << line; });
    return log;
}

} // namespace

void TestDropFolder::linksAreNeverFollowed()
{
    QTemporaryDir root;
    const QString w = root.path() + "/w", outside = root.path() + "/outside";
    QVERIFY(QDir().mkpath(w) && QDir().mkpath(outside + "/resdir"));
    QVERIFY(writeFile(outside + "/victim.txt", "precious data\n"));
    QVERIFY(writeFile(outside + "/elsewhere.lb2", limitedDocument(20)));
    QVERIFY(writeFile(w + "/a.lb2", limitedDocument(20)));
    QVERIFY(writeFile(w + "/b.lb2", "not a document\n"));
    // Planted links: a results folder, an error note and a document that
    // lead out of the folder.
    QVERIFY(QFile::link(outside + "/resdir", w + "/a-results"));
    QVERIFY(QFile::link(outside + "/victim.txt", w + "/b.lb2.error.txt"));
    QVERIFY(QFile::link(outside + "/victim.txt", w + "/b-results"));
    QVERIFY(QFile::link(outside + "/elsewhere.lb2", w + "/c.lb2"));

    const QStringList log = runServer(w);

    QVERIFY2(QDir(outside + "/resdir").isEmpty(), qPrintable(log.join('\n')));
    QCOMPARE(readFile(outside + "/victim.txt"), QByteArray("precious data\n"));
    QCOMPARE(readFile(outside + "/elsewhere.lb2"), limitedDocument(20));
    QVERIFY(!QFile::exists(outside + "/elsewhere-results"));
    QVERIFY(QFileInfo(w + "/c.lb2").isSymLink());
    QCOMPARE(QDir(outside).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), 3);

    // The jobs went to folders of their own beside the planted links.
    QCOMPARE(documentIterations(w + "/a-results-2/a-final.lb2"), 20);
    QVERIFY(QFile::exists(w + "/a-results-2/a.lb2"));
    QVERIFY(QFile::exists(w + "/b-results-2/b.lb2"));
    QVERIFY(readFile(w + "/b-results-2/error.txt").size() > 1);
    QVERIFY(!QFile::exists(w + "/a.lb2") && !QFile::exists(w + "/b.lb2"));
}

void TestDropFolder::everyJobHasItsOwnResultsFolder()
{
    QTemporaryDir w;
    QVERIFY(writeFile(w.path() + "/case.lb2", limitedDocument(20)));
    QVERIFY(writeFile(w.path() + "/case.LB2", limitedDocument(30)));
    runServer(w.path());
    // A document of a name that has run before.
    QVERIFY(writeFile(w.path() + "/case.lb2", limitedDocument(40)));
    runServer(w.path());

    QMap<QString, int> finals;
    for (const QString &folder : QDir(w.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString dir = w.path() + "/" + folder;
        const int iterations = documentIterations(dir + "/case-final.lb2");
        finals[QDir(dir).entryList({"case.*"}, QDir::Files).join(',') + QString::number(iterations)] = iterations;
        // Each table holds its own run's rows only: the header and one per 10 iterations.
        QCOMPARE(lineCount(dir + "/simulation.csv"), 1 + iterations / 10);
    }
    QCOMPARE(finals.keys(), QStringList({"case.LB230", "case.lb220", "case.lb240"}));
    QVERIFY(QDir(w.path()).exists("case-results") && QDir(w.path()).exists("case-results-2") &&
            QDir(w.path()).exists("case-results-3"));
}

void TestDropFolder::oneRunnerTakesEachDocument()
{
    QTemporaryDir w;
    const int count = 24;
    for (int i = 0; i < count; ++i)
        QVERIFY(writeFile(w.path() + QStringLiteral("/job%1.lb2").arg(i), "x"));
    // Two runners look at the folder at once and take what they can.
    std::vector<std::unique_ptr<DropJob>> taken[2];
    auto runner = [&](int r) {
        DropFolder folder(w.path());
        folder.setSettleTime(0);
        while (auto job = folder.claimNext())
            taken[r].push_back(std::move(job));
    };
    std::thread a(runner, 0), b(runner, 1);
    a.join();
    b.join();

    QSet<QString> names;
    for (const auto &list : taken)
        for (const auto &job : list) {
            names.insert(job->name());
            QCOMPARE(QDir(job->resultsFolder()).entryList(QDir::Files), QStringList(job->name()));
        }
    QCOMPARE(int(taken[0].size() + taken[1].size()), count);
    QCOMPARE(names.size(), count);
    // Nothing is left behind: no document, no empty folder of a lost race.
    QCOMPARE(QDir(w.path()).entryList(QDir::Files).size(), 0);
    QCOMPARE(QDir(w.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), count);
}

void TestDropFolder::aPausedCopyIsNotReadHalfWritten()
{
    QTemporaryDir w;
    const QByteArray document = limitedDocument(20);
    QFile copy(w.path() + "/slow.lb2");
    QVERIFY(copy.open(QIODevice::WriteOnly));
    copy.write(document.left(document.size() / 2));
    QVERIFY(copy.flush());
    SimulationServer server(w.path(), BatchRun::Settings());
    server.setSettleTime(100);
    QStringList log;
    const auto record = [&](const QString &line) { log << line; };
    // The copy pauses for longer than the settle time, still open.
    for (int look = 0; look < 3; ++look) {
        QCOMPARE(server.poll(record), 0);
        QTest::qSleep(150);
    }
    QVERIFY(QFile::exists(w.path() + "/slow.lb2"));
    copy.write(document.mid(document.size() / 2));
    copy.close();
    QCOMPARE(server.poll(record), 0);
    QTest::qSleep(150);
    QCOMPARE(server.poll(record), 1);
    QCOMPARE(documentIterations(w.path() + "/slow-results/slow-final.lb2"), 20);
    QVERIFY2(!QFile::exists(w.path() + "/slow-results/error.txt"), qPrintable(log.join('\n')));
}

void TestDropFolder::aDocumentIsJudgedJustBeforeItIsRead()
{
    QTemporaryDir w;
    QVERIFY(writeFile(w.path() + "/a.lb2", limitedDocument(20)));
    QVERIFY(writeFile(w.path() + "/b.lb2", limitedDocument(20)));
    // Both are ready; while a runs, b is being replaced by a new upload.
    const QByteArray upload = limitedDocument(30);
    QFile b(w.path() + "/b.lb2");
    SimulationServer server(w.path(), BatchRun::Settings());
    server.setSettleTime(0);
    QStringList log;
    const auto record = [&](const QString &line) {
        log << line;
        if (line.startsWith("Running a.lb2") && b.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            b.write(upload.left(upload.size() / 3));
            b.flush();
        }
    };
    QCOMPARE(server.poll(record), 1);
    QVERIFY(b.isOpen());
    QCOMPARE(documentIterations(w.path() + "/a-results/a-final.lb2"), 20);
    QVERIFY2(QFile::exists(w.path() + "/b.lb2") && !QFile::exists(w.path() + "/b-results"),
             qPrintable(log.join('\n')));
    b.write(upload.mid(upload.size() / 3));
    b.close();
    QCOMPARE(server.poll(record), 1);
    QCOMPARE(documentIterations(w.path() + "/b-results/b-final.lb2"), 30);
}

void TestDropFolder::whatIsPassedByIsReportedOnLinesOfItsOwn()
{
    QTemporaryDir w;
    const QByteArray document = limitedDocument(20);
    QVERIFY(writeFile(w.path() + "/.hidden.lb2", document));
    QVERIFY(writeFile(w.path() + "/new\nline.lb2", document));
    QVERIFY(writeFile(w.path() + QString::fromUtf8("/caf\xc3\xa9.lb2"), document));
    QVERIFY(QDir(w.path()).mkdir("folder.lb2"));
    QCOMPARE(::mkfifo(QFile::encodeName(w.path() + "/pipe.lb2").constData(), 0600), 0);
    // A name that is not UTF-8 cannot be given as text: made from its bytes.
    const QByteArray latin1 = QFile::encodeName(w.path()) + "/caf\xe9.lb2";
    const int fd = ::open(latin1.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, document.constData(), size_t(document.size())), ssize_t(document.size()));
    ::close(fd);

    // Unreadable to the runner (unless it may read anything).
    const bool privileged = ::geteuid() == 0;
    QVERIFY(writeFile(w.path() + "/locked.lb2", document));
    QVERIFY(QFile::setPermissions(w.path() + "/locked.lb2", QFileDevice::WriteOwner));
    SimulationServer server(w.path(), BatchRun::Settings());
    server.setSettleTime(0);
    QStringList log;
    const auto record = [&](const QString &line) { log << line; };
    QCOMPARE(server.poll(record), privileged ? 3 : 2);
    QCOMPARE(server.poll(record), 0);
    const QString all = log.join('\n');
    for (const QString &line : log)
        QVERIFY2(!line.contains('\n') && !line.contains('\r'), qPrintable(line));
    // Each passed by once, with the reason.
    QCOMPARE(log.filter("Skipped").size(), privileged ? 4 : 5);
    if (!privileged)
        QVERIFY2(log.contains("Skipped locked.lb2: it cannot be read (Permission denied)"), qPrintable(all));
    QVERIFY2(log.contains("Skipped .hidden.lb2: hidden (the name begins with a dot)"), qPrintable(all));
    QVERIFY2(log.contains("Skipped caf\\xe9.lb2: the name is not valid UTF-8"), qPrintable(all));
    QVERIFY2(log.contains("Skipped pipe.lb2: a named pipe, not a regular file"), qPrintable(all));
    QVERIFY2(log.contains("Skipped folder.lb2: a folder, not a regular file"), qPrintable(all));
    QVERIFY2(log.filter("Done new\\nline.lb2").size() == 1, qPrintable(all));
    QCOMPARE(documentIterations(w.path() + "/new\nline-results/new\nline-final.lb2"), 20);
    QCOMPARE(documentIterations(w.path() + QString::fromUtf8("/caf\xc3\xa9-results/caf\xc3\xa9-final.lb2")), 20);
    QVERIFY(QFile::exists(w.path() + "/.hidden.lb2"));
    QVERIFY(::access(latin1.constData(), F_OK) == 0);
}

QTEST_APPLESS_MAIN(TestDropFolder)
#include "tst_dropfolder.moc"
