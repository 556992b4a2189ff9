// The run as the main window drives it: the range typed, the Save dialog, the buttons, the
// notices, the list and the progress bar (the run itself: GenerationRun_test.cpp).
#include "app/MainWindowFixture.h"
#include "info/frmAbout.h"
#include "info/frmHelp.h"
#include "platform/AppTitle.h"
#include "ui/AccessibilityChecks.h"
#include "ui/ProgressBar.h"
#include "ui/RecordView.h"
#include "update/frmUpdate.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

namespace {

class MainWindowRunTest : public MainWindowTest {
protected:
    QString output() const { return folder->file(QStringLiteral("out.txt")); }

    // Types the range, primes the Save dialog and presses Start; the run is over when
    // the click returns.
    void run(const QString& from, const QString& to, const QString& suffix,
             const QString& path = QString()) {
        driver->enter(from, to, suffix);
        driver->start(path.isNull() ? output() : path);
    }

    bool idle() const {
        return control("btnBuild")->isEnabled() && control<ProgressBar>("pb")->position64() == 0;
    }

    // A run of the range and what it leaves in the file.
    struct RunRow {
        QString from, to, suffix;
        std::int64_t total;         // addresses in the range
        QByteArray start, end = {}; // how the file starts and ends; end null: start is all of it
        qint64 size = -1;           // the file's size, -1: not checked
        bool listEqualsFile = true; // every line is shown whole in its cell
        QByteArray existing = {};   // the file's bytes before the run
    };

    // Runs the row, doing act at event point `point`; returns the progress bar's range as
    // the last event point saw it.
    qint64 run(const RunRow& row, int point = 0, const std::function<void()>& act = {}) {
        if (!row.existing.isNull())
            testsupport::writeFile(output(), row.existing);
        platform::MessageBox::clearShown();
        qint64 maximum = -1;
        int eventPoints = 0;
        platform::Events::setHook([&] {
            maximum = control<ProgressBar>("pb")->maximum64();
            if (++eventPoints == point)
                act();
        });
        run(row.from, row.to, row.suffix);
        platform::Events::setHook({});
        return maximum;
    }

