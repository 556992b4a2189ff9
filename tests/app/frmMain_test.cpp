#include "app/MainWindowFixture.h"
#include "ui/AccessibilityChecks.h"
#include "ui/ProgressBar.h"
#include "ui/RecordView.h"
#include "ui/SkinLabel.h"
#include "ui_frmMain.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QMimeData>
#include <QScreen>
#include <QSignalSpy>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>

namespace {

struct Placement {
    const char* name;
    int left, top, width, height; // layout units (twips)
};
constexpr Placement Layout[] = {
    {"tbFromNo", 960, 120, 1665, 315},  {"tbToNo", 2880, 120, 1740, 315},
    {"btnBuild", 240, 3240, 855, 375},  {"btnCancel", 1200, 3240, 855, 375},
    {"pb", 105, 2880, 7815, 315},       {"btnExit", 6960, 3240, 975, 375},
    {"lvRecord", 75, 555, 7830, 2160},  {"btnContact", 2160, 3240, 855, 375},
    {"btnAdd", 6600, 120, 735, 255},    {"btnDel", 7320, 120, 735, 255},
    {"cbSuffix", 5280, 120, 1335, 300}, {"btnHelp", 5040, 3240, 855, 375},
    {"slNoFrom", 120, 120, 735, 255},   {"slTo", 2640, 120, 255, 255},
    {"slSuffix", 4680, 120, 495, 255},  {"btnUpdate", 6000, 3240, 855, 375},
};

TEST_F(MainWindowTest, LaysOutEveryControlAtItsPlaceOnAFixedWindow) {
    EXPECT_EQ(window->objectName(), QStringLiteral("frmMain"));
    EXPECT_EQ(window->size(), QSize(541, 247));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    for (const Placement& p : Layout) {
        QWidget* w = control(p.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->geometry(), QRect(p.left / 15, p.top / 15, p.width / 15, p.height / 15))
            << p.name;
        EXPECT_TRUE(w->isEnabled()) << p.name;
        EXPECT_TRUE(w->isVisible()) << p.name;
    }
    EXPECT_NE(control<ProgressBar>("pb"), nullptr);
    EXPECT_NE(control<RecordView>("lvRecord"), nullptr);
    EXPECT_TRUE(control<QComboBox>("cbSuffix")->isEditable());
    for (const char* label : {"slNoFrom", "slTo", "slSuffix"}) {
        auto* l = control<SkinLabel>(label);
        EXPECT_EQ(l->font().family(), QStringLiteral("MS Sans Serif"));
        EXPECT_DOUBLE_EQ(l->font().pointSizeF(), 8.25);
        EXPECT_TRUE(l->alignment() & Qt::AlignLeft);
    }
    for (QPushButton* b : window->findChildren<QPushButton*>()) {
        EXPECT_FALSE(b->isDefault()) << b->objectName().toStdString();
        EXPECT_FALSE(b->autoDefault()) << b->objectName().toStdString();
    }
    // Centred on the screen by its frame, not by its client area.
    ASSERT_NE(window->frameGeometry().size(), window->size());
    const QPoint offset =
        window->frameGeometry().center() - window->screen()->availableGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 1) << offset.x() << "," << offset.y();
}

TEST_F(MainWindowTest, TabWalksTheControlsInTheirOrderAndSkipsLabelsAndProgress) {
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    control("tbFromNo")->setFocus();
    ASSERT_TRUE(testsupport::waitUntil([&] { return control("tbFromNo")->hasFocus(); }));
    QStringList order;
    for (int i = 0; i < 12; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* focused = QApplication::focusWidget();
        // The combo box's line edit carries the focus for the box.
        while (focused && focused->objectName().isEmpty())
            focused = focused->parentWidget();
        order << (focused ? focused->objectName() : QStringLiteral("?"));
    }
    EXPECT_EQ(order,
              QStringList({"tbToNo", "btnBuild", "btnCancel", "btnExit", "lvRecord", "btnContact",
                           "btnAdd", "btnDel", "cbSuffix", "btnHelp", "btnUpdate", "tbFromNo"}));
}

