// The TV/radio chooser: fading in and out, the choices, the list presence check after opening a
// player window, and the chooser loaded hidden by a player window.
#include "app/ChooserWindow.h"
#include "app/Program.h"
#include "catalogue/ChannelListBox.h"
#include "platform/ProfileStrings.h"
#include "support/FakePeers.h"
#include "windows/PlayerWindowWidgets.h"
#include "windows/RadioWindow.h"
#include "windows/TvWindow.h"

#include <QDateTime>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const char* const kMissingListPrompt = "La lista de canales no está actualizada o no existe\r\n"
                                       "¿Deseas descargar la lista de canales actualizada?";

class Chooser : public ::testing::Test {
protected:
    ProgramRig rig;
    ChooserWindow* chooser = nullptr;

    void SetUp() override { open(); }
    void open() {
        rig.forms->show("ChooserWindow");
        chooser = rig.forms->find<ChooserWindow>();
        ASSERT_NE(chooser, nullptr);
    }
    void fadeIn() { rig.clock.advance(18); }
    // A hidden window of no interest, so that the run goes on when a test unloads all others.
    void keepRunAlive() {
        rig.forms->registerForm("keeper", [](Forms& f) { return new Form(f, "keeper"); });
        rig.forms->form("keeper");
    }
    ScriptedDialogs& dialogs() { return dialogsOf(*rig.platform); }
    void writeLists() {
        rig.writeFile("vqrcv8xotv.exe", "Canal Uno||>asx\r\n");
        rig.writeFile("oftwy69jrad.exe", "Radio Uno||>asx\r\n");
    }
    bool shown(const char* name) const {
        const Form* f = rig.forms->find(name);
        return f && f->isVisible();
    }
};

} // namespace

TEST_F(Chooser, FadesInIn17StepsWithoutTakingInput) {
    EXPECT_EQ(chooser->windowOpacity(), 0.0);
    QList<int> steps;
    for (int tick = 1; tick <= 17; ++tick) {
        rig.clock.advance(1);
        steps << chooser->opacityBar->value();
        EXPECT_FALSE(chooser->isEnabled()) << "tick " << tick;
    }
    EXPECT_EQ(steps.first(), 15);
    EXPECT_EQ(steps.last(), 255);
    EXPECT_EQ(steps.size(), 17);

    // No choice while fading: the window is disabled.
    chooser->tvButton->click();
    QTest::mouseClick(chooser->radioPicture, Qt::LeftButton);
    EXPECT_FALSE(chooser->tvFadeOutTimer->Enabled());
    EXPECT_FALSE(chooser->radioFadeOutTimer->Enabled());

    rig.clock.advance(1); // 270 is refused: the fade ends
    EXPECT_TRUE(chooser->isEnabled());
    EXPECT_FALSE(chooser->fadeInTimer->Enabled());
    EXPECT_EQ(chooser->opacityBar->value(), 255);
    EXPECT_EQ(chooser->windowOpacity(), 1.0);
    EXPECT_EQ(chooser->fade_level, 270);
}