    // The notice, the file, and the list in rows of four holding the file's lines: all of
    // the range after the completion notice, some of it after any other.
    void expectRun(const RunRow& row, qint64 maximum, const QString& notice) {
        EXPECT_EQ(maximum, row.total);
        EXPECT_EQ(messages(), notice.isEmpty() ? QStringList() : QStringList{notice});
        EXPECT_TRUE(notice.isEmpty() || platform::MessageBox::shown().first().icon ==
                                            platform::MessageIcon::Information);
        EXPECT_TRUE(idle());
        const RecordModel& list = window->records();
        const std::int64_t count = list.count();
        ASSERT_TRUE(notice == ModTransLate::Text().frmMain.CreateNoSuccessfully
                        ? count == row.total
                        : count > 0 && count < row.total)
            << count;
        const int lastRow = static_cast<int>((count - 1) / 4);
        const int lastColumn = static_cast<int>((count - 1) % 4);
        EXPECT_EQ(list.rowCount(), lastRow + 1);
        EXPECT_TRUE(list.hasCell(lastRow, lastColumn));
        EXPECT_FALSE(list.hasCell(lastRow, lastColumn + 1));
        EXPECT_FALSE(list.hasCell(lastRow + 1, 0));
        EXPECT_TRUE(lastRow == 0 || list.hasCell(lastRow - 1, 3));

        const QByteArray written = testsupport::readFile(output());
        EXPECT_TRUE(row.size < 0 || written.size() == row.size) << written.size();
        // The whole file computed from the row, not read back from the run: `count` lines of
        // numbers from From, each with the row's suffix or, from the line where the file's
        // suffix changes on, the one the box holds now.
        const QByteArray tails[] = {
            "@" + row.suffix.trimmed().toUtf8() + "\r\n",
            "@" + control<QComboBox>("cbSuffix")->currentText().trimmed().toUtf8() + "\r\n"};
        QByteArray expected;
        expected.reserve(written.size());
        for (std::int64_t i = 0, from = row.from.trimmed().toLongLong(), tail = 0; i < count; ++i) {
            expected += QByteArray::number(from + i);
            tail = tail || !QByteArrayView(written)
                                .sliced(std::min(expected.size(), written.size()))
                                .startsWith(tails[0]);
            expected += tails[tail];
        }
        EXPECT_TRUE(written == expected) << "the file differs from the computed addresses";
        EXPECT_TRUE(written.startsWith(row.start) && written.endsWith(row.end));
        // The cells' text (what assistive tools read) is the file's first and last line.
        ASSERT_TRUE(written.endsWith("\r\n"));
        EXPECT_EQ(written.first(written.indexOf('\n') + 1), list.cellText(0, 0).toUtf8() + "\r\n");
        EXPECT_EQ(written.sliced(written.lastIndexOf('\n', written.size() - 2) + 1),
                  list.cellText(lastRow, lastColumn).toUtf8() + "\r\n");
        if (row.listEqualsFile)
            testsupport::expectFileHoldsList(output(), list);
    }
};

TEST_F(MainWindowRunTest, RunsWriteTheRangeToFileListAndProgress) {
    // Longer than 32,767 UTF-16 units, ending in characters of two: taken whole.
    const QString longSuffix = QString(32766, u'a') + QStringLiteral("\U0001F600\U0001F600");
    // In this order, on one window: each run replaces the last one's list and file.
    const RunRow rows[] = {
        {"7", "9", "S", 3, "7@S\r\n8@S\r\n9@S\r\n"},
        {"5", "5", "a", 1, "5@a\r\n"},
        {"1", "9", "a", 9, "1@a\r\n", "\r\n8@a\r\n9@a\r\n"}, // rows of four, four and one
        {"007", " 8 ", "  mail.example  ", 2, "7@mail.example\r\n8@mail.example\r\n"}, // trimmed
        {"1", "1", "", 1, "1@\r\n"},
        {"-2", "-1.5", "@x", 1, "-2@@x\r\n"},
        {"3", "3", longSuffix, 1, "3@" + longSuffix.toUtf8() + "\r\n", {}, -1, false},
        // An existing file is replaced without asking.
        {"1", "2", "x", 2, "1@x\r\n2@x\r\n", {}, -1, true, QByteArray(100000, 'z')},
        {"2147483640", "2147483647", "top", 8, "2147483640@top\r\n",
         "2147483646@top\r\n2147483647@top\r\n"},
        // One more address than a single-precision counter can reach.
        {"0", "16777216", "f", 16777217, "0@f\r\n", "\n16777216@f\r\n", 190215494, false},
    };
    for (const RunRow& row : rows) {
        SCOPED_TRACE((row.from + "|" + row.to + "|" + row.suffix.left(20)).toStdString());
        expectRun(row, run(row), ModTransLate::Text().frmMain.CreateNoSuccessfully);
    }
}

// Something done at an event point of a run: a stop, a new suffix, the window closed.
TEST_F(MainWindowRunTest, RunsChangedAtAnEventPointKeepFileAndListEqual) {
    const auto& t = ModTransLate::Text().frmMain;
    const auto clickStop = [this] { QTest::mouseClick(control("btnCancel"), Qt::LeftButton); };
    const auto stopped = [this] { EXPECT_TRUE(window->stopRequested()); }; // until the next run
    const auto newSuffix = [this] {
        control<QComboBox>("cbSuffix")->setEditText(QStringLiteral(" later.example "));
    };
    const auto twoStretches = [this] { EXPECT_EQ(window->records().stretchCount(), 2u); };
    const auto stop = [this] { window->btnCancel_Click(); };
    const auto close = [this] { window->close(); };
    const auto closed = [this] {
        EXPECT_TRUE(testsupport::waitUntil([&] { return !window->isVisible(); }));
    };
    // A modal window holds the run until it is closed: nothing is written while it is open.
    std::int64_t countWhileOpen = -1, countAfterClose = -1;
    int helpWindowsShown = 0;
    const auto openHelp = [&] {
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
    };
    const auto heldWhileOpen = [&] {
        EXPECT_EQ(helpWindowsShown, 1);
        EXPECT_GT(countWhileOpen, 0);
        EXPECT_EQ(countAfterClose, countWhileOpen);
    };
    const struct {
        const char* name;
        int point;
        std::function<void()> act, after;
        QString notice, from, to, suffix;
        std::int64_t total;
        QByteArray start, end;
    } rows[] = {
        {"stopped by the button: exactly the listed addresses", 3, clickStop, stopped,
         t.CancelAndSave, "1", "50000000", "stop.example", 50000000, "1@stop.example\r\n", "\r\n"},
        {"the next run clears the stop", 0, nullptr, nullptr, t.CreateNoSuccessfully, "1", "2", "x",
         2, "1@x\r\n2@x\r\n", QByteArray()},
        {"a suffix changed during the run serves every later address", 2, newSuffix, twoStretches,
         t.CreateNoSuccessfully, "1", "3000000", "first.example", 3000000, "1@first.example\r\n",
         "\n3000000@later.example\r\n"},
        {"the whole range is one run with exact counts", 2, stop, nullptr, t.CancelAndSave,
         "-2147483648", "2147483647", "all", qint64{1} << 32,
         "-2147483648@all\r\n-2147483647@all\r\n", "\r\n"},
        {"a modal window opened during a run holds it until closed", 2, openHelp, heldWhileOpen,
         t.CreateNoSuccessfully, "1", "5000000", "x", 5000000, "1@x\r\n", "\n5000000@x\r\n"},
        // Last: the window is gone after it.
        {"closing the window ends the run quietly", 2, close, closed, QString(), "1", "50000000",
         "x", 50000000, "1@x\r\n", "\r\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const RunRow run{row.from, row.to, row.suffix, row.total, row.start, row.end};
        expectRun(run, this->run(run, row.point, row.act), row.notice);
        if (row.after)
            row.after();
    }
}

// The whole job with the keyboard alone: every key goes to the control that has the focus,
// which only Tab and Shift+Tab move; the Save dialog is answered through the desktop's seam.
TEST_F(MainWindowRunTest, TheWholeJobByKeyboardAlone) {
    const auto focused = [] {
        QWidget* w = QApplication::focusWidget();
        // The combo box's line edit carries the focus for the box.
        while (w && w->objectName().isEmpty())
            w = w->parentWidget();
        return w ? w->objectName() : QStringLiteral("none");
    };
    const auto press = [](Qt::Key key, int times = 1, Qt::KeyboardModifiers mods = {}) {
        for (int i = 0; i < times; ++i)
            QTest::keyClick(QApplication::focusWidget(), key, mods);
    };
    const auto type = [](const QString& text) {
        QTest::keyClicks(QApplication::focusWidget(), text);
    };
    // Opens a secondary window with the focused button; in it, presses Tab `tabs` times
    // and Space, which must close it. Returns the window's kind as the names read.
    const auto openAndClose = [&](int tabs) {
        QString seen;
        bool closed = false;
        QTimer poll;
        poll.setInterval(10);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || !modal->isActiveWindow() || !QApplication::focusWidget())
                return;
            poll.stop();
            seen = modal->objectName();
            EXPECT_EQ(a11y::unnamedControls(*modal, {"pbUpdate"}), QStringList())
                << seen.toStdString();
            press(Qt::Key_Tab, tabs);
            seen += QLatin1Char(':') + a11y::name(QApplication::focusWidget());
            press(Qt::Key_Space);
            closed = !modal->isVisible();
        });
        poll.start();
        press(Qt::Key_Space); // returns when the window has closed
        EXPECT_TRUE(closed);
        // The window manager hands the activation back (About and Update have no owner).
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        return seen;
    };
    const auto& t = ModTransLate::Text();

    window->activateWindow();
    ASSERT_TRUE(testsupport::waitUntil([&] { return focused() == "tbFromNo"; }));
    type(QStringLiteral("7"));
    press(Qt::Key_Tab);
    type(QStringLiteral("30"));
    // A suffix typed and added.
    press(Qt::Key_Tab, 8);
    ASSERT_EQ(focused(), QStringLiteral("cbSuffix"));
    press(Qt::Key_A, 1, Qt::ControlModifier);
    type(QStringLiteral("keys.example"));
    press(Qt::Key_Tab, 2, Qt::ShiftModifier);
    ASSERT_EQ(focused(), QStringLiteral("btnAdd"));
    press(Qt::Key_Space);
    EXPECT_EQ(messages(), QStringList{t.frmMain.AddSuccessfully});
    auto* box = control<QComboBox>("cbSuffix");
    ASSERT_NE(box->findText(QStringLiteral("keys.example")), -1);
    // Chosen from the list with the arrow keys: up to the first entry, down to the new one.
    press(Qt::Key_Tab, 2);
    ASSERT_EQ(focused(), QStringLiteral("cbSuffix"));
    press(Qt::Key_Up, box->count());
    EXPECT_EQ(box->currentIndex(), 0);
    press(Qt::Key_Down, box->findText(QStringLiteral("keys.example")));
    EXPECT_EQ(box->currentText(), QStringLiteral("keys.example"));

    // Start: the Save dialog is answered, the run writes the range.
    press(Qt::Key_Tab, 5);
    ASSERT_EQ(focused(), QStringLiteral("btnBuild"));
    platform::MessageBox::clearShown();
    platform::FileDialog::setNextFileName(output());
    press(Qt::Key_Space);
    EXPECT_EQ(platform::FileDialog::requests().size(), 1);
    EXPECT_EQ(messages(), QStringList{t.frmMain.CreateNoSuccessfully});
    QByteArray expected;
    for (int n = 7; n <= 30; ++n)
        expected += QByteArray::number(n) + "@keys.example\r\n";
    EXPECT_EQ(testsupport::readFile(output()), expected);
    ASSERT_EQ(window->records().count(), 24);
    EXPECT_EQ(window->records().cellText(0, 0), QStringLiteral("7@keys.example"));
    EXPECT_EQ(window->records().cellText(5, 3), QStringLiteral("30@keys.example"));

    // Stop: while a run lasts Start is disabled and the focus it had moves on to Stop.
    press(Qt::Key_Tab, 2, Qt::ShiftModifier);
    ASSERT_EQ(focused(), QStringLiteral("tbToNo"));
    press(Qt::Key_A, 1, Qt::ControlModifier);
    type(QStringLiteral("50000000"));
    press(Qt::Key_Tab);
    platform::MessageBox::clearShown();
    platform::FileDialog::setNextFileName(output());
    QString focusDuringRun;
    int points = 0;
    platform::Events::setHook([&] {
        if (++points != 2)
            return;
        focusDuringRun = focused();
        press(Qt::Key_Space);
    });
    press(Qt::Key_Space);
    platform::Events::setHook({});
    EXPECT_EQ(focusDuringRun, QStringLiteral("btnCancel"));
    EXPECT_EQ(messages(), QStringList{t.frmMain.CancelAndSave});
    EXPECT_GT(window->records().count(), 0);
    EXPECT_LT(window->records().count(), 50000000);
    EXPECT_TRUE(testsupport::readFile(output()).startsWith("7@keys.example\r\n"));

    // Delete the new suffix again.
    press(Qt::Key_Tab, 6);
    ASSERT_EQ(focused(), QStringLiteral("cbSuffix"));
    ASSERT_EQ(box->currentText(), QStringLiteral("keys.example"));
    press(Qt::Key_Tab, 1, Qt::ShiftModifier);
    ASSERT_EQ(focused(), QStringLiteral("btnDel"));
    platform::MessageBox::clearShown();
    press(Qt::Key_Space);
    EXPECT_EQ(messages(), QStringList{t.frmMain.DelSuccessfully});
    EXPECT_EQ(box->findText(QStringLiteral("keys.example")), -1);

    // Contact, Help and Update open, are read and close by keys.
    press(Qt::Key_Tab, 2, Qt::ShiftModifier);
    ASSERT_EQ(focused(), QStringLiteral("btnContact"));
    EXPECT_EQ(openAndClose(0), QStringLiteral("frmAbout:") + t.frmAbout.Ok);
    press(Qt::Key_Tab, 4);
    ASSERT_EQ(focused(), QStringLiteral("btnHelp"));
    EXPECT_EQ(openAndClose(0), QStringLiteral("frmHelp:") + t.frmAbout.Ok);
    press(Qt::Key_Tab);
    ASSERT_EQ(focused(), QStringLiteral("btnUpdate"));
    EXPECT_EQ(openAndClose(1), QStringLiteral("frmUpdate:") + t.frmMain.Exit);

    // Exit.
    press(Qt::Key_Tab, 5);
    ASSERT_EQ(focused(), QStringLiteral("btnExit"));
    press(Qt::Key_Space);
    EXPECT_FALSE(window->isVisible());
}

