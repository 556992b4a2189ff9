#include "ui/Skin.h"
#include "ui/SkinLabel.h"

#include <QComboBox>
#include <QCursor>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

QImage grabImage(QWidget& widget) {
    return widget.grab().toImage();
}

TEST(Skin, StyleSheetNamesOnlyImagesThatExist) {
    const QString sheet = Skin::styleSheet();
    ASSERT_FALSE(sheet.isEmpty());
    const QRegularExpression urlPattern(QStringLiteral(R"(url\((:[^)]+)\))"));
    int images = 0;
    for (auto it = urlPattern.globalMatch(sheet); it.hasNext(); ++images) {
        const QString path = it.next().captured(1);
        const QImage image(path);
        EXPECT_FALSE(image.isNull()) << path.toStdString();
    }
    EXPECT_GE(images, 10); // buttons, fields, scroll bars, progress, arrows
}

TEST(Skin, StyleSheetLeavesLabelFontsAlone) {
    // Labels keep their window's font: no rule for labels may set one.
    const QString sheet = Skin::styleSheet();
    const QRegularExpression labelRule(QStringLiteral(R"(QLabel[^{]*\{([^}]*)\})"));
    int rules = 0;
    for (auto it = labelRule.globalMatch(sheet); it.hasNext(); ++rules)
        EXPECT_FALSE(it.next().captured(1).contains(QStringLiteral("font"))) << "QLabel rule";
    EXPECT_GE(rules, 1);
}

TEST(Skin, OneInstanceIsReachedWhileItLives) {
    EXPECT_EQ(Skin::instance(), nullptr);
    {
        QWidget main;
        auto* skin = new Skin(&main);
        EXPECT_EQ(Skin::instance(), skin);
        EXPECT_EQ(skin->objectName(), QStringLiteral("Skin"));
    }
    EXPECT_EQ(Skin::instance(), nullptr);
}

TEST(Skin, SkinsTheWindowAndItsClientArea) {
    Skin skin(nullptr);
    QWidget window;
    window.resize(120, 60);
    auto* button = new QPushButton(QStringLiteral("OK"), &window);
    button->setGeometry(10, 10, 75, 25);
    auto* disabled = new QPushButton(QStringLiteral("Off"), &window);
    disabled->setGeometry(10, 35, 75, 25);
    disabled->setEnabled(false);

    skin.skinWindow(&window);
    EXPECT_EQ(window.styleSheet(), Skin::styleSheet());
    EXPECT_TRUE(window.property("skinned").toBool());
    EXPECT_EQ(window.palette().color(QPalette::Window), QColor(255, 255, 255));
    EXPECT_EQ(window.palette().color(QPalette::WindowText), QColor(0, 0, 0));

    const QImage image = grabImage(window);
    EXPECT_EQ(image.pixelColor(110, 5), QColor(255, 255, 255)); // client area
    // Buttons are framed by the skin's images: grey edge normal (4.5:1 on white), lighter
    // disabled.
    EXPECT_EQ(grabImage(*button).pixelColor(0, 12), QColor(118, 118, 118));
    EXPECT_EQ(grabImage(*disabled).pixelColor(0, 12), QColor(190, 190, 190));

    skin.skinWindow(nullptr); // nothing to skin, nothing happens
}

TEST(Skin, PanelsAreLightGrey) {
    Skin skin(nullptr);
    QWidget window;
    auto* bar = new QProgressBar(&window);
    bar->setGeometry(0, 0, 200, 20);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    skin.skinWindow(&window);
    EXPECT_EQ(grabImage(*bar).pixelColor(100, 10), QColor(235, 235, 235));
    bar->setValue(100);
    EXPECT_NE(grabImage(*bar).pixelColor(100, 10), QColor(235, 235, 235)); // filled chunk
}

TEST(Skin, LabelsKeepCaptionFontAndAlignment) {
    Skin skin(nullptr);
    QWidget window;
    auto* plain = new SkinLabel(&window);
    plain->setText(QStringLiteral("Plain <b>text</b>"));
    auto* big = new SkinLabel(&window);
    QFont bigFont = big->font();
    bigFont.setPointSizeF(13.5);
    big->setFont(bigFont);
    big->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    big->setText(QStringLiteral("Korvani"));

    EXPECT_EQ(plain->font().family(), QStringLiteral("MS Sans Serif"));
    EXPECT_DOUBLE_EQ(plain->font().pointSizeF(), 8.25);
    EXPECT_EQ(plain->font().weight(), QFont::Normal);
    EXPECT_EQ(plain->alignment(), Qt::AlignLeft | Qt::AlignVCenter);
    EXPECT_EQ(plain->textFormat(), Qt::PlainText); // captions are never markup

    skin.skinWindow(&window);
    window.show(); // polishing happens on show
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    EXPECT_EQ(plain->text(), QStringLiteral("Plain <b>text</b>"));
    EXPECT_EQ(plain->font().family(), QStringLiteral("MS Sans Serif"));
    EXPECT_DOUBLE_EQ(plain->font().pointSizeF(), 8.25);
    EXPECT_EQ(plain->alignment(), Qt::AlignLeft | Qt::AlignVCenter);
    EXPECT_EQ(big->text(), QStringLiteral("Korvani"));
    EXPECT_EQ(big->font().family(), QStringLiteral("MS Sans Serif"));
    EXPECT_DOUBLE_EQ(big->font().pointSizeF(), 13.5);
    EXPECT_EQ(big->alignment(), Qt::AlignRight | Qt::AlignVCenter);
}

TEST(Skin, ProgramIconIsOurPicture) {
    const QPixmap picture = Skin::programPicture();
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.size(), QSize(80, 62));
    const QIcon icon = Skin::programIcon();
    EXPECT_FALSE(icon.isNull());
    EXPECT_EQ(icon.availableSizes(), QList<QSize>{QSize(80, 62)});
}

TEST(Skin, LinkCursorIsAHandWithItsHotSpotAtTheFingertip) {
    const QCursor cursor = Skin::linkCursor();
    EXPECT_EQ(cursor.shape(), Qt::BitmapCursor);
    EXPECT_EQ(cursor.hotSpot(), QPoint(6, 0));
    const QImage image = cursor.pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(image.size(), QSize(32, 32));
    EXPECT_EQ(image.pixelColor(6, 0), QColor(0, 0, 0));       // the fingertip's outline
    EXPECT_EQ(image.pixelColor(6, 3), QColor(255, 255, 255)); // inside the finger
    EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0);             // around the hand
    EXPECT_EQ(image.pixelColor(31, 31).alpha(), 0);
    int outline = 0, fill = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() == 0)
                continue;
            EXPECT_TRUE(c == QColor(0, 0, 0) || c == QColor(255, 255, 255)) << x << "," << y;
            (c == QColor(0, 0, 0) ? outline : fill)++;
        }
    EXPECT_GT(fill, outline / 2); // filled white, not just a black shape
}

} // namespace