TEST_F(Chooser, LoadsOnTopAsksForTheVersionAndWritesNoManifest) {
    EXPECT_TRUE(chooser->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    FakeBrowser* browser = fakeBrowser(chooser, "versionCheckPage");
    EXPECT_EQ(browser->navigations,
              QStringList{"http://servicio.test/windows/versiones/comprobar_ver_act.php?ver=245"});
    EXPECT_EQ(browser->silentOnNavigate, QList<bool>{true});
    EXPECT_FALSE(QDir::current().exists("sintonex.exe.Manifest"));
    EXPECT_FALSE(QDir(rig.folder()).exists("sintonex.exe.Manifest"));
    EXPECT_TRUE(chooser->backgroundPicture->pixmap().isNull()) << "no background setting";
}

TEST_F(Chooser, ShowsTheBackgroundFromTheSettingsOnlyWhenItIsAPicture) {
    const QString picture = QDir(rig.folder()).filePath("fondo.png");
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    ASSERT_TRUE(image.save(picture));
    rig.writeFile("no-es-imagen.png", "texto");
    keepRunAlive();

    for (auto [fondo, expectPicture] : {std::pair{picture, true},
                                        {QDir(rig.folder()).filePath("no-es-imagen.png"), false},
                                        {QDir(rig.folder()).filePath("falta.png"), false}}) {
        rig.forms->unload("ChooserWindow");
        rig.setting("fondo", fondo);
        open();
        EXPECT_EQ(!chooser->backgroundPicture->pixmap().isNull(), expectPicture) << fondo.toStdString();
    }
}

TEST_F(Chooser, TelevisionOpensOnTheNineteenthFadeOutTick) {
    writeLists();
    fadeIn();
    chooser->tvButton->click();
    QList<int> steps;
    for (int tick = 1; tick <= 18; ++tick) {
        rig.clock.advance(1);
        steps << chooser->opacityBar->value();
        EXPECT_FALSE(chooser->isEnabled());
    }
    EXPECT_EQ(steps.first(), 255);
    EXPECT_EQ(steps.last(), 0);
    EXPECT_FALSE(rig.forms->isLoaded("TvWindow"));
    EXPECT_TRUE(rig.forms->isLoaded("ChooserWindow"));

    rig.clock.advance(1);
    EXPECT_TRUE(shown("TvWindow"));
    EXPECT_FALSE(rig.forms->isLoaded("ChooserWindow"));
    EXPECT_FALSE(rig.forms->isLoaded("RadioWindow"));
    EXPECT_TRUE(dialogs().shown.isEmpty()) << "the list file exists";
}

TEST_F(Chooser, TheImageButtonsChooseLikeTheButtons) {
    writeLists();
    keepRunAlive();
    fadeIn();
    QTest::mouseClick(chooser->radioPicture, Qt::LeftButton);
    EXPECT_TRUE(chooser->radioFadeOutTimer->Enabled());
    rig.clock.advance(19);
    EXPECT_TRUE(shown("RadioWindow"));
    EXPECT_FALSE(rig.forms->isLoaded("TvWindow"));

    rig.forms->unload("RadioWindow");
    open();
    fadeIn();
    QTest::mouseClick(chooser->tvPicture, Qt::LeftButton);
    rig.clock.advance(19);
    EXPECT_TRUE(shown("TvWindow"));
}

TEST_F(Chooser, ClosingFadesOutAndEndsTheRun) {
    fadeIn();
    QTest::mouseClick(chooser->closePicture, Qt::LeftButton);
    rig.clock.advance(18);
    EXPECT_TRUE(rig.forms->isLoaded("ChooserWindow"));
    rig.clock.advance(1);
    EXPECT_FALSE(rig.forms->isLoaded("ChooserWindow"));
    EXPECT_TRUE(rig.forms->ended());
}

TEST_F(Chooser, AMissingTelevisionListIsOfferedAndYesOpensTheUpdate) {
    fadeIn();
    chooser->tvButton->click();
    rig.clock.advance(19);
    ASSERT_EQ(dialogs().shown.size(), 1);
    EXPECT_EQ(dialogs().shown[0].prompt, QString::fromUtf8(kMissingListPrompt));
    EXPECT_EQ(dialogs().shown[0].title, "Lista de canales");
    EXPECT_EQ(dialogs().shown[0].style, 36);
    EXPECT_TRUE(shown("ListUpdateWindow"));
    EXPECT_FALSE(rig.forms->isLoaded("TvWindow"));
    EXPECT_FALSE(rig.forms->isLoaded("ChooserWindow"));
    EXPECT_FALSE(rig.forms->ended());
}

TEST_F(Chooser, ARadioListThatIsAFolderDeclinedLeavesTheRadioWindowEmpty) {
    ASSERT_TRUE(QDir(rig.folder()).mkdir("oftwy69jrad.exe"));
    dialogs().answers = {kAnswerNo};
    fadeIn();
    chooser->radioButton->click();
    rig.clock.advance(19);
    ASSERT_EQ(dialogs().shown.size(), 1);
    EXPECT_EQ(dialogs().shown[0].title, "Lista de canales");
    EXPECT_TRUE(shown("RadioWindow"));
    EXPECT_EQ(rig.forms->find<RadioWindow>()->canales->count(), 0);
    EXPECT_FALSE(rig.forms->isLoaded("ListUpdateWindow"));
}

TEST_F(Chooser, AMissingRadioListAcceptedReplacesTheRadioWindowByTheUpdate) {
    fadeIn();
    chooser->radioButton->click();
    rig.clock.advance(19);
    EXPECT_TRUE(shown("ListUpdateWindow"));
    EXPECT_FALSE(rig.forms->isLoaded("RadioWindow"));
}

TEST_F(Chooser, AFailingUpdateWindowIsReportedUnderEachListsTitle) {
    // An update window that cannot be opened: it goes again while loading.
    rig.forms->registerForm("ListUpdateWindow", [](Forms& f) {
        struct Broken : Form {
            explicit Broken(Forms& f) : Form(f, "ListUpdateWindow") {}
            void Form_Load() override { forms().unload(this); }
        };
        return new Broken(f);
    });
    keepRunAlive();
    for (auto [button, title] : {std::pair{&ChooserWindow::tvButton, "Error 8088"},
                                 {&ChooserWindow::radioButton, "Error intentando cargar los canales."}}) {
        dialogs().shown.clear();
        open();
        fadeIn();
        (chooser->*button)->click();
        rig.clock.advance(19);
        ASSERT_EQ(dialogs().shown.size(), 2);
        EXPECT_EQ(dialogs().shown[1].style, 16);
        EXPECT_EQ(dialogs().shown[1].title, title);
        EXPECT_FALSE(dialogs().shown[1].prompt.isEmpty());
    }
}

TEST_F(Chooser, SwitchingBetweenThePlayerWindowsKeepsTheBackgroundAndEndsWithTheLastWindow) {
    const QString picture = QDir(rig.folder()).filePath("fondo.png");
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::darkBlue);
    ASSERT_TRUE(image.save(picture));
    rig.setting("fondo", picture);
    writeLists();
    keepRunAlive();
    rig.forms->unload("ChooserWindow"); // a chooser that has read the picture
    open();
    rig.forms->unload("keeper");
    fadeIn();
    chooser->tvButton->click();
    rig.clock.advance(19);
    ASSERT_TRUE(shown("TvWindow"));
    ASSERT_FALSE(rig.forms->isLoaded("ChooserWindow"));

    for (const char* next : {"RadioWindow", "TvWindow", "RadioWindow"}) {
        SCOPED_TRACE(next);
        auto* from = static_cast<PlayerWindow*>(
            rig.forms->find(QString(next) == "RadioWindow" ? "TvWindow" : "RadioWindow"));
        ASSERT_NE(from, nullptr);
        from->button(design::Ctl::Switch)->click();
        ASSERT_TRUE(shown(next));
        EXPECT_FALSE(rig.forms->isLoaded("ChooserWindow")) << "no chooser loaded unseen";
        EXPECT_EQ(static_cast<PlayerWindow*>(rig.forms->find(next))
                      ->backgroundPicture->pixmap()
                      .toImage()
                      .pixelColor(5, 5),
                  QColor(Qt::darkBlue));
    }
    rig.forms->find("RadioWindow")->close();
    EXPECT_TRUE(rig.forms->ended()) << "nothing hidden keeps the run going";
}

