#include "app/MainWindowFixture.h"
#include "info/frmHelp.h"
#include "ui/ProgressBar.h"
#include "ui/RecordView.h"

#include <QApplication>
#include <QTimer>

#include <QDir>
#include <QFile>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <csignal>

namespace {

using platform::FileFailure;

class GenerationRunTest : public MainWindowTest {
protected:
    QString output() const { return folder->file(QStringLiteral("out.txt")); }

    // Types the range, primes the Save dialog and presses Start; the run is over when
    // the click returns.
    void run(const QString& from, const QString& to, const QString& suffix,
             const QString& path = QString()) {
        driver->enter(from, to, suffix);
        driver->start(path.isNull() ? output() : path);
    }

    // The file holds exactly the list's addresses, in order, each line ended by CR LF.
    void expectFileEqualsList(const QString& path) const {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const RecordModel& list = window->records();
        char cell[RecordModel::CellCapacity];
        std::int64_t k = 0;
        while (!file.atEnd()) {
            const QByteArray line = file.readLine();
            ASSERT_TRUE(line.endsWith("\r\n")) << "line " << k;
            ASSERT_LT(k, list.count());
            const int n = list.formatCell(static_cast<int>(k / 4), static_cast<int>(k % 4), cell);
            ASSERT_EQ(line.chopped(2), QByteArray(cell, n)) << "line " << k;
            ++k;
        }
        EXPECT_EQ(k, list.count());
    }

