#include "CommunityFixture.h"

#include "community/BackgroundChooser.h"
#include "community/Fade.h"

#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QScrollBar>

namespace {

QList<int> steps(int from, int to, int by) {
    QList<int> out;
    for (int v = from; by > 0 ? v <= to : v >= to; v += by)
        out.append(v);
    return out;
}

class SkinTest : public CommunityTest {
protected:
    // A picture file in the test folder.
    QString picture(const char* name, QColor colour) {
        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(colour);
        const QString path = dir.filePath(name);
        EXPECT_TRUE(image.save(path, "BMP"));
        return path;
    }
    QString textFile(const char* name) {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("esto no es una imagen\n");
        return path;
    }
    BackgroundChooser& fadedIn() {
        BackgroundChooser& w = open<BackgroundChooser>();
        clock.advance(18);
        return w;
    }
    bool hasPicture(const QLabel* l) const { return !l->pixmap().isNull(); }
};

TEST_F(SkinTest, FadesInLockedThenOutAndCloses) {
    BackgroundChooser& w = open<BackgroundChooser>();
    EXPECT_EQ(w.Caption(), "Cambiar fondo a Sintonex");
    EXPECT_EQ(windows->levels(&w), QList<int>{0}) << "starts fully transparent";
    clock.advance(1);
    EXPECT_FALSE(w.isEnabled());
    clock.advance(16);
    EXPECT_FALSE(w.isEnabled());
    EXPECT_EQ(windows->levels(&w), QList<int>{0} + steps(15, 255, 15));
    clock.advance(1); // 270 is refused
    EXPECT_TRUE(w.isEnabled());
    EXPECT_EQ(w.fader().fade_level(), 270);
    clock.advance(100);
    EXPECT_EQ(windows->levels(&w).size(), 18) << "17 steps after the initial 0";
    EXPECT_EQ(w.fader().opacityBar()->value(), 255);

    windows->opacity.clear();
    w.closeButton()->click();
    clock.advance(18);
    EXPECT_FALSE(w.isEnabled());
    EXPECT_EQ(windows->levels(&w), steps(255, 0, -15));
    EXPECT_TRUE(forms->isLoaded("BackgroundChooser"));
    clock.advance(1); // -15 is refused
    EXPECT_FALSE(forms->isLoaded("BackgroundChooser"));
    EXPECT_EQ(windows->opacity.size(), 18);
}

TEST_F(SkinTest, EliminarStoresTheFolderAndSaysWhenItTakesEffect) {
    writeSetting("fondo", picture("a.bmp", Qt::red));
    standIn("TvWindow"); // the window it was opened from keeps the run going
    BackgroundChooser& w = fadedIn();
    EXPECT_TRUE(hasPicture(w.previewPicture()));
    w.removeButton()->click();
    EXPECT_EQ(setting("fondo"), "C:\\");
    ASSERT_EQ(dialogs().shown.size(), 1);
    EXPECT_EQ(dialogs().shown[0].prompt,
              QStringLiteral("El fondo se reestablecerá cuando se reinicie el programa"));
    clock.advance(19);
    EXPECT_FALSE(forms->isLoaded("BackgroundChooser"));

    // The next time the stored folder shows as the path and gives no picture.
    BackgroundChooser& again = open<BackgroundChooser>();
    EXPECT_EQ(again.pathField()->text(), "C:\\");
    EXPECT_FALSE(hasPicture(again.previewPicture()));
}

TEST_F(SkinTest, BuscarOffersThreeKindsAndPreviewsOnlyPictures) {
    const QString red = picture("rojo.bmp", Qt::red);
    const QString notPicture = textFile("nota.jpg");
    BackgroundChooser& w = fadedIn();
    EXPECT_TRUE(w.pathField()->text().isEmpty()) << "no setting shows no path";
    EXPECT_TRUE(w.pathField()->isReadOnly());

    dialogs().files = {red, notPicture, ""};
    w.browseButton()->click();
    ASSERT_EQ(dialogs().fileFilters.size(), 1);
    const QStringList kinds = dialogs().fileFilters[0].split(";;");
    EXPECT_EQ(kinds, (QStringList{"Imágenes JPG (*.jpg)", "Imágenes JPGE (*.jpge)", "Imágenes BMP (*.bmp)"}));
    EXPECT_EQ(w.pathField()->text(), red);
    EXPECT_EQ(w.previewPicture()->pixmap().toImage().pixelColor(0, 0), QColor(Qt::red));

    w.browseButton()->click();
    EXPECT_EQ(w.pathField()->text(), notPicture);
    EXPECT_FALSE(hasPicture(w.previewPicture()));

    w.browseButton()->click(); // cancelled
    EXPECT_EQ(w.pathField()->text(), notPicture);
    EXPECT_FALSE(hasPicture(w.previewPicture()));

    w.helpButton()->click();
    EXPECT_EQ(shellOf(*platform).opened, QStringList{"http://web.local:9002/sintonex/ayuda/fondos/"});
}

TEST_F(SkinTest, AplicarFondoReachesOnlyTheOpenWindows) {
    const QString blue = picture("azul.bmp", Qt::blue);
    StandIn& tv = standIn("TvWindow");
    StandIn& chooser = standIn("ChooserWindow");
    BackgroundChooser& w = fadedIn();
    dialogs().files = {blue};
    w.browseButton()->click();
    w.applyButton()->click();

    EXPECT_EQ(setting("fondo"), blue);
    for (StandIn* window : {&tv, &chooser}) {
        ASSERT_TRUE(hasPicture(window->image())) << window->formName().toStdString();
        EXPECT_EQ(window->image()->pixmap().toImage().pixelColor(0, 0), QColor(Qt::blue));
    }
    EXPECT_FALSE(forms->isLoaded("RadioWindow"))
        << "a closed player window is not opened behind the user's back";
    clock.advance(19);
    EXPECT_FALSE(forms->isLoaded("BackgroundChooser"));
    EXPECT_FALSE(forms->isLoaded("RadioWindow"));

    // A path that holds no picture leaves the backgrounds as they were.
    open<BackgroundChooser>();
    clock.advance(18);
    dialogs().files = {textFile("roto.bmp")};
    forms->get<BackgroundChooser>().browseButton()->click();
    forms->get<BackgroundChooser>().applyButton()->click();
    EXPECT_EQ(setting("fondo"), dir.filePath("roto.bmp"));
    EXPECT_EQ(tv.image()->pixmap().toImage().pixelColor(0, 0), QColor(Qt::blue));
}

TEST(Opacity, LevelsOutsideTheRangeChangeNothing) {
    QTemporaryDir dir;
    auto platform = makeTestPlatform(dir.path());
    auto ws = std::make_unique<RecordingWindowSystem>();
    RecordingWindowSystem& recorded = *ws;
    platform->windowSystem = std::move(ws);
    QWidget window;
    EXPECT_EQ(applyOpacity(*platform, &window, 255), opacity::kApplied);
    EXPECT_EQ(applyOpacity(*platform, &window, 0), opacity::kApplied);
    EXPECT_EQ(applyOpacity(*platform, &window, -1), opacity::kOutOfRange);
    EXPECT_EQ(applyOpacity(*platform, &window, 256), opacity::kOutOfRange);
    EXPECT_EQ(applyOpacity(*platform, nullptr, 10), opacity::kFailed);
    EXPECT_EQ(recorded.levels(&window), (QList<int>{255, 0}));
}

} // namespace