// Input the run refuses, a cancelled dialog, a refused file or a number out of range: the
// previous run's list and file stay as they were.
TEST_F(MainWindowRunTest, RefusedInputOrACancelledDialogChangesNothing) {
    run(QStringLiteral("1"), QStringLiteral("6"), QStringLiteral("x"));
    const QByteArray before = testsupport::readFile(output());
    const auto& t = ModTransLate::Text().frmMain;
    struct Case {
        const char *from, *to, *suffix;
        QString warning;   // empty: none
        const char* focus; // after the warning; nullptr: not checked
        QString path = {}; // given to the Save dialog; null: the output file
        int dialogs = 0;   // Save dialogs shown
        const char* focusBefore = "btnCancel";
    } cases[] = {
        {"", "5", "new", t.PlsFillNo, "tbFromNo"},
        {"5", " ", "new", t.PlsFillNo, "tbToNo"},
        {"", "", "new", t.PlsFillNo, "tbFromNo"},
        {"5x", "6", "new", t.WrongNoFormat, "tbFromNo"},
        {"5", "1e3", "new", t.WrongNoFormat, "tbToNo"},
        {"x", "y", "new", t.WrongNoFormat, "tbFromNo"},
        {"9", "8", "new", t.StartLargerEnd, "btnBuild", {}, 0, "tbToNo"}, // where the click put it
        {"1", "3", "y", {}, nullptr, QStringLiteral(""), 1}, // the Save dialog cancelled
        // One of the program's own files (which: GenerationRun_test.cpp): refused, and the
        // dialog shown again is cancelled.
        {"1", "3", "y", t.ProgramFileRefused, nullptr, folder->file(QStringLiteral("Korvani.ini")),
         2},
        {"99999999999", "3", "y", {}, nullptr},
        {"1", "2147483648", "y", {}, nullptr}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.from) + "|" + c.to);
        platform::MessageBox::clearShown();
        platform::FileDialog::clearRequests();
        control(c.focusBefore)->setFocus();
        run(QString::fromUtf8(c.from), QString::fromUtf8(c.to), QString::fromUtf8(c.suffix),
            c.path);
        EXPECT_EQ(messages(), c.warning.isEmpty() ? QStringList() : QStringList{c.warning});
        EXPECT_TRUE(c.warning.isEmpty() || platform::MessageBox::shown().first().icon ==
                                               platform::MessageIcon::Exclamation);
        EXPECT_TRUE(!c.focus || control(c.focus)->hasFocus());
        EXPECT_EQ(platform::FileDialog::requests().size(), c.dialogs);
        EXPECT_EQ(window->records().count(), 6);
        EXPECT_EQ(testsupport::readFile(output()), before);
        EXPECT_TRUE(idle());
    }
}