    bool idle() const {
        return control("btnBuild")->isEnabled() && control<ProgressBar>("pb")->position64() == 0;
    }
};

TEST_F(GenerationRunTest, WritesTheRangeToFileListAndProgress) {
    qint64 maximumSeen = -1;
    platform::Events::setHook([&] { maximumSeen = control<ProgressBar>("pb")->maximum64(); });
    run(QStringLiteral("7"), QStringLiteral("9"), QStringLiteral("S"));
    EXPECT_EQ(testsupport::readFile(output()), QByteArray("7@S\r\n8@S\r\n9@S\r\n"));
    EXPECT_EQ(maximumSeen, 3);
    const RecordModel& list = window->records();
    ASSERT_EQ(list.rowCount(), 1);
    EXPECT_EQ(list.cellText(0, 0), QStringLiteral("7@S"));
    EXPECT_EQ(list.cellText(0, 2), QStringLiteral("9@S"));
    EXPECT_FALSE(list.hasCell(0, 3));
    EXPECT_EQ(messages(), QStringList{ModTransLate::Text().frmMain.CreateNoSuccessfully});
    EXPECT_EQ(platform::MessageBox::shown().first().icon, platform::MessageIcon::Information);
    EXPECT_TRUE(idle());
}

TEST_F(GenerationRunTest, RowsHoldFourAddressesEach) {
    run(QStringLiteral("5"), QStringLiteral("5"), QStringLiteral("a"));
    EXPECT_EQ(window->records().rowCount(), 1);
    EXPECT_EQ(window->records().count(), 1);
    run(QStringLiteral("1"), QStringLiteral("9"), QStringLiteral("a"));
    EXPECT_EQ(window->records().rowCount(), 3);
    EXPECT_TRUE(window->records().hasCell(1, 3));
    EXPECT_TRUE(window->records().hasCell(2, 0));
    EXPECT_FALSE(window->records().hasCell(2, 1));
    expectFileEqualsList(output());
}

TEST_F(GenerationRunTest, FormsAddressesFromTheTrimmedInput) {
    run(QStringLiteral("007"), QStringLiteral(" 8 "), QStringLiteral("  mail.example  "));
    EXPECT_EQ(testsupport::readFile(output()), QByteArray("7@mail.example\r\n8@mail.example\r\n"));
    run(QStringLiteral("1"), QStringLiteral("1"), QString());
    EXPECT_EQ(testsupport::readFile(output()), QByteArray("1@\r\n"));
    EXPECT_EQ(messages().size(), 2); // two completion notices, no warning
    run(QStringLiteral("-2"), QStringLiteral("-1.5"), QStringLiteral("@x"));
    EXPECT_EQ(testsupport::readFile(output()), QByteArray("-2@@x\r\n"));
    // Longer than 32,767 UTF-16 units, ending in characters of two: taken whole.
    const QString longSuffix = QString(32766, u'a') + QStringLiteral("\U0001F600\U0001F600");
    run(QStringLiteral("3"), QStringLiteral("3"), longSuffix);
    EXPECT_EQ(testsupport::readFile(output()), "3@" + longSuffix.toUtf8() + "\r\n");
}

TEST_F(GenerationRunTest, ReplacesAnExistingFileWithoutAsking) {
    testsupport::writeFile(output(), QByteArray(100000, 'z'));
    run(QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("x"));
    EXPECT_EQ(testsupport::readFile(output()), QByteArray("1@x\r\n2@x\r\n"));
}

TEST_F(GenerationRunTest, RejectedInputWarnsFocusesAndKeepsThePreviousRun) {
    run(QStringLiteral("1"), QStringLiteral("6"), QStringLiteral("x"));
    const QByteArray before = testsupport::readFile(output());
    platform::MessageBox::clearShown();
    platform::FileDialog::clearRequests();
    const auto& t = ModTransLate::Text().frmMain;
    struct Case {
        const char *from, *to;
        QString warning;
        const char* focus;
    } cases[] = {{"", "5", t.PlsFillNo, "tbFromNo"},      {"5", " ", t.PlsFillNo, "tbToNo"},
                 {"", "", t.PlsFillNo, "tbFromNo"},       {"5x", "6", t.WrongNoFormat, "tbFromNo"},
                 {"5", "1e3", t.WrongNoFormat, "tbToNo"}, {"x", "y", t.WrongNoFormat, "tbFromNo"}};
    for (const Case& c : cases) {
        platform::MessageBox::clearShown();
        control("btnCancel")->setFocus();
        run(QString::fromUtf8(c.from), QString::fromUtf8(c.to), QStringLiteral("new"));
        EXPECT_EQ(messages(), QStringList{c.warning}) << c.from << "|" << c.to;
        EXPECT_EQ(platform::MessageBox::shown().first().icon, platform::MessageIcon::Exclamation);
        EXPECT_TRUE(control(c.focus)->hasFocus()) << c.from << "|" << c.to;
    }
    platform::MessageBox::clearShown();
    control("tbToNo")->setFocus();
    run(QStringLiteral("9"), QStringLiteral("8"), QStringLiteral("new"));
    EXPECT_EQ(messages(), QStringList{t.StartLargerEnd});
    EXPECT_TRUE(control("btnBuild")->hasFocus()); // where the click put it

    EXPECT_TRUE(platform::FileDialog::requests().isEmpty());
    EXPECT_EQ(window->records().count(), 6);
    EXPECT_EQ(testsupport::readFile(output()), before);
    EXPECT_TRUE(idle());
}

TEST_F(GenerationRunTest, ACancelledDialogOrAnOutOfRangeNumberChangesNothing) {
    run(QStringLiteral("1"), QStringLiteral("6"), QStringLiteral("x"));
    const QByteArray before = testsupport::readFile(output());
    platform::MessageBox::clearShown();
    platform::FileDialog::clearRequests();

    run(QStringLiteral("1"), QStringLiteral("3"), QStringLiteral("y"), QStringLiteral(""));
    EXPECT_EQ(platform::FileDialog::requests().size(), 1);
    run(QStringLiteral("99999999999"), QStringLiteral("3"), QStringLiteral("y"));
    run(QStringLiteral("1"), QStringLiteral("2147483648"), QStringLiteral("y"));
    EXPECT_EQ(platform::FileDialog::requests().size(), 1);
    EXPECT_TRUE(messages().isEmpty());
    EXPECT_EQ(window->records().count(), 6);
    EXPECT_EQ(testsupport::readFile(output()), before);
    EXPECT_TRUE(idle());
}

TEST_F(GenerationRunTest, StopKeepsExactlyTheListedAddressesAndSaysSo) {
    int eventPoints = 0;
    platform::Events::setHook([&] {
        if (++eventPoints == 3)
            QTest::mouseClick(control("btnCancel"), Qt::LeftButton);
    });
    run(QStringLiteral("1"), QStringLiteral("50000000"), QStringLiteral("stop.example"));
    EXPECT_EQ(messages(), QStringList{ModTransLate::Text().frmMain.CancelAndSave});
    EXPECT_GT(window->records().count(), 0);
    EXPECT_LT(window->records().count(), 50000000);
    expectFileEqualsList(output());
    EXPECT_TRUE(idle());
    EXPECT_TRUE(window->stopRequested()); // kept until the next run clears it

    platform::Events::setHook({});
    platform::MessageBox::clearShown();
    run(QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("x"));
    EXPECT_EQ(messages(), QStringList{ModTransLate::Text().frmMain.CreateNoSuccessfully});
}

TEST_F(GenerationRunTest, ASuffixChangedDuringTheRunServesEveryLaterAddress) {
    int eventPoints = 0;
    platform::Events::setHook([&] {
        if (++eventPoints == 2)
            control<QComboBox>("cbSuffix")->setEditText(QStringLiteral(" later.example "));
    });
    run(QStringLiteral("1"), QStringLiteral("3000000"), QStringLiteral("first.example"));
    const RecordModel& list = window->records();
    ASSERT_EQ(list.count(), 3000000);
    EXPECT_EQ(list.stretchCount(), 2u);
    EXPECT_TRUE(list.cellText(0, 0).endsWith(QStringLiteral("@first.example")));
    const int lastRow = list.rowCount() - 1;
    EXPECT_EQ(list.cellText(lastRow, 3), QStringLiteral("3000000@later.example"));
    expectFileEqualsList(output());
}

TEST_F(GenerationRunTest, CountsPastSinglePrecisionAndReachesTheTopOfTheRange) {
    run(QStringLiteral("2147483640"), QStringLiteral("2147483647"), QStringLiteral("top"));
    EXPECT_EQ(window->records().count(), 8);
    EXPECT_TRUE(testsupport::readFile(output()).endsWith("2147483646@top\r\n2147483647@top\r\n"));
    EXPECT_EQ(messages().size(), 1);

    // 16,777,217 addresses: one more than a single-precision counter can reach.
    platform::MessageBox::clearShown();
    run(QStringLiteral("0"), QStringLiteral("16777216"), QStringLiteral("f"));
    EXPECT_EQ(messages(), QStringList{ModTransLate::Text().frmMain.CreateNoSuccessfully});
    EXPECT_EQ(window->records().count(), 16777217);
    EXPECT_EQ(QFileInfo(output()).size(), 190215494);
    QFile file(output());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    file.seek(file.size() - 13);
    EXPECT_EQ(file.readAll(), QByteArray("\n16777216@f\r\n"));
}

TEST_F(GenerationRunTest, TheWholeRangeIsOneRunWithExactCounts) {
    qint64 maximum = 0;
    int eventPoints = 0;
    platform::Events::setHook([&] {
        maximum = control<ProgressBar>("pb")->maximum64();
        if (++eventPoints == 2)
            window->btnCancel_Click();
    });
    run(QStringLiteral("-2147483648"), QStringLiteral("2147483647"), QStringLiteral("all"));
    EXPECT_EQ(maximum, qint64{1} << 32);
    EXPECT_TRUE(
        testsupport::readFile(output()).startsWith("-2147483648@all\r\n-2147483647@all\r\n"));
    expectFileEqualsList(output());
}

#ifndef _WIN32 // a file-size limit (RLIMIT_FSIZE)
TEST_F(GenerationRunTest, AFailedWriteEndsSilentlyOnAWholeLine) {
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = saved;
    limited.rlim_cur = 1000003; // not a multiple of any line length
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    run(QStringLiteral("1000000"), QStringLiteral("1999999"), QStringLiteral("full.example"));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_TRUE(messages().isEmpty());
    const QByteArray written = testsupport::readFile(output());
    EXPECT_LE(written.size(), 1000003);
    EXPECT_GT(written.size(), 1000003 - 24); // only the line cut by the limit is lost
    EXPECT_TRUE(written.isEmpty() || written.endsWith("\r\n"));
    EXPECT_EQ(window->lastOutcome()->file, (platform::FileStatus{FileFailure::WriteFailed, EFBIG}));
    expectFileEqualsList(output());
    EXPECT_TRUE(idle());
}
#endif

TEST_F(GenerationRunTest, TheRunWritesOneFileWhateverIsDoneToItsName) {
    const QString elsewhere = folder->file(QStringLiteral("elsewhere.txt"));
#ifndef _WIN32
    // A dangling link at the chosen name is replaced, not followed.
    ASSERT_TRUE(QFile::link(elsewhere, output()));
#endif
    // Moved away during the run, with a link to another file put in its place: the moved
    // file gets every address, the other file nothing.
    const QString moved = folder->file(QStringLiteral("moved.txt"));
    const QString other = folder->file(QStringLiteral("other.txt"));
    testsupport::writeFile(other, "other\r\n");
    int eventPoints = 0;
    platform::Events::setHook([&] {
        if (++eventPoints == 2) {
            ASSERT_TRUE(QFile::rename(output(), moved));
#ifdef _WIN32
            ASSERT_TRUE(QFile::copy(other, output()));
#else
            ASSERT_TRUE(QFile::link(other, output()));
#endif
        }
    });
    run(QStringLiteral("1"), QStringLiteral("10000000"), QStringLiteral("x"));
    ASSERT_GT(eventPoints, 2);
    EXPECT_FALSE(QFileInfo::exists(elsewhere));
    EXPECT_EQ(testsupport::readFile(other), QByteArray("other\r\n"));
    EXPECT_EQ(testsupport::readFile(output()), QByteArray("other\r\n"));
    EXPECT_EQ(window->records().count(), 10000000);
    expectFileEqualsList(moved);
    EXPECT_TRUE(messages().isEmpty()); // the chosen name no longer names the file written
    EXPECT_EQ(window->lastOutcome(), GenerationRun::End::WriteFailed);
}

TEST_F(GenerationRunTest, ARunWhoseFileLostItsNameEndsAsAFailedWrite) {
    // Removed during the run, which then runs to its end or is stopped: no notice.
    for (const bool stop : {false, true}) {
        platform::MessageBox::clearShown();
        int eventPoints = 0;
        platform::Events::setHook([&] {
            if (++eventPoints == 2) {
                // Wine keeps the name of a deleted file while it is open: there it moves.
                ASSERT_TRUE(testsupport::runsUnderWine()
                                ? QFile::rename(output(), output() + QString::number(stop))
                                : QFile::remove(output()));
            }
            if (stop && eventPoints == 3)
                window->btnCancel_Click();
        });
        run(QStringLiteral("1"), QStringLiteral("5000000"), QStringLiteral("x"));
        EXPECT_GT(eventPoints, 2);
        EXPECT_EQ(window->records().count() == 5000000, !stop); // went on to its end
        EXPECT_TRUE(messages().isEmpty()) << stop;
        EXPECT_EQ(window->lastOutcome(), GenerationRun::End::WriteFailed) << stop;
        EXPECT_EQ(window->lastOutcome()->file.failure, FileFailure::Changed) << stop;
        EXPECT_TRUE(idle());
    }
}

TEST_F(GenerationRunTest, TheProgramsOwnFilesAreRefusedAndAnotherNameIsAsked) {
    run(QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("x"));
#ifdef _WIN32
    const QString program = QCoreApplication::applicationFilePath(); // cannot be deleted anyway
#else
    const QString program = folder->file(QStringLiteral("program"));
    ASSERT_TRUE(QFile::link(QCoreApplication::applicationFilePath(), program));
#endif
    const QString settings = folder->file(QStringLiteral("Korvani.ini"));
    // Any spelling of the path; the settings file, too, when it is missing (last row).
    const QString own[] = {folder->file(QStringLiteral("./Korvani.ini")),
                           folder->file(QStringLiteral("language/Korvani_SC.ini")),
                           folder->file(QStringLiteral("language/../language/Korvani_TC.ini")),
                           program, settings};
    const auto& t = ModTransLate::Text().frmMain;
    for (const QString& path : own) {
        if (path == settings) {
            ASSERT_TRUE(QFile::remove(settings));
        }
        const auto sizeOf = [&path] {
            const QFileInfo file(path);
            return file.exists() ? file.size() : -1;
        };
        const qint64 before = sizeOf();
        platform::MessageBox::clearShown();
        platform::FileDialog::clearRequests();
        // The user reads the warning, then names another file in the dialog shown again.
        platform::MessageBox::setOnShow([&](const platform::ShownMessage& shown) {
            if (shown.text == t.ProgramFileRefused)
                platform::FileDialog::setNextFileName(output());
        });
        run(QStringLiteral("5"), QStringLiteral("5"), QStringLiteral("y"), path);
        EXPECT_EQ(messages(), (QStringList{t.ProgramFileRefused, t.CreateNoSuccessfully}));
        EXPECT_EQ(platform::FileDialog::requests().size(), 2);
        EXPECT_EQ(sizeOf(), before) << path.toStdString(); // not replaced, nor made
        EXPECT_EQ(testsupport::readFile(output()), QByteArray("5@y\r\n"));
    }
    EXPECT_FALSE(t.ProgramFileRefused.isEmpty());
}

TEST_F(GenerationRunTest, AFolderAsOutputPathIsRefusedAndNothingIsDeleted) {
    const QString sub = folder->file(QStringLiteral("folder"));
    ASSERT_TRUE(QDir().mkdir(sub));
    testsupport::writeFile(sub + QStringLiteral("/keep.txt"), "keep");
    run(QStringLiteral("1"), QStringLiteral("5"), QStringLiteral("x"), sub);
    EXPECT_TRUE(QFileInfo(sub).isDir());
    EXPECT_EQ(testsupport::readFile(sub + QStringLiteral("/keep.txt")), QByteArray("keep"));
    EXPECT_TRUE(messages().isEmpty());
    EXPECT_EQ(window->records().count(), 0);
    EXPECT_TRUE(idle());
}

TEST_F(GenerationRunTest, ClosingTheWindowDuringARunEndsItQuietly) {
    int eventPoints = 0;
    platform::Events::setHook([&] {
        if (++eventPoints == 2)
            window->close();
    });
    run(QStringLiteral("1"), QStringLiteral("50000000"), QStringLiteral("x"));
    EXPECT_TRUE(messages().isEmpty());
    EXPECT_LT(window->records().count(), 50000000);
    expectFileEqualsList(output());
    EXPECT_TRUE(testsupport::waitUntil([&] { return !window->isVisible(); }));
}

TEST_F(GenerationRunTest, AModalWindowOpenedDuringARunHoldsItUntilClosed) {
    int eventPoints = 0;
    std::int64_t countWhileOpen = -1;
    std::int64_t countAfterClose = -1;
    int helpWindowsShown = 0;
    platform::Events::setHook([&] {
        if (++eventPoints != 2)
            return;
        QTimer::singleShot(50, [&] {
            countWhileOpen = window->records().count();
            if (QWidget* modal = QApplication::activeModalWidget()) {
                if (qobject_cast<frmHelp*>(modal))
                    ++helpWindowsShown;
                modal->close();
            }
        });
        QTest::mouseClick(control("btnHelp"), Qt::LeftButton); // returns when Help closes
        countAfterClose = window->records().count();
    });
    run(QStringLiteral("1"), QStringLiteral("5000000"), QStringLiteral("x"));
    EXPECT_EQ(helpWindowsShown, 1);
    EXPECT_GT(countWhileOpen, 0);
    EXPECT_EQ(countAfterClose, countWhileOpen); // nothing was written while Help was open
    EXPECT_EQ(window->records().count(), 5000000);
    EXPECT_EQ(messages(), QStringList{ModTransLate::Text().frmMain.CreateNoSuccessfully});
    expectFileEqualsList(output());
}

} // namespace