// What a screen reader reads: every control that takes the focus, the list and the
// progress bar have a name; each label is tied to its field, which takes its caption.
struct LabelRow {
    const char* label;
    const char* field;
};
constexpr LabelRow Labels[] = {
    {"slNoFrom", "tbFromNo"}, {"slTo", "tbToNo"}, {"slSuffix", "cbSuffix"}};

TEST_F(MainWindowTest, EveryControlHasANameAndEachLabelNamesItsField) {
    EXPECT_EQ(a11y::unnamedControls(*window, {"lvRecord", "pb"}), QStringList());
    const ModTransLate::Catalogue& t = ModTransLate::Text();
    EXPECT_EQ(a11y::name(control("lvRecord")), t.frmMain.AddressList);
    EXPECT_EQ(a11y::name(control("pb")), t.frmMain.Progress);
    for (const LabelRow& row : Labels) {
        SCOPED_TRACE(row.label);
        auto* label = control<QLabel>(row.label);
        QWidget* field = control(row.field);
        EXPECT_EQ(label->buddy(), field);
        EXPECT_TRUE(a11y::related(label, QAccessible::Labelled, field)); // label-for
        EXPECT_TRUE(a11y::related(field, QAccessible::Label, label));    // labelled-by
        // The field that holds the focus reads the label's caption as its name.
        auto* box = qobject_cast<QComboBox*>(field);
        EXPECT_EQ(a11y::name(box ? box->lineEdit() : field), label->text());
        EXPECT_TRUE(!box || a11y::name(box->view()) == label->text());
        EXPECT_FALSE(label->text().isEmpty());
    }
    // The window reads as a window, by its title.
    ASSERT_NE(a11y::of(window.get()), nullptr);
    EXPECT_EQ(a11y::of(window.get())->role(), QAccessible::Window);
    EXPECT_EQ(a11y::name(window.get()), t.SysGlobal.ProductName);
}

// The suffix box is named after its label whatever it holds; its value is the text, typed
// or picked.
TEST_F(MainWindowTest, TheSuffixBoxIsNamedAfterItsLabelAndItsValueIsTheText) {
    auto* box = control<QComboBox>("cbSuffix");
    box->addItem(QStringLiteral("picked.example"));
    QAccessibleInterface* iface = a11y::of(box);
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->role(), QAccessible::ComboBox);
    const auto typeText = [&] {
        box->setFocus();
        box->lineEdit()->selectAll();
        QTest::keyClicks(box->lineEdit(), QStringLiteral("typed.example"));
    };
    const auto pick = [&] {
        box->setCurrentIndex(box->findText(QStringLiteral("picked.example")));
    };
    const struct {
        const char* name;
        std::function<void()> act;
        const char* value;
    } rows[] = {
        {"as loaded", [] {}, "example.com"},
        {"typed", typeText, "typed.example"},
        {"picked from the list", pick, "picked.example"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        row.act();
        EXPECT_EQ(iface->text(QAccessible::Name), ModTransLate::Text().frmMain.Suffix);
        EXPECT_EQ(iface->text(QAccessible::Value), QString::fromLatin1(row.value));
        // The line edit, which has the focus for the box, reads the same.
        EXPECT_EQ(iface->focusChild() ? iface->focusChild()->object() : nullptr, box->lineEdit());
        EXPECT_EQ(a11y::of(box->lineEdit())->text(QAccessible::Value),
                  QString::fromLatin1(row.value));
    }
    // Its children are Qt's: the drop-down list, then the line edit.
    ASSERT_EQ(iface->childCount(), 2);
    EXPECT_EQ(iface->child(0)->object(), box->view());
    EXPECT_EQ(iface->indexOfChild(a11y::of(box->lineEdit())), 1);
}