TEST_F(Chooser, RecordingsMissedWhileTheProgramWasClosedAreToldOnceTheFirstPlayerWindowIsUp) {
    const auto iso = [this](qint64 minutesAgo) {
        return QDateTime::fromMSecsSinceEpoch(rig.clock.utcMs() - minutesAgo * 60000, Qt::UTC)
            .toString(Qt::ISODate);
    };
    ASSERT_TRUE(profile::writeSection(rig.folder() + "/programadas.ini", "grabacion 1",
                                      {{"canal", "Canal Uno"},
                                       {"programa", "Telediario"},
                                       {"inicio", iso(60)},
                                       {"fin", iso(30)},
                                       {"desde", iso(62)},
                                       {"hasta", iso(25)},
                                       {"estado", "programada"}}));
    attachSharedParts(*rig.forms);
    writeLists();
    fadeIn();
    EXPECT_TRUE(dialogs().shown.isEmpty()) << "not over the chooser";
    chooser->tvButton->click();
    rig.clock.advance(19);
    ASSERT_TRUE(shown("TvWindow"));
    QCoreApplication::processEvents();
    ASSERT_EQ(dialogs().shown.size(), 1);
    EXPECT_EQ(dialogs().shown[0].title, "Grabaciones programadas");
    EXPECT_EQ(
        dialogs().shown[0].prompt,
        "Estas grabaciones no se hicieron porque Sintonex no estaba abierto:\n\nCanal Uno - Telediario - " +
            QDateTime::fromMSecsSinceEpoch(rig.clock.utcMs() - 3600000)
                .toLocalTime()
                .toString("dd/MM/yyyy HH:mm"));
    rig.forms->show("RadioWindow");
    QCoreApplication::processEvents();
    EXPECT_EQ(dialogs().shown.size(), 1);
    EXPECT_EQ(profile::read(rig.folder() + "/programadas.ini", "grabacion 1", "estado"), "perdida");
}