// A folder as the output: refused with the warning of a file that could not be written.
TEST_F(MainWindowRunTest, AFolderAsOutputPathIsRefusedAndNothingIsDeleted) {
    const QString sub = folder->file(QStringLiteral("folder"));
    ASSERT_TRUE(QDir().mkdir(sub));
    testsupport::writeFile(sub + QStringLiteral("/keep.txt"), "keep");
    run(QStringLiteral("1"), QStringLiteral("5"), QStringLiteral("x"), sub);
    EXPECT_EQ(window->lastOutcome()->file.failure, platform::FileFailure::NotAFile);
    EXPECT_EQ(testsupport::readFile(sub + QStringLiteral("/keep.txt")), QByteArray("keep"));
    const auto& t = ModTransLate::Text().frmMain;
    EXPECT_EQ(messages(), QStringList{t.RunFileIncomplete.arg("0", t.RunFileNotWritten)});
    EXPECT_EQ(window->records().count(), 0);
    EXPECT_TRUE(idle());
}

// A run that ends because its file failed warns (exclamation, the application title, OK
// only) that the file is incomplete, how many addresses it holds and why in the user's
// words; the file holds exactly the list.
TEST_F(MainWindowRunTest, AFailedFileIsToldWithTheListsCountAndWhy) {
    const auto& t = ModTransLate::Text().frmMain;
    const QString gone = folder->file(QStringLiteral("gone/out.txt"));
    const QString moved = folder->file(QStringLiteral("moved.txt"));
    const QByteArray old = "old@x\r\n";
    const struct Row {
        const char* name;
        QString path;              // the name the Save dialog answers
        QByteArray existing;       // a write-protected file there before the run; null: none
        std::int64_t limit;        // the file-size limit; -1: none
        std::function<void()> act; // at the second event point
        QString reason;
        QString holder; // the file that holds the list afterwards
    } rows[] = {
        {"cannot open: its folder is gone", gone, {}, -1, nullptr, t.RunFileNotWritten, gone},
        {"cannot replace the write-protected file at its name", output(), old, -1, nullptr,
         t.RunFileNoPermission, output()},
#ifndef _WIN32 // a file-size limit (RLIMIT_FSIZE)
        {"the file-size limit reached",
         output(),
         {},
         1000003,
         nullptr,
         t.RunFileTooLarge,
         output()},
#endif
        // Then stopped: the run notices the change at its end, or at Stop.
        {"changed from outside: moved away during the run",
         output(),
         {},
         -1,
         [&] {
             ASSERT_TRUE(QFile::rename(output(), moved));
             window->btnCancel_Click();
         },
         t.RunFileChanged,
         moved},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (const QString& name : {output(), moved})
            QFile::remove(name);
        if (!row.existing.isNull()) {
            testsupport::writeFile(row.path, row.existing);
            testsupport::setMode(row.path, 0444);
        }
        platform::MessageBox::clearShown();
        int points = 0;
        platform::Events::setHook([&] {
            if (++points == 2 && row.act)
                row.act();
        });
        {
#ifndef _WIN32
            const testsupport::Undo limit = testsupport::limitFileSize(
                row.limit < 0 ? RLIM_INFINITY : static_cast<rlim_t>(row.limit));
#endif
            run(QStringLiteral("1"), QStringLiteral("20000000"), QStringLiteral("x"), row.path);
        }
        platform::Events::setHook({});
        const std::int64_t count = window->records().count();
        ASSERT_EQ(messages(),
                  QStringList{t.RunFileIncomplete.arg(QString::number(count), row.reason)});
        const platform::ShownMessage& shown = platform::MessageBox::shown().first();
        EXPECT_EQ(shown.icon, platform::MessageIcon::Exclamation);
        EXPECT_EQ(shown.title, platform::AppTitle::title());
        EXPECT_EQ(window->lastOutcome()->end, GenerationRun::End::FileFailed);
        EXPECT_TRUE(idle());
        EXPECT_LT(count, 20000000);
        if (!row.existing.isNull()) { // not replaced, and nothing listed
            EXPECT_EQ(count, 0);
            EXPECT_EQ(testsupport::readFile(row.path), row.existing);
            testsupport::setMode(row.path, 0644);
        } else if (row.path == gone) {
            EXPECT_EQ(count, 0);
            EXPECT_FALSE(QFileInfo::exists(gone));
        } else {
            EXPECT_GT(count, 0);
            testsupport::expectFileHoldsList(row.holder, window->records());
        }
    }
}

} // namespace