TEST_F(MainWindowTest, TheProgressBarReadsItsValueInPerCent) {
    auto* bar = control<ProgressBar>("pb");
    QAccessibleInterface* iface = a11y::of(bar);
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->role(), QAccessible::ProgressBar);
    const struct {
        qint64 maximum, position;
        const char* read;
    } rows[] = {{100, 0, "0%"}, {8, 3, "37%"}, {8, 8, "100%"}, {4294967296, 1073741824, "25%"}};
    for (const auto& row : rows) {
        bar->setMaximum64(row.maximum);
        bar->setPosition64(row.position);
        EXPECT_EQ(iface->text(QAccessible::Value), QString::fromLatin1(row.read)) << row.read;
        ASSERT_NE(iface->valueInterface(), nullptr);
        EXPECT_EQ(iface->valueInterface()->currentValue().toInt(), bar->value());
    }
}

// The focus shows on every control that takes it, in the skin.
TEST_F(MainWindowTest, TheFocusShowsOnEveryControlThatTakesIt) {
    ASSERT_TRUE(window->property("skinned").toBool());
    for (const char* name :
         {"tbFromNo", "tbToNo", "btnBuild", "btnCancel", "btnExit", "lvRecord", "btnContact",
          "btnAdd", "btnDel", "cbSuffix", "btnHelp", "btnUpdate"}) {
        QWidget* away = control(std::string_view(name) == "tbFromNo" ? "tbToNo" : "tbFromNo");
        EXPECT_TRUE(a11y::focusShows(control(name), away)) << name;
    }
}

// WCAG 2.2's contrast ratio of two colours, from their relative luminance.
double contrast(const QColor& a, const QColor& b) {
    const auto luminance = [](const QColor& c) {
        const auto linear = [](int channel) {
            const double v = channel / 255.0;
            return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(c.red()) + 0.7152 * linear(c.green()) + 0.0722 * linear(c.blue());
    };
    const double la = luminance(a), lb = luminance(b); // minmax keeps references
    const auto [low, high] = std::minmax(la, lb);
    return (high + 0.05) / (low + 0.05);
}

// The skin as it draws: the borders that identify a field, the suffix box, the list or a
// button stand out 3:1 from the window; the focus frame (two pixels wide) changes each of
// its pixels by 3:1 from the unfocused look and, on a button, from the hovered one.
TEST_F(MainWindowTest, TheSkinsBordersAndFocusContrastAtLeastThreeToOne) {
    ASSERT_TRUE(window->property("skinned").toBool());
    window->setAttribute(Qt::WA_KeyboardFocusChange);
    const QColor background = window->grab().toImage().pixelColor(1, 1);
    // A control's two outer pixels across the middle of its left edge.
    const auto edge = [](QWidget* w) {
        const QImage image = w->grab().toImage();
        return std::array<QColor, 2>{image.pixelColor(0, image.height() / 2),
                                     image.pixelColor(1, image.height() / 2)};
    };
    const struct {
        const char* control;
        bool focusFrame; // takes the skin's focus frame (the list shows a focus row instead)
        bool hovers;     // lights up under the mouse
    } rows[] = {{"tbFromNo", true, false},
                {"cbSuffix", true, false},
                {"lvRecord", false, false},
                {"btnAdd", true, true},
                {"btnBuild", true, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.control);
        QWidget* w = control(row.control);
        control("tbToNo")->setFocus();
        const auto plain = edge(w);
        EXPECT_GE(contrast(plain[0], background), 3.0) << plain[0].name().toStdString();
        if (!row.focusFrame)
            continue;
        w->setFocus();
        ASSERT_TRUE(w->hasFocus());
        const auto focused = edge(w);
        w->setAttribute(Qt::WA_UnderMouse, true);
        const auto focusedHovered = edge(w);
        control("tbToNo")->setFocus();
        const auto hovered = edge(w);
        w->setAttribute(Qt::WA_UnderMouse, false);
        for (std::size_t i = 0; i < focused.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_GE(contrast(focused[i], plain[i]), 3.0)
                << focused[i].name().toStdString() << " " << plain[i].name().toStdString();
            EXPECT_EQ(focusedHovered[i], focused[i]); // the focus shows under the mouse too
            EXPECT_TRUE(!row.hovers || contrast(focused[i], hovered[i]) >= 3.0)
                << focused[i].name().toStdString() << " " << hovered[i].name().toStdString();
        }
    }
}

TEST_F(MainWindowTest, LoadReplacesTheDesignCaptionsAndStartsEmpty) {
    QWidget bare;
    Ui::frmMain design;
    design.setupUi(&bare);
    EXPECT_EQ(bare.windowTitle(), QStringLiteral("  Korvani"));
    EXPECT_EQ(design.btnBuild->text(), QStringLiteral("开始"));
    EXPECT_EQ(design.slNoFrom->text(), QStringLiteral("号码从"));
    EXPECT_EQ(design.btnExit->text(), QStringLiteral("退出"));

    const ModTransLate::Catalogue& t = ModTransLate::Text();
    EXPECT_EQ(window->windowTitle(), t.SysGlobal.ProductName);
    EXPECT_EQ(control<QPushButton>("btnBuild")->text(), t.frmMain.Start);
    EXPECT_EQ(control<QPushButton>("btnHelp")->text(), t.frmHelp.Help);
    EXPECT_EQ(control<QLabel>("slNoFrom")->text(), t.frmMain.NoFrom);
    EXPECT_TRUE(control<QLineEdit>("tbFromNo")->text().isEmpty());
    EXPECT_TRUE(control<QLineEdit>("tbToNo")->text().isEmpty());
    EXPECT_EQ(window->records().rowCount(), 0);
    EXPECT_EQ(control<ProgressBar>("pb")->value(), 0);
    EXPECT_EQ(control<QComboBox>("cbSuffix")->currentText(), QStringLiteral("example.com"));
}

TEST_F(MainWindowTest, TheFourthColumnIsFortyUnitsNarrower) {
    auto* list = control<RecordView>("lvRecord");
    ASSERT_EQ(list->columnCount(), 4);
    EXPECT_FLOAT_EQ(list->widthUnits(), 7830.0f);
    for (int i = 0; i < 3; ++i) {
        EXPECT_FLOAT_EQ(list->columnWidthUnits(i), 7830.0f / 4.0f);
        EXPECT_TRUE(list->columnHeader(i).isEmpty());
        EXPECT_TRUE(list->columnKey(i).isEmpty());
    }
    EXPECT_FLOAT_EQ(list->columnWidthUnits(0) - list->columnWidthUnits(3), 40.0f);
    window->InitRecordColumns(); // again: the old columns are removed first
    EXPECT_EQ(list->columnCount(), 4);
}

// At the device pixel ratio the tests run at (1, and 2 as QT_SCALE_FACTOR=2 gives it, the
// test MainWindowAtDoubleScale): the suffix shows from its first letter, clear of the frame,
// focused or not, and the list's last header section reaches the list's right edge.
TEST_F(MainWindowTest, TheSuffixShowsWholeAtItsStartAndTheHeaderReachesTheEdge) {
    const bool doubled = qEnvironmentVariable("QT_SCALE_FACTOR") == QStringLiteral("2");
    EXPECT_EQ(window->devicePixelRatio(), doubled ? 2.0 : 1.0);
    auto* box = control<QComboBox>("cbSuffix");
    ASSERT_EQ(box->currentText(), QStringLiteral("example.com"));
    for (const bool focused : {false, true}) {
        SCOPED_TRACE(focused);
        control(focused ? "cbSuffix" : "tbToNo")->setFocus();
        const QImage image = box->grab().toImage();
        const double ratio = image.devicePixelRatio();
        // The first column, from the left, in which a text pixel (dark) lies between the
        // frame's rows; the frame itself is the first two pixels of the box.
        int first = -1;
        for (int x = static_cast<int>(2 * ratio); x < image.width() / 2 && first < 0; ++x) {
            for (int y = static_cast<int>(3 * ratio); y < image.height() - 3 * ratio; ++y) {
                if (qGray(image.pixel(x, y)) < 128)
                    first = x;
            }
        }
        // The "e" of "example.com" starts at least a pixel clear of the frame, and no more
        // than its padding and a letter's side bearing from it: not scrolled away.
        EXPECT_GE(first, static_cast<int>(3 * ratio)) << first;
        EXPECT_LE(first, static_cast<int>(8 * ratio)) << first;
    }
    auto* header = control<RecordView>("lvRecord")->findChild<QWidget*>(QStringLiteral("header"));
    ASSERT_NE(header, nullptr);
    const QImage strip = header->grab().toImage();
    const int y = strip.height() / 2;
    const QColor inside = strip.pixelColor(strip.width() * 7 / 8, y); // inside the last section
    EXPECT_EQ(strip.pixelColor(strip.width() - 1, y), inside);
}

TEST_F(MainWindowTest, NumberFieldsTakeOnlyTypedDigitsAndBackspace) {
    for (const char* name : {"tbFromNo", "tbToNo"}) {
        auto* field = control<QLineEdit>(name);
        field->setFocus();
        QTest::keyClicks(field, QStringLiteral("1a-2. 3+x,4"));
        EXPECT_EQ(field->text(), QStringLiteral("1234")) << name;
        QTest::keyClick(field, Qt::Key_Backspace);
        EXPECT_EQ(field->text(), QStringLiteral("123")) << name;
        field->insert(QStringLiteral("-5")); // pasted text is left to the input check
        EXPECT_EQ(field->text(), QStringLiteral("123-5")) << name;
        // Keys that type no character edit as usual; X11 sends Delete with 0x7F.
        QTest::keyClick(field, Qt::Key_Home);
        QTest::keyClick(field, Qt::Key_Right);
        QTest::sendKeyEvent(QTest::Click, field, Qt::Key_Delete, QString(QChar(0x7F)),
                            Qt::NoModifier);
        EXPECT_EQ(field->text(), QStringLiteral("13-5")) << name;
    }
}

TEST_F(MainWindowTest, TheSuffixBoxKeepsWhatIsTypedAndItsListChangesOnlyByTheButtons) {
    auto* box = control<QComboBox>("cbSuffix");
    const int listed = box->count();
    ASSERT_GT(listed, 0);
    box->setFocus();
    box->lineEdit()->selectAll();
    QTest::keyClicks(box->lineEdit(), QStringLiteral("EXAMPLE.co"));
    QTest::keyClick(box->lineEdit(), Qt::Key_Return);
    QTest::keyClick(box->lineEdit(), Qt::Key_Tab); // the focus leaves the box
    EXPECT_EQ(box->currentText(), QStringLiteral("EXAMPLE.co"));
    EXPECT_EQ(box->count(), listed);
    EXPECT_EQ(box->findText(QStringLiteral("EXAMPLE.co")), -1);
    box->setCurrentIndex(0); // picking an entry still sets the text
    EXPECT_EQ(box->currentText(), QStringLiteral("example.com"));
}

TEST_F(MainWindowTest, TextBoxesTakeTextInOnlyUpToItsFirstLineBreak) {
    // Every way text gets into a box: the keyboard's paste (Shift+Insert; Ctrl+V is a typed
    // character the number filter discards, as on Windows), the menu's, a drop.
    const std::function<void(QLineEdit*, const QString&)> ways[] = {
        [](QLineEdit* edit, const QString& text) {
            QGuiApplication::clipboard()->setText(text);
            QTest::keyClick(edit, Qt::Key_Insert, Qt::ShiftModifier);
        },
        [](QLineEdit* edit, const QString& text) {
            QGuiApplication::clipboard()->setText(text);
            edit->paste();
        },
        [](QLineEdit* edit, const QString& text) {
            QMimeData data;
            data.setText(text);
            const QPointF at(edit->inputMethodQuery(Qt::ImCursorRectangle).toRectF().center());
            QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(edit, &enter);
            QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(edit, &drop);
        },
    };
    QLineEdit* const edits[] = {control<QLineEdit>("tbFromNo"),
                                control<QComboBox>("cbSuffix")->lineEdit()};
    for (std::size_t way = 0; way < std::size(ways); ++way) {
        for (QLineEdit* edit : edits) {
            edit->setFocus();
            edit->setText(QStringLiteral("12"));
            edit->setCursorPosition(1);
            ways[way](edit, QStringLiteral("ex\nample.com"));
            EXPECT_EQ(edit->text(), QStringLiteral("1ex2")) << way;
            edit->setText(QStringLiteral("34"));
            edit->setCursorPosition(2);
            ways[way](edit, QStringLiteral("\r\nx"));
            EXPECT_EQ(edit->text(), QStringLiteral("34")) << way;
        }
    }
    // An input method's commit over a selection, which then selects the first character
    // of what it committed (the cursor before the break): the text before the break stays.
    for (QLineEdit* edit : edits) {
        edit->setText(QStringLiteral("56"));
        edit->setSelection(0, 1);
        QInputMethodEvent commit(QString(), {{QInputMethodEvent::Selection, 0, 1, {}}});
        commit.setCommitString(QStringLiteral("a\nb"));
        QApplication::sendEvent(edit, &commit);
        EXPECT_TRUE(edit->text().startsWith(u'a')) << edit->text().toStdString();
        EXPECT_FALSE(edit->text().contains(u'\n')) << edit->text().toStdString();
    }
    control<QLineEdit>("tbToNo")->setText(QStringLiteral("7\r8"));
    EXPECT_EQ(control<QLineEdit>("tbToNo")->text(), QStringLiteral("7"));
}

TEST_F(MainWindowTest, EnterAndSpacePressTheFocusedButton) {
    auto* stop = control<QPushButton>("btnCancel");
    QSignalSpy clicks(stop, &QPushButton::clicked);
    stop->setFocus();
    QTest::keyClick(stop, Qt::Key_Return);
    QTest::keyClick(stop, Qt::Key_Enter, Qt::KeypadModifier);
    QTest::keyClick(stop, Qt::Key_Space);
    EXPECT_EQ(clicks.count(), 3);
    EXPECT_TRUE(window->stopRequested());
}

TEST_F(MainWindowTest, EnterInANumberFieldPressesNoButton) {
    QList<QSignalSpy*> spies;
    for (QPushButton* b : window->findChildren<QPushButton*>())
        spies << new QSignalSpy(b, &QPushButton::clicked);
    auto* from = control<QLineEdit>("tbFromNo");
    from->setText(QStringLiteral("1"));
    control<QLineEdit>("tbToNo")->setText(QStringLiteral("2"));
    QTest::keyClick(from, Qt::Key_Return);
    QTest::keyClick(control("tbToNo"), Qt::Key_Enter);
    for (QSignalSpy* spy : spies) {
        EXPECT_EQ(spy->count(), 0);
        delete spy;
    }
    EXPECT_TRUE(platform::FileDialog::requests().isEmpty());
    EXPECT_TRUE(window->isVisible());
}

TEST_F(MainWindowTest, ExitClosesTheWindow) {
    QTest::mouseClick(control("btnExit"), Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
}

TEST(MainWindowStartup, AMissingLanguageFileStillOpensTheWindowWithEmptyCaptions) {
    testsupport::ProgramFolder folder;
    ASSERT_TRUE(QFile::remove(folder.languageFile()));
    ModTransLate::LoadLanguage();
    frmMain window;
    window.show();
    ASSERT_EQ(platform::MessageBox::shown().size(), 1);
    EXPECT_TRUE(window.windowTitle().isEmpty());
    for (QPushButton* b : window.findChildren<QPushButton*>())
        EXPECT_TRUE(b->text().isEmpty()) << b->objectName().toStdString();
    for (QLabel* l : window.findChildren<QLabel*>())
        EXPECT_TRUE(l->text().isEmpty()) << l->objectName().toStdString();
    EXPECT_TRUE(window.isVisible());
}

} // namespace
